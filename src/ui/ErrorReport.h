#pragma once
// The error report: the one box every user-facing procedure shows for an unexpected failure,
// and `Guarded`, the guard each such procedure runs its numbered statements under.
//
//   Guarded p{"in Nestwarden2021/08/31.Form1.PushButton2_Click "};
//   p.Line(100, [&] { text.clear(); });
//   if (p.Test(110, [&] { return caption != "Stop Blocking"; })) { ... }
//
// `Line` runs one statement; a failure in it (or in any helper it calls) is reported with the
// procedure's location and that line's number, and the procedure goes on with the next
// statement. `Test` does the same for a condition, and answers true after a failure, so the
// branch it guards runs. Loops over list entries are plain loops whose body statements are
// guarded; their heads cannot fail. A procedure reports each failure once and never passes one
// on to its caller.

#include <string>

// The address that ends every error report.
inline constexpr char kSupportEmailAddress[] = "support@kelmarin.com";
inline constexpr char kErrorReportTitle[] = "Application Error";
inline constexpr unsigned kErrorReportStyle = 48;  // OK button, exclamation icon

// The text of the box: description, CR LF, location, "at line N", CR, CR, the e-mail request.
std::string ErrorReportText(const std::string& location, const std::string& description, int line);

// Shows the box (through the prompts) and returns when the user closes it.
void ShowErrorReport(const std::string& location, const std::string& description, int line);

// The description of the exception being handled (call only inside a catch block).
std::string DescribeCurrentFailure();

class Guarded {
public:
    explicit Guarded(std::string location) : location_(std::move(location)) {}
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    template <class Statement>
    void Line(int number, Statement&& statement) {
        line_ = number;
        try {
            statement();
        } catch (...) {
            Report();
        }
    }

    template <class Condition>
    bool Test(int number, Condition&& condition) {
        line_ = number;
        try {
            return static_cast<bool>(condition());
        } catch (...) {
            Report();
            return true;
        }
    }

    int CurrentLine() const { return line_; }
    const std::string& Location() const { return location_; }

private:
    void Report();  // inside a catch block

    std::string location_;
    int line_ = 0;
};

#pragma once
// The numbered-step guard that every user-facing procedure runs its statements under, and the
// report it gives a failure to.
//
// How failures travel, one regime per layer:
// - core: a helper whose failure the design lets pass quietly answers bool (or "" where its
//   contract says so); a helper whose failure must reach a procedure's report throws Failure,
//   carrying the system's own description. The blocking operations run their steps under
//   Guarded, report through the FailureReport they are given and never throw.
// - ui: no exception leaves a window procedure (ForwardingWindowProc catches what is left); the
//   error report box is the FailureReport the windows hand on.
// - shell: the shell's answers are not relied on; nothing is thrown past the tray icon's
//   window procedures.
// - app: every user-facing procedure runs its numbered statements under Guarded and never passes
//   a failure on to its caller. A catch (...) that swallows a failure says why in one line.
//
//   Guarded p{reports, ReportLocation(kStartStopClickedProcedure)};
//   p.Line(100, [&] { text.clear(); });
//   if (p.Test(110, [&] { return !blocking; })) { ... }
//
// `Line` runs one statement; a failure in it (or in any helper it calls) is reported with the
// procedure's location and that line's number, and the procedure goes on with the next
// statement. `Test` does the same for a condition and answers true after a failure, so the
// branch it guards runs.

#include <string>
#include <string_view>

// Shows one failure of a numbered statement: the procedure's location, the system's description
// of what went wrong and the line's number. Returns when the user has seen it.
struct FailureReport {
    virtual void Show(const std::string& location, const std::string& description, int line) = 0;

  protected:
    ~FailureReport() = default;
};

// A report that shows nothing, for work whose outcome alone says what happened (the watch's
// put-back, the schedule's edges in the service).
struct SilentFailureReport final : FailureReport {
    void Show(const std::string&, const std::string&, int) override {}
};

// The procedures' names as the report's location shows them to the user.
inline constexpr char kMainWindowLoadProcedure[] = "Form1.Form_Load";
inline constexpr char kMainWindowCloseProcedure[] = "Form1.Form_QueryUnload";
inline constexpr char kStartBlockingProcedure[] = "Form1.StartBlocking";
inline constexpr char kStopBlockingProcedure[] = "Form1.StopBlocking";
inline constexpr char kHelpClickedProcedure[] = "Form1.PushButton1_Click";
inline constexpr char kStartStopClickedProcedure[] = "Form1.PushButton2_Click";
inline constexpr char kClearListClickedProcedure[] = "Form1.PushButton3_Click";
inline constexpr char kLoadFromFileClickedProcedure[] = "Form1.PushButton4_Click";
inline constexpr char kLoadSamplesClickedProcedure[] = "Form1.PushButton5_Click";
inline constexpr char kAddWebsiteClickedProcedure[] = "Form1.PushButton6_Click";
inline constexpr char kPasswordWindowLoadProcedure[] = "Form2.Form_Load";
inline constexpr char kPasswordOkClickedProcedure[] = "Form2.PushButton2_Click";
inline constexpr char kPasswordCancelClickedProcedure[] = "Form2.PushButton1_Click";

// The location text of a procedure: "in Nestwarden2021/08/31." + procedure + " ".
std::string ReportLocation(std::string_view procedure);

// The description of the exception being handled (call only inside a catch block).
std::string DescribeCurrentFailure();

class Guarded {
  public:
    Guarded(FailureReport& report, std::string location) : report_(report), location_(std::move(location)) {}
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

  private:
    void Report();  // inside a catch block

    FailureReport& report_;
    std::string location_;
    int line_ = 0;
};

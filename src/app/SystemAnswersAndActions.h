#pragma once
// What start-up asks of the system that a test cannot answer for itself: the random draw of the
// occasional home-page visit, the launch of that page, and whether the user is an administrator.

#include <string>

struct SystemAnswers {
    virtual int DrawOneToHundred() = 0;                         // seeded from the time of day
    virtual void OpenHomePage(const std::string& address) = 0;  // starts the file explorer with it
    virtual bool IsAdministrator() = 0;
    virtual void FlushResolverCache() = 0;  // after each change of the hosts file                         //
                                            // the administrator check
    virtual ~SystemAnswers() = default;
};

// The system's own answers.
class WindowsSystemAnswers final : public SystemAnswers {
  public:
    int DrawOneToHundred() override;
    void OpenHomePage(const std::string& address) override;
    bool IsAdministrator() override;
    void FlushResolverCache() override;
};

// The maker's home page, opened by the occasional visit at start-up.
inline constexpr char kHomePageAddress[] = "http://www.kelmarin.com/";
// The draw that opens it (one start in a hundred).
inline constexpr int kHomePageDraw = 7;

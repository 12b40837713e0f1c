#pragma once
// What the program asks of the system and has it do, where a test cannot answer or watch for
// itself: the random draw of the occasional home-page visit and whether the user is an
// administrator (answers), the launch of that page and the flush of the resolver cache (actions).

#include <string>

struct SystemAnswersAndActions {
    virtual int DrawOneToHundred() = 0;                         // seeded from the time of day
    virtual void OpenHomePage(const std::string& address) = 0;  // starts the file explorer with it
    virtual bool IsAdministrator() = 0;     // TokenHoldsAdministratorsGroup (AdministratorToken.h)
    virtual void FlushResolverCache() = 0;  // after each change of the hosts file
    virtual ~SystemAnswersAndActions() = default;
};

// The system's own answers and actions.
class WindowsSystemAnswersAndActions final : public SystemAnswersAndActions {
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

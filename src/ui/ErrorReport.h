#pragma once
// The error report: the one box every user-facing procedure shows for an unexpected failure of a
// numbered statement (see NumberedSteps.h).

#include <string>

#include "NumberedSteps.h"
#include "Prompts.h"
#include "UserTexts.h"

inline constexpr unsigned kErrorReportStyle = MB_OK | MB_ICONEXCLAMATION;

// The text of the box: description, CR LF, location, "at line N", CR, CR, the e-mail request.
std::string ErrorReportText(const std::string& location, const std::string& description, int line);

// Shows the report as a message box through the prompts it is given.
class ErrorReportBox final : public FailureReport {
  public:
    explicit ErrorReportBox(Prompts& prompts) : prompts_(prompts) {}
    void Show(const std::string& location, const std::string& description, int line) override;

  private:
    Prompts& prompts_;
};

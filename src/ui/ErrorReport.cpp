#include "ErrorReport.h"

std::string ErrorReportText(const std::string& location, const std::string& description, int line) {
    return description + "\r\n" + location + "at line " + std::to_string(line) + "\r\r" +
           kErrorReportRequest + kSupportEmailAddress;
}

void ErrorReportBox::Show(const std::string& location, const std::string& description, int line) {
    prompts_.MessageBox(ErrorReportText(location, description, line), kErrorReportTitle, kErrorReportStyle);
}

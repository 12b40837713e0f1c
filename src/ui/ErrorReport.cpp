#include "ui/ErrorReport.h"

#include <new>
#include <stdexcept>

#include "core/Failure.h"
#include "ui/Prompts.h"

std::string ErrorReportText(const std::string& location, const std::string& description, int line) {
    return description + "\r\n" + location + "at line " + std::to_string(line) + "\r\r" +
           "Please email screenshot of this message to " + kSupportEmailAddress;
}

void ShowErrorReport(const std::string& location, const std::string& description, int line) {
    CurrentPrompts().MessageBox(ErrorReportText(location, description, line), kErrorReportTitle,
                                kErrorReportStyle);
}

std::string DescribeCurrentFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return SystemErrorText(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unexpected failure";
    }
}

void Guarded::Report() {
    std::string description = DescribeCurrentFailure();
    try {
        ShowErrorReport(location_, description, line_);
    } catch (...) {
        // The report itself must never end the procedure it reports for.
    }
}

#include "NumberedSteps.h"

#include <new>
#include <stdexcept>

#include "Failure.h"
#include "UserTexts.h"

std::string ReportLocation(std::string_view procedure) {
    return "in Nestwarden2021/08/31." + std::string(procedure) + " ";
}

std::string DescribeCurrentFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return SystemErrorText(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return kUnexpectedFailure;
    }
}

void Guarded::Report() {
    std::string description = DescribeCurrentFailure();
    try {
        report_.Show(location_, description, line_);
    } catch (...) {
        // The report itself must never end the procedure it reports for.
    }
}

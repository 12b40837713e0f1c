#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Failure.h"
#include "support/ScriptedPrompts.h"
#include "ErrorReport.h"
#include "UserTexts.h"

namespace {

const char kLocation[] = "in Nestwarden2021/08/31.Form1.StartBlocking ";

TEST(ErrorReport, LocationTextAsTheUserSeesIt) {
    EXPECT_EQ(ReportLocation(kStartBlockingProcedure), kLocation);
    EXPECT_EQ(ReportLocation(kPasswordOkClickedProcedure),
              "in Nestwarden2021/08/31.Form2.PushButton2_Click ");
}

TEST(ErrorReport, BoxTextTitleAndStyle) {
    ScriptedPrompts prompts;
    ErrorReportBox(prompts).Show(kLocation, "Access is denied.", 116);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(
        prompts.boxes[0].text,
        std::string("Access is denied.\r\nin Nestwarden2021/08/31.Form1.StartBlocking at line 116\r\r") +
            kErrorReportRequest + kSupportEmailAddress);
    EXPECT_EQ(prompts.boxes[0].title, kErrorReportTitle);
    EXPECT_EQ(prompts.boxes[0].style, 48u);
}

void FailingHelper() {
    ThrowWin32Error(ERROR_ACCESS_DENIED);
}

TEST(ErrorReport, GuardReportsEachFailureAtTheCallersLineAndGoesOn) {
    ScriptedPrompts prompts;
    ErrorReportBox reports(prompts);
    std::vector<int> ran;
    Guarded p{reports, kLocation};
    p.Line(100, [&] { FailingHelper(); });
    p.Line(102, [&] { ran.push_back(102); });
    p.Line(104, [&] { throw Failure("second"); });
    p.Line(106, [&] { ran.push_back(106); });

    EXPECT_EQ(ran, (std::vector<int>{102, 106})) << "the statements after a failure still run";
    ASSERT_EQ(prompts.boxes.size(), 2u) << "one report per failure";
    EXPECT_EQ(prompts.boxes[0].text.substr(0, prompts.boxes[0].text.find("\r\n")),
              SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_NE(prompts.boxes[0].text.find(std::string(kLocation) + "at line 100\r\r"), std::string::npos);
    EXPECT_NE(prompts.boxes[1].text.find("second\r\n"), std::string::npos);
    EXPECT_NE(prompts.boxes[1].text.find("at line 104\r\r"), std::string::npos);
}

TEST(ErrorReport, FailureNamesTheLineThatThrewIt) {
    // Each throw helper names its caller's line, never its own.
    const auto where = [](const std::function<void()>& failing) {
        try {
            failing();
        } catch (const Failure& failure) {
            return failure.Where();
        }
        return std::string("nothing thrown");
    };
    const auto here = [](int line) { return "ErrorReportTest.cpp:" + std::to_string(line); };
    EXPECT_EQ(where([] { ThrowWin32Error(ERROR_ACCESS_DENIED); }), here(__LINE__));
    EXPECT_EQ(where([] { throw Failure("Overflow"); }), here(__LINE__));
    EXPECT_EQ(where([] { CheckWin32(CloseHandle(nullptr)); }), here(__LINE__));
    EXPECT_EQ(where([] { CheckWin32(static_cast<HANDLE>(nullptr)); }), here(__LINE__));
    EXPECT_EQ(where([] { CheckWin32Status(ERROR_FILE_NOT_FOUND); }), here(__LINE__));
    EXPECT_EQ(where([] { CheckWin32(TRUE); }), "nothing thrown");
    EXPECT_EQ(where([] { CheckWin32Status(ERROR_SUCCESS); }), "nothing thrown");
    try {
        SetLastError(ERROR_ACCESS_DENIED);
        CheckWin32(FALSE);
        ADD_FAILURE() << "CheckWin32(FALSE) threw nothing";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the thread's last error";
        EXPECT_EQ(failure.what(), SystemErrorText(ERROR_ACCESS_DENIED)) << "the system's own text, unchanged";
    }
}

TEST(ErrorReport, FailedTestEntersTheBranchItGuards) {
    ScriptedPrompts prompts;
    ErrorReportBox reports(prompts);
    Guarded p{reports, kLocation};
    EXPECT_TRUE(p.Test(110, [&]() -> bool { throw Failure(kTypeMismatch); }));
    EXPECT_FALSE(p.Test(112, [] { return false; }));
    EXPECT_TRUE(p.Test(114, [] { return true; }));
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_NE(prompts.boxes[0].text.find(
                  "Type mismatch\r\nin Nestwarden2021/08/31.Form1.StartBlocking at line 110"),
              std::string::npos);
}

TEST(ErrorReport, OutOfMemoryIsDescribedNotFatal) {
    ScriptedPrompts prompts;
    ErrorReportBox reports(prompts);
    Guarded p{reports, kLocation};
    p.Line(100, [] { throw std::bad_alloc(); });
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text.rfind(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY), 0), 0u);
}

}  // namespace

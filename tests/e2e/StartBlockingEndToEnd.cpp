// The whole program as a user meets it: Parvalisk.exe is started, its window found by its caption,
// kStartBlockingCaption pressed with a real click message, and the hosts file of the temporary tree
// (the machine's hosts folder points there meanwhile) checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/EndToEndFixture.h"
#include "UserTexts.h"

namespace {

using StartBlockingEndToEnd = EndToEndTest;

TEST_F(StartBlockingEndToEnd, PressingStartBlockingBlocksTheStoredListInTheHostsFile) {
    const std::string clean = "127.0.0.1       localhost\r\n";
    WriteBytes(hostsPath, clean);
    ASSERT_TRUE(program_run::StoreProgramSetting(
        "Blocked Websites", "blocked.example||My_Separator||second.example||My_Separator||"));

    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(program_run::WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 30000))
        << "the main window did not show";
    EXPECT_EQ(program_run::TextOf(main), "Parvalisk");
    HWND button = FindWindowExA(main, nullptr, "Button", kStartBlockingCaption);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(ReadBytes(hostsPath), clean) << "starting the program changes nothing";

    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &ignored);
    const std::string blocked =
        clean + "\r\n" + "127.0.0.1          blocked.example\r\n" + "127.0.0.1          second.example\r\n";
    EXPECT_TRUE(program_run::WaitFor([&] { return ReadBytes(hostsPath) == blocked; }, 10000))
        << ReadBytes(hostsPath);
    EXPECT_EQ(ReadBytes(BackupPath()), clean) << "the clean copy is kept in the data folder";
    EXPECT_EQ(program_run::TextOf(button), kStopBlockingCaption);

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(30000), 0) << "the program ends when closed";
    EXPECT_EQ(ReadBytes(hostsPath), blocked) << "closing never lifts an active block";
}

}  // namespace

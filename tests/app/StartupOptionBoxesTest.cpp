// The main window's start-up option boxes: what their clicks store and switch.
#include <gtest/gtest.h>

#include "FileHelpers.h"
#include "support/MainWindowFixture.h"

namespace {

using StartupOptionBoxes = MainWindowTest;

TEST_F(StartupOptionBoxes, SwitchingStartWithWindowsOnAndOffWritesAndRemovesEverything) {
    MainWindow& main = StartMainWindow();
    const std::string name = RunValueName(ProgramPath());
    ASSERT_EQ(RunValue(), "<absent>");

    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(Value(kIdStartWithWindowsBox), 1);
    EXPECT_EQ(Setting(kKeyStartWithWindows), "On");
    EXPECT_EQ(RunValue(), ProgramPath()) << "the entry names and points at this very program";
    EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), " ");
    EXPECT_TRUE(MainWindowView::ControlById(main, kIdStartInTrayBox).Visible());

    Click(kIdStartInTrayBox);
    EXPECT_EQ(Setting(kKeyMinimized), "On");

    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(Value(kIdStartWithWindowsBox), 0);
    EXPECT_EQ(Setting(kKeyStartWithWindows), "Off");
    EXPECT_EQ(RunValue(), "<absent>");
    EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), "<missing>");
    EXPECT_EQ(Value(kIdStartInTrayBox), 0);
    EXPECT_FALSE(MainWindowView::ControlById(main, kIdStartInTrayBox).Visible());
    EXPECT_EQ(Setting(kKeyMinimized), "Off") << "unchecking the tray box saved it";
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(StartupOptionBoxes, TheEntryIsNamedAfterThisProgramNotTheFirstListedExecutable) {
    // The program folder holds several executables (the program and every test program).
    std::string firstListed;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((ProgramFolder() + "\\*.exe").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    firstListed = found.cFileName;
    FindClose(find);
    const std::string own = ProgramPath().substr(ProgramPath().find_last_of('\\') + 1);
    ASSERT_EQ(RunValueName(ProgramPath()), own);

    StartMainWindow();
    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(RunValue(own), ProgramPath());
    if (firstListed != own) {
        EXPECT_EQ(RunValue(firstListed), "<absent>") << firstListed << " was listed first";
    }
    Click(kIdStartWithWindowsBox);
    EXPECT_EQ(RunValue(own), "<absent>");
}

TEST_F(StartupOptionBoxes, StartInTraySavesItsValueOnEveryChange) {
    StartMainWindow();
    for (const char* stored : {"On", "Off", "On"}) {
        Click(kIdStartInTrayBox);
        EXPECT_EQ(Setting(kKeyMinimized), stored);
    }
}

}  // namespace

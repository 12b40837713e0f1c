#include <gtest/gtest.h>

#include "Failure.h"
#include "FileHelpers.h"
#include "support/MainWindowFixture.h"
#include "Appearance.h"
#include "Registry.h"

namespace {

using StartupOptions = MainWindowTest;

TEST_F(StartupOptions, SwitchingStartWithWindowsOnAndOffWritesAndRemovesEverything) {
    MainWindow& main = StartMainWindow();
    const std::string name = StartupEntryName();
    ASSERT_EQ(RunValue(), "<absent>");

    Click(main.startWithWindowsBox_);
    EXPECT_EQ(main.startWithWindowsBox_.Value(), 1);
    EXPECT_EQ(Setting(kKeyWindowsStartup), "On");
    EXPECT_EQ(RunValue(), ProgramPath()) << "the entry names and points at this very program";
    EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), " ");
    EXPECT_TRUE(main.startInTrayBox_.Visible());

    Click(main.startInTrayBox_);
    EXPECT_EQ(Setting(kKeyMinimized), "On");

    Click(main.startWithWindowsBox_);
    EXPECT_EQ(main.startWithWindowsBox_.Value(), 0);
    EXPECT_EQ(Setting(kKeyWindowsStartup), "Off");
    EXPECT_EQ(RunValue(), "<absent>");
    EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), "<missing>");
    EXPECT_EQ(main.startInTrayBox_.Value(), 0);
    EXPECT_FALSE(main.startInTrayBox_.Visible());
    EXPECT_EQ(Setting(kKeyMinimized), "Off") << "unchecking the tray box saved it";
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(StartupOptions, TheEntryIsNamedAfterThisProgramNotTheFirstListedExecutable) {
    // The program folder holds several executables (the program and every test program).
    std::string firstListed;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((ProgramFolder() + "\\*.exe").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    firstListed = found.cFileName;
    FindClose(find);
    const std::string own = ProgramPath().substr(ProgramPath().find_last_of('\\') + 1);
    ASSERT_EQ(StartupEntryName(), own);

    MainWindow& main = StartMainWindow();
    Click(main.startWithWindowsBox_);
    EXPECT_EQ(RunValue(own), ProgramPath());
    if (firstListed != own) {
        EXPECT_EQ(RunValue(firstListed), "<absent>") << firstListed << " was listed first";
    }
    Click(main.startWithWindowsBox_);
    EXPECT_EQ(RunValue(own), "<absent>");
}

TEST_F(StartupOptions, RunEntryDataIsQuotedWhenThePathHoldsASpace) {
    struct Case {
        const char* folder;
        const char* data;
    };
    const Case cases[] = {
        {"C:\\", "C:\\Parvalisk.exe"},  // a drive root: no doubled backslash
        {"D:\\Apps", "D:\\Apps\\Parvalisk.exe"},
        {"D:\\Apps\\", "D:\\Apps\\Parvalisk.exe"},
        {"C:\\Program Files\\Kelmarin", "\"C:\\Program Files\\Kelmarin\\Parvalisk.exe\""},
    };
    for (const Case& c : cases) EXPECT_EQ(RunEntryData(c.folder, "Parvalisk.exe"), c.data) << c.folder;
    EXPECT_EQ(RunEntryData("C:\\Tools", "My Blocker.exe"), "\"C:\\Tools\\My Blocker.exe\"");
}

TEST_F(StartupOptions, StartInTraySavesItsValueOnEveryChange) {
    MainWindow& main = StartMainWindow();
    main.startInTrayBox_.SetValue(1);
    EXPECT_EQ(Setting(kKeyMinimized), "On");
    main.startInTrayBox_.SetValue(0);
    EXPECT_EQ(Setting(kKeyMinimized), "Off");
    main.state_.loading = true;  // the tray box does not look at the loading flag
    main.startInTrayBox_.SetValue(1);
    EXPECT_EQ(Setting(kKeyMinimized), "On");
}

// The registry wrappers, on a throwaway key of the current user.
class RegistryWrappers : public TempTree {};

TEST_F(RegistryWrappers, SetValueDataWritesStringsNumbersAndNothingElse) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "text", REG_SZ, "C:\\Parvalisk.exe"), ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "number", REG_DWORD, "42"), ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "binary", REG_BINARY, "ignored"), ERROR_SUCCESS);
    EXPECT_THROW(SetValueData(key, "bad", REG_DWORD, "forty"), Failure);

    char text[64] = "";
    DWORD size = sizeof text, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof "C:\\Parvalisk.exe") << "the size counts the terminating NUL";
    EXPECT_STREQ(text, "C:\\Parvalisk.exe");
    DWORD number = 0;
    size = sizeof number;
    ASSERT_EQ(RegQueryValueExA(key, "number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(RegQueryValueExA(key, "binary", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "bad", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryWrappers, WriteAndDeleteOpenTheKeyThemselvesAndStaySilentWhenItIsMissing) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    WriteRegValue(HKEY_CURRENT_USER, settingsKey, KEY_SET_VALUE, "entry", "data", REG_SZ);
    EXPECT_EQ(RegQueryValueExA(key, "entry", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    DeleteRegValue(HKEY_CURRENT_USER, settingsKey, KEY_SET_VALUE, "entry");
    EXPECT_EQ(RegQueryValueExA(key, "entry", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    const std::string missing = settingsKey + "\\no such key";
    EXPECT_NO_THROW(WriteRegValue(HKEY_CURRENT_USER, missing, KEY_SET_VALUE, "entry", "data", REG_SZ));
    EXPECT_NO_THROW(DeleteRegValue(HKEY_CURRENT_USER, missing, KEY_SET_VALUE, "entry"));
    HKEY probe = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, missing.c_str(), 0, KEY_READ, &probe), ERROR_SUCCESS)
        << "a missing key is not created";
}

}  // namespace

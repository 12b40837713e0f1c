// The whole program as a user meets it: Parvalisk.exe is started, its window found by its caption,
// "Start Blocking" pressed with a real click message, and the hosts file of the temporary tree
// (the machine's hosts folder points there meanwhile) checked. The program keeps its data folder and settings
// where it always does (in this Wine prefix); they are cleared before and after the run.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "MainWindow.h"
#include "FileHelpers.h"
#include "support/SystemHostsFolder.h"
#include "support/TempTree.h"
#include "Appearance.h"

namespace {

const char kProgramSettingsKey[] = "Software\\VB and VBA Program Settings\\Kelmarin\\Parvalisk";

class StartBlockingEndToEnd : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        systemHosts = std::make_unique<SystemHostsFolder>(windir + "\\system32\\drivers\\etc");
        ASSERT_TRUE(systemHosts->InForce()) << "the machine's hosts folder could not be pointed at the tree";
        programDataFolder = SpecialFolderPath(kCommonAppDataFolder) + "\\Kelmarin\\Parvalisk";
        ClearProgramState();
    }
    void TearDown() override {
        if (process.hProcess != nullptr) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 10000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        ClearProgramState();
        systemHosts.reset();
        TempTree::TearDown();
    }
    void ClearProgramState() {
        RegDeleteTreeA(HKEY_CURRENT_USER, kProgramSettingsKey);
        RemoveTree(programDataFolder);
    }
    static void StoreProgramSetting(const char* key, const std::string& value) {
        HKEY section = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProgramSettingsKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &section, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(section, key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(section);
    }
    // Starts the program as a user would.
    void StartProgram() {
        std::string exe = ProgramFolder() + "\\Parvalisk.exe";
        std::string commandLine = "\"" + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process))
            << "cannot start " << exe;
    }
    // The visible window captioned "Parvalisk" that belongs to the program started here (another
    // copy left running elsewhere on the display is never touched).
    HWND WaitForVisibleWindow(int milliseconds) {
        for (int waited = 0; waited < milliseconds; waited += 50) {
            HWND window = nullptr;
            while ((window = FindWindowExA(nullptr, window, kMainWindowClassName, "Parvalisk")) != nullptr) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == process.dwProcessId && IsWindowVisible(window)) return window;
            }
            Sleep(50);
        }
        return nullptr;
    }
    std::string WaitForHostsChange(const std::string& before, int milliseconds) {
        std::string now = ReadBytes(hostsPath);
        for (int waited = 0; now == before && waited < milliseconds; waited += 100) {
            Sleep(100);
            now = ReadBytes(hostsPath);
        }
        return now;
    }

    std::string programDataFolder;
    PROCESS_INFORMATION process{};
    std::unique_ptr<SystemHostsFolder> systemHosts;  // the program's hosts file is the tree's
};

TEST_F(StartBlockingEndToEnd, PressingStartBlockingBlocksTheStoredListInTheHostsFile) {
    const std::string clean = "127.0.0.1       localhost\r\n";
    WriteBytes(hostsPath, clean);
    StoreProgramSetting("Blocked Websites", "blocked.example||My_Separator||second.example||My_Separator||");

    StartProgram();
    HWND window = WaitForVisibleWindow(30000);
    ASSERT_NE(window, nullptr) << "no visible window captioned \"Parvalisk\"";
    HWND button = FindWindowExA(window, nullptr, "Button", "Start Blocking");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(ReadBytes(hostsPath), clean) << "starting the program changes nothing";

    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &ignored);
    std::string hosts = WaitForHostsChange(clean, 10000);
    EXPECT_EQ(hosts, clean + "\r\n" + "127.0.0.1          blocked.example\r\n" +
                         "127.0.0.1          second.example\r\n");
    EXPECT_EQ(ReadBytes(programDataFolder + "\\hosts"), clean) << "the clean copy is kept in the data folder";

    char caption[64] = "";
    GetWindowTextA(button, caption, sizeof caption);
    EXPECT_STREQ(caption, "Stop Blocking");

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0) << "the program ends when closed";
    EXPECT_EQ(ReadBytes(hostsPath), hosts) << "closing never lifts an active block";
}

}  // namespace

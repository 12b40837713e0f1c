// The built program, started as a user starts it, loading a list file through the real open
// dialog: the test presses "Load Websites From File", types the file's name into the dialog,
// presses Open and reads the list view's rows from outside the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <vector>

#include "MainWindow.h"
#include "FileHelpers.h"
#include "support/SystemHostsFolder.h"
#include "support/TempTree.h"
#include "Appearance.h"

namespace {

constexpr char kSettingsSection[] = "Software\\VB and VBA Program Settings\\Kelmarin\\Parvalisk";
constexpr char kDialogTitle[] = "Load List(s) - Hold Ctrl to select multiple list files";

struct StoredValue {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

// The program's settings in this Wine prefix, to put back after the run.
bool ReadSection(std::vector<StoredValue>& values) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsSection, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameLength = sizeof name, type = 0, dataLength = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, nullptr, &dataLength) != ERROR_SUCCESS)
            break;
        StoredValue value{std::string(name, nameLength), type, std::vector<BYTE>(dataLength + 1)};
        nameLength = sizeof name;
        dataLength = static_cast<DWORD>(value.data.size());
        RegEnumValueA(key, i, name, &nameLength, nullptr, &type, value.data.data(), &dataLength);
        value.data.resize(dataLength);
        values.push_back(std::move(value));
    }
    RegCloseKey(key);
    return true;
}

void RestoreSection(bool existed, const std::vector<StoredValue>& values) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsSection);
    if (!existed) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsSection, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    for (const StoredValue& value : values)
        RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    RegCloseKey(key);
}

// Waits up to `seconds` for the condition, letting this test's own window events run.
bool WaitFor(const std::function<bool()>& condition, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;  // null: any
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lp) {
    auto& s = *reinterpret_cast<WindowSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[256] = {}, text[256] = {};
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, text, sizeof text);
    if (owner == s.processId && IsWindowVisible(window) && lstrcmpiA(name, s.className) == 0 &&
        (s.title == nullptr || lstrcmpA(text, s.title) == 0)) {
        s.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopWindow(DWORD processId, const char* className, const char* title) {
    WindowSearch search{processId, className, title, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The open dialog's file name field: the edit of the file name combo box, or the plain edit.
HWND FileNameField(HWND dialog) {
    HWND combo = GetDlgItem(dialog, 0x47C);  // cmb13
    if (combo != nullptr) {
        HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
        if (edit == nullptr) {
            HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
            if (inner != nullptr) edit = FindWindowExA(inner, nullptr, "Edit", nullptr);
        }
        if (edit != nullptr) return edit;
    }
    return GetDlgItem(dialog, 0x480);  // edt1
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// A row's text of a list view in another process: the item structure and the text buffer
// have to live in that process.
std::string RemoteItemText(HANDLE process, HWND view, int row) {
    const SIZE_T size = sizeof(LVITEMA) + 512;
    BYTE* remote = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return "<no memory>";
    LVITEMA item{};
    item.iSubItem = 0;
    item.cchTextMax = 512;
    item.pszText = reinterpret_cast<char*>(remote + sizeof(LVITEMA));
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    SendMessageA(view, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote));
    char text[513] = {};
    ReadProcessMemory(process, remote + sizeof(LVITEMA), text, 512, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

class OpenDialogEndToEnd : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        systemHosts = std::make_unique<SystemHostsFolder>(windir + "\\system32\\drivers\\etc");
        ASSERT_TRUE(systemHosts->InForce()) << "the machine's hosts folder could not be pointed at the tree";
        // The run uses this Wine prefix's settings and data folder: note them to put them back,
        // and start the program from an empty settings section so it opens as a plain window.
        hadSettings_ = ReadSection(savedSettings_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsSection);
        std::string programData = SpecialFolderPath(kCommonAppDataFolder);
        makerFolder_ = programData + "\\Kelmarin";
        realDataFolder_ = makerFolder_ + "\\Parvalisk";
        hadMakerFolder_ = FileExists(makerFolder_);
        hadDataFolder_ = FileExists(realDataFolder_);
        WriteBytes(hostsPath, kHosts);
    }
    void TearDown() override {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 10000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        RestoreSection(hadSettings_, savedSettings_);
        if (!hadDataFolder_) RemoveTree(realDataFolder_);
        if (!hadMakerFolder_) RemoveTree(makerFolder_);
        systemHosts.reset();
        TempTree::TearDown();
    }

    // Starts the built program; the machine's hosts folder points at this test's tree.
    void StartProgram() {
        std::string exe = ProgramFolder() + "\\Parvalisk.exe";
        ASSERT_TRUE(FileExists(exe)) << exe;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + exe + "\"";
        ASSERT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   root.c_str(), &startup, &process_));
        WaitForInputIdle(process_.hProcess, 20000);
    }

    static constexpr char kHosts[] = "127.0.0.1 localhost\r\n";
    PROCESS_INFORMATION process_{};
    std::unique_ptr<SystemHostsFolder> systemHosts;  // the program's hosts file is the tree's

  private:
    bool hadSettings_ = false;
    std::vector<StoredValue> savedSettings_;
    std::string makerFolder_, realDataFolder_;
    bool hadMakerFolder_ = false, hadDataFolder_ = false;
};

TEST_F(OpenDialogEndToEnd, ATypedFileNameLoadsItsLinesIntoTheList) {
    const std::string listPath = root + "\\e2e list.txt";
    WriteBytes(listPath, "e2e-one.com\r\n  E2E Two.org \r\n\r\nlast.net");
    const std::vector<std::string> fileEntries = {"e2e-one.com", "  E2E Two.org ", "", "last.net"};

    StartProgram();
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (main = FindTopWindow(process_.dwProcessId, kMainWindowClassName, nullptr)); }, 30))
        << "the main window shows";
    HWND view = GetDlgItem(main, kIdWebsiteList);
    ASSERT_NE(view, nullptr);
    const int before = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));

    // "Load Websites From File": the command runs inside the program; its dialog is modal there.
    HWND button = GetDlgItem(main, kIdLoadFromFileButton);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdLoadFromFileButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    HWND dialog = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (dialog = FindTopWindow(process_.dwProcessId, "#32770", kDialogTitle)); }, 30))
        << "the open dialog shows with its title";
    HWND field = FileNameField(dialog);
    ASSERT_NE(field, nullptr) << "the dialog has a file name field";

    // Type the name key by key, then press Open.
    for (char c : listPath) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
    ASSERT_TRUE(WaitFor([&] { return WindowText(field) == listPath; }, 10)) << WindowText(field);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));

    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 20)) << "Open closes the dialog";
    const int expected = before + static_cast<int>(fileEntries.size());
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(view, LVM_GETITEMCOUNT, 0, 0) == expected; }, 20))
        << "rows: " << SendMessageA(view, LVM_GETITEMCOUNT, 0, 0) << ", expected " << expected;
    for (size_t i = 0; i < fileEntries.size(); ++i)
        EXPECT_EQ(RemoteItemText(process_.hProcess, view, before + static_cast<int>(i)), fileEntries[i])
            << "row " << i;
    EXPECT_EQ(FindTopWindow(process_.dwProcessId, "#32770", nullptr), nullptr)
        << "no message box: the file exists";

    // Close it as the user does; the load itself wrote nothing to the hosts file.
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, 30000), WAIT_OBJECT_0) << "the program ends";
    EXPECT_EQ(ReadBytes(hostsPath), kHosts);
}

}  // namespace

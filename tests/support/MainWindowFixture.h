#pragma once
// A real main window for in-process tests: a fresh temporary tree (WINDIR, data folder, settings
// root), scripted prompts and system answers, and MainWindow created and loaded as the program does.
// The machine-wide Run entry that the start-up options may write is removed again afterwards.

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "MainWindow.h"
#include "MessagePump.h"
#include "PasswordWindow.h"
#include "TrayIcon.h"
#include "SettingsStore.h"
#include "MachineStartWithWindows.h"
#include "ProgramPaths.h"
#include "support/ListEntries.h"
#include "support/MainWindowView.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "UserTexts.h"
#include "support/WaitUntil.h"

// A click on one of the window's buttons (BM_CLICK, as the mouse would).
inline void ClickControl(const MainWindow& window, int id) {
    SendMessageA(GetDlgItem(window.hwnd(), id), BM_CLICK, 0, 0);
}
// A key pressed in the website list, as the keyboard sends it there.
inline void PressInList(const MainWindow& window, int keyCode) {
    SendMessageA(GetDlgItem(window.hwnd(), kIdWebsiteList), WM_KEYDOWN, keyCode, 1);
}
// A double-click on the website list, as the list view tells its window.
inline void DoubleClickList(const MainWindow& window) {
    NMHDR header{GetDlgItem(window.hwnd(), kIdWebsiteList), static_cast<UINT_PTR>(kIdWebsiteList),
                 static_cast<UINT>(NM_DBLCLK)};
    SendMessageA(window.hwnd(), WM_NOTIFY, kIdWebsiteList, reinterpret_cast<LPARAM>(&header));
}

// Puts exactly these entries into the window's list through its own commands: "Clear List", then
// "Add Website" for each entry, answered by the scripted input box, or for an empty entry, which
// that command refuses, "Load Websites From File" with a list file of one empty line (written in
// `scratchFolder` and removed again). The pointer goes back to its default state first, as the
// clear is refused under the hourglass. The prompts' scripts and records are left as they were.
inline void PutEntries(MainWindow& window, ScriptedPrompts& prompts, const std::string& scratchFolder,
                       const std::vector<std::string>& entries) {
    SetCursorPos(0, 0);
    MainWindowView::SetPointer(window, Pointer::Default);
    const ScriptedPrompts before = prompts;
    prompts.answeredBy = nullptr;
    MainWindowView::ClearList(window);
    const std::string emptyLineFile = scratchFolder + "\\one empty line.txt";
    for (const std::string& entry : entries) {
        if (entry.empty()) {
            std::ofstream(emptyLineFile, std::ios::binary | std::ios::trunc) << '\r';
            prompts.fileAnswers.push_back(emptyLineFile);
            MainWindowView::LoadFromFile(window);
        } else {
            prompts.inputAnswers.push_back(entry);
            MainWindowView::AddWebsite(window);
        }
    }
    DeleteFileA(emptyLineFile.c_str());
    prompts = before;
}

// The password window's controls.
inline HWND FieldOf(const PasswordWindow& window) {
    return window.ControlById(kIdPasswordWindowField).hwnd;
}
inline HWND OkOf(const PasswordWindow& window) {
    return window.ControlById(kIdPasswordOkButton).hwnd;
}
inline HWND CancelOf(const PasswordWindow& window) {
    return window.ControlById(kIdPasswordCancelButton).hwnd;
}

class MainWindowTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        DeleteRunValue();
    }
    void TearDown() override {
        form.reset();
        ProcessPendingEvents();
        DeleteRunValue();
        TempTree::TearDown();
    }

    MainWindow& StartMainWindow() {
        form = std::make_unique<MainWindow>(Parts());
        form->Load();
        return *form;
    }
    // Ends this run's window without its close handling, as a crash or power cut would.
    void DropMainWindow() { form.reset(); }

    std::vector<std::string> Entries() const { return EntriesOf(MainWindowView::List(*form)); }
    // Sets the window's pointer state with the mouse parked off the window first: over it, the
    // move the window is told of would change the state again at once.
    void SetPointerState(Pointer pointer) const {
        SetCursorPos(0, 0);
        MainWindowView::SetPointer(*form, pointer);
    }
    void SetEntries(const std::vector<std::string>& entries) {
        PutEntries(*form, prompts, root, entries);
        ASSERT_EQ(Entries(), entries);
    }
    bool Locked() const { return MainWindowView::Locked(*form); }
    bool ShownNormally() const { return IsWindowVisible(form->hwnd()) && !IsIconic(form->hwnd()); }
    std::string Setting(const char* key) const { return settings.Get(key, "<absent>"); }

    // The data of this program's Run value, or "<absent>".
    static std::string RunValue(const std::string& name = RunValueName(ProgramPath())) {
        char data[1024] = "";
        DWORD size = sizeof data - 1;
        DWORD type = 0;
        LONG status =
            RegGetValueA(HKEY_LOCAL_MACHINE, kRunKeyPath, name.c_str(), RRF_RT_REG_SZ, &type, data, &size);
        return status == ERROR_SUCCESS ? std::string(data) : std::string("<absent>");
    }
    static void DeleteRunValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, RunValueName(ProgramPath()).c_str());
        RegCloseKey(key);
    }

    // Lets the message loop wait on its messages and handles until the condition holds.
    static bool RunLoopUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
        return WaitUntil(condition, static_cast<DWORD>(milliseconds), 50, [](DWORD ms) {
            int exitCode = 0;
            WaitForEvents(ms, exitCode);
        });
    }

    // Sends a real click to a control of the window (BM_CLICK, as the mouse would).
    static void Click(const Control& control) { SendMessageA(control.hwnd, BM_CLICK, 0, 0); }
    void Click(int id) const { Click(MainWindowView::ControlById(*form, id)); }
    HWND ControlWindow(int id) const { return MainWindowView::ControlById(*form, id).hwnd; }
    std::string Caption(int id) const { return MainWindowView::ControlById(*form, id).Caption(); }
    // A check box's value as the box itself shows it: 1 ticked, 0 not.
    int Value(int id) const {
        return SendMessageA(ControlWindow(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    }
    HWND ListWindow() const { return MainWindowView::List(*form).hwnd; }
    // Selects one row of the list view and gives it the focus, as a click on it does (-1: no
    // row selected).
    void SelectRow(int index) const {
        HWND list = ListWindow();
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (index >= 0)
            ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // Minimises the window, as its minimise box does. The shell's word that the balloon went,
    // waiting in the queue, ends the balloon's wait at its first look instead of after its 5
    // seconds.
    void Minimise() const {
        PostMessageA(MainWindowView::Tray(*form).Window(), kTrayCallbackMessage, kTrayIconId,
                     NIN_BALLOONTIMEOUT);
        ShowWindow(form->hwnd(), SW_MINIMIZE);
        ProcessPendingEvents();
    }
    // Minimises the window, which takes it into the tray.
    void HideInTray() const {
        Minimise();
        ASSERT_TRUE(Locked());
        ASSERT_FALSE(IsWindowVisible(form->hwnd()));
    }
    // The password window, as a click on the tray icon opens it.
    const PasswordWindow& OpenPasswordWindow() const {
        ClickTrayIcon();
        ProcessPendingEvents();
        const PasswordWindow* window = MainWindowView::LoadedPasswordWindow(*form);
        if (window == nullptr) throw std::runtime_error("the tray icon's click opened no password window");
        return *window;
    }
    static void ClickOk(const PasswordWindow& window) { SendMessageA(OkOf(window), BM_CLICK, 0, 0); }
    // Types into the main window's password field, one character at a time, as the keyboard does.
    void TypeIntoMainField(const std::string& text) const {
        for (char c : text)
            SendMessageA(ControlWindow(kIdPasswordField), WM_CHAR, static_cast<unsigned char>(c), 1);
    }
    // A click on the tray icon with this button's release, as the shell reports it to the icon's
    // window (the icon is there from start-up until the password takes the window back).
    void ClickTrayIcon(UINT buttonUp = WM_LBUTTONUP) const {
        SendMessageA(MainWindowView::Tray(*form).Window(), kTrayCallbackMessage, kTrayIconId, buttonUp);
    }

    std::unique_ptr<MainWindow> form;
};

// The bytes of a small valid cursor file (32 x 32, one bit per pixel).
inline std::string CursorFileBytes() {
    std::string bytes;
    auto put16 = [&](int v) {
        bytes += static_cast<char>(v & 0xFF), bytes += static_cast<char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](int v) { put16(v & 0xFFFF), put16((v >> 16) & 0xFFFF); };
    const int imageSize = 40 + 8 + 128 + 128;
    put16(0), put16(2), put16(1);  // cursor directory, one image
    bytes += static_cast<char>(32), bytes += static_cast<char>(32), bytes += '\0', bytes += '\0';
    put16(4), put16(4), put32(imageSize), put32(22);      // hot spot, size, offset
    put32(40), put32(32), put32(64), put16(1), put16(1);  // BITMAPINFOHEADER, 1 bit
    for (int i = 0; i < 6; ++i) put32(0);
    put32(0x000000), put32(0xFFFFFF);                                                       // palette
    for (int row = 0; row < 32; ++row) put32(row % 2 ? 0x0F0F0F0F : 0x0);                   // image
    for (int row = 0; row < 32; ++row) put32(row < 16 ? 0 : static_cast<int>(0xFFFFFFFF));  // mask
    return bytes;
}

// A file put into the program folder for one test and removed again when it ends.
class ProgramFolderFileForTest {
  public:
    ProgramFolderFileForTest(const std::string& path, const std::string& bytes) : path_(path) {
        size_t slash = path.find_last_of('\\');
        std::string folder = path.substr(0, slash);
        createdFolder_ = GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
                         CreateDirectoryA(folder.c_str(), nullptr);
        if (createdFolder_) folder_ = folder;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~ProgramFolderFileForTest() {
        DeleteFileA(path_.c_str());
        if (createdFolder_) RemoveDirectoryA(folder_.c_str());
    }

  private:
    std::string path_, folder_;
    bool createdFolder_ = false;
};

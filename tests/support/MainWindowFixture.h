#pragma once
// A real main window for in-process tests: a fresh temporary tree (WINDIR, data folder, settings
// root), scripted prompts and system answers, and MainWindow created and loaded as the program does.
// The machine-wide Run entry that the start-up options may write is removed again afterwards.

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "MainWindow.h"
#include "SettingsStore.h"
#include "RunKey.h"
#include "support/ListEntries.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"

class MainWindowTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        DeleteRunValue();
    }
    void TearDown() override {
        form.reset();
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

    std::vector<std::string> Entries() const { return EntriesOf(form->websiteList_); }
    bool ShownNormally() const { return IsWindowVisible(form->hwnd()) && !IsIconic(form->hwnd()); }
    std::string Setting(const char* key) const { return settings.Get(key, "<absent>"); }

    // The data of this program's Run value, or "<absent>".
    static std::string RunValue(const std::string& name = StartupEntryName()) {
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
        RegDeleteValueA(key, StartupEntryName().c_str());
        RegCloseKey(key);
    }

    // Sends a real click to a control of the window (BM_CLICK, as the mouse would).
    static void Click(const Control& control) { SendMessageA(control.hwnd, BM_CLICK, 0, 0); }

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

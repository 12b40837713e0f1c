// The built program, started as a user starts it, loading a list file through the real open
// dialog: the test presses "Load Websites From File", types the file's name into the dialog,
// presses Open and reads the list view's rows from outside the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <string>
#include <vector>

#include "support/EndToEndFixture.h"
#include "UserTexts.h"

namespace {

using program_run::FindTopWindow;
using program_run::TextOf;
using program_run::WaitFor;

constexpr char kHosts[] = "127.0.0.1 localhost\r\n";

// The open dialog's file name field: the edit of the file name combo box, or the plain edit.
HWND FileNameField(HWND dialog) {
    HWND combo = GetDlgItem(dialog, cmb13);
    if (combo != nullptr) {
        HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
        if (edit == nullptr) {
            HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
            if (inner != nullptr) edit = FindWindowExA(inner, nullptr, "Edit", nullptr);
        }
        if (edit != nullptr) return edit;
    }
    return GetDlgItem(dialog, edt1);
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

using OpenDialogEndToEnd = EndToEndTest;

TEST_F(OpenDialogEndToEnd, ATypedFileNameLoadsItsLinesIntoTheList) {
    WriteBytes(hostsPath, kHosts);
    const std::string listPath = root + "\\e2e list.txt";
    WriteBytes(listPath, "e2e-one.com\r\n  E2E Two.org \r\n\r\nlast.net");
    const std::vector<std::string> fileEntries = {"e2e-one.com", "  E2E Two.org ", "", "last.net"};

    ASSERT_NE(StartProgram(root), nullptr);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 30000)) << "the main window shows";
    HWND view = GetDlgItem(main, kIdWebsiteList);
    ASSERT_NE(view, nullptr);
    const int before = static_cast<int>(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0));

    // "Load Websites From File": the command runs inside the program; its dialog is modal there.
    HWND button = GetDlgItem(main, kIdLoadFromFileButton);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdLoadFromFileButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    HWND dialog = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (dialog = FindTopWindow(program.id(), "#32770", kOpenListTitle)); }, 30000))
        << "the open dialog shows with its title";
    HWND field = FileNameField(dialog);
    ASSERT_NE(field, nullptr) << "the dialog has a file name field";

    // Type the name key by key, then press Open.
    for (char c : listPath) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
    ASSERT_TRUE(WaitFor([&] { return TextOf(field) == listPath; }, 10000)) << TextOf(field);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));

    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 20000)) << "Open closes the dialog";
    const int expected = before + static_cast<int>(fileEntries.size());
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(view, LVM_GETITEMCOUNT, 0, 0) == expected; }, 20000))
        << "rows: " << SendMessageA(view, LVM_GETITEMCOUNT, 0, 0) << ", expected " << expected;
    for (size_t i = 0; i < fileEntries.size(); ++i)
        EXPECT_EQ(RemoteItemText(program.handle(), view, before + static_cast<int>(i)), fileEntries[i])
            << "row " << i;
    HWND box = FindTopWindow(program.id(), "#32770");
    EXPECT_TRUE(box == nullptr || !IsWindowVisible(box)) << "no message box: the file exists";

    // Close it as the user does; the load itself wrote nothing to the hosts file.
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(30000), 0) << "the program ends";
    EXPECT_EQ(ReadBytes(hostsPath), kHosts);
}

}  // namespace

#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>

#include <functional>

#include "Failure.h"
#include "support/TempTree.h"
#include "OpenFileDialog.h"
#include "UserTexts.h"

namespace {

// The dialog is modal, so the test acts from a timer that fires inside the dialog's own loop.
std::function<void(HWND)> onDialogShown;

HWND FileNameField(HWND dialog) {
    HWND combo = GetDlgItem(dialog, 0x47C);  // cmb13
    if (combo != nullptr) {
        // The combo box (or the combo box inside an extended one) holds the edit field.
        HWND inner = FindWindowExA(combo, nullptr, "ComboBox", nullptr);
        HWND edit = FindWindowExA(inner != nullptr ? inner : combo, nullptr, "Edit", nullptr);
        if (edit != nullptr) return edit;
    }
    return GetDlgItem(dialog, 0x480);  // edt1
}

void CALLBACK FindDialogAndAct(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowA("#32770", kOpenListTitle);
    if (dialog == nullptr || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, id);
    onDialogShown(dialog);
}

std::string RunDialog(DWORD flags, std::function<void(HWND)> action) {
    onDialogShown = std::move(action);
    UINT_PTR timer = SetTimer(nullptr, 0, 50, FindDialogAndAct);
    struct KillOnExit {
        UINT_PTR timer;
        ~KillOnExit() { KillTimer(nullptr, timer); }
    } killOnExit{timer};
    return ShowOpenFileDialog({kOpenListTitle, kOpenListFilter, flags});
}

void TypeAndOpen(HWND dialog, const std::string& text) {
    HWND field = FileNameField(dialog);
    for (char c : text) PostMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

// The dialog (and the test) make the tree the current folder; a process's current folder cannot
// be removed, so it is given back before the tree goes.
class OpenFileDialogTest : public TempTree {
  protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, savedFolder_);
        TempTree::SetUp();
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedFolder_);
        TempTree::TearDown();
    }

  private:
    char savedFolder_[MAX_PATH] = "";
};

TEST_F(OpenFileDialogTest, AnswersOnePathSeveralNamesOrNothing) {
    TempTree::WriteBytes(root + "\\a.txt", "a");
    TempTree::WriteBytes(root + "\\b.txt", "b");
    const DWORD flags = 0x280201;

    EXPECT_EQ(RunDialog(flags, [&](HWND d) { TypeAndOpen(d, root + "\\a.txt"); }), root + "\\a.txt");

    // Several names typed in quotes: the folder, then each name, NUL-separated.
    std::string several = RunDialog(flags, [&](HWND d) {
        SetCurrentDirectoryA(root.c_str());
        TypeAndOpen(d, root + "\\\"a.txt\" \"b.txt\"");
    });
    std::string expected = root + std::string(1, '\0') + "a.txt" + std::string(1, '\0') + "b.txt";
    if (several != expected) {
        // Some dialogs want the folder chosen first and the quoted names alone.
        several = RunDialog(flags, [&](HWND d) { TypeAndOpen(d, "\"a.txt\" \"b.txt\""); });
    }
    EXPECT_EQ(several, expected);

    EXPECT_EQ(RunDialog(flags, [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }), "") << "Cancel";
}

// Not tested here: a selection too long for the buffer. Windows then fails the dialog with
// FNERR_BUFFERTOOSMALL, which ShowOpenFileDialog turns into a Failure; Wine instead cuts the
// selection short without an error, so under Wine there is no failure to observe.

}  // namespace

// page_driver <title part> <seconds> <text part> [<button>]: waits for a shown top-level window
// whose title holds <title part> and in which a shown control's text holds <text part>, prints the
// texts of its shown controls one a line (a check box as "[x] text" or "[ ] text"), and then
// clicks the button whose text is exactly <button>, if one is given. Exits 1 when no such window
// appears in time (printing the texts of the last window it saw) or the button is not there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Search {
    const char* titlePart;
    HWND found = nullptr;
};

std::string TextOf(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK FindTopLevel(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!IsWindowVisible(window) || TextOf(window).find(search->titlePart) == std::string::npos) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectShown(HWND window, LPARAM data) {
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

std::vector<HWND> ShownControls(HWND top) {
    std::vector<HWND> controls;
    EnumChildWindows(top, CollectShown, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

bool IsCheckBox(HWND control) {
    char kind[32] = "";
    GetClassNameA(control, kind, sizeof kind);
    if (lstrcmpiA(kind, "Button") != 0) return false;
    const LONG style = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return style == BS_CHECKBOX || style == BS_AUTOCHECKBOX;
}

void Print(HWND top) {
    for (HWND control : ShownControls(top)) {
        std::string text = TextOf(control);
        if (text.empty()) continue;
        if (IsCheckBox(control))
            text = (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "[x] " : "[ ] ") + text;
        std::printf("%s\n", text.c_str());
    }
}

bool Holds(HWND top, const char* textPart) {
    for (HWND control : ShownControls(top))
        if (TextOf(control).find(textPart) != std::string::npos) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(std::atoi(argv[2])) * 1000;
    HWND seen = nullptr;
    for (;;) {
        Search search{argv[1]};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) seen = search.found;
        if (search.found && Holds(search.found, argv[3])) break;
        if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            if (seen && IsWindow(seen)) Print(seen);
            return 1;
        }
        Sleep(250);
    }
    Print(seen);
    std::fflush(stdout);
    if (argc == 4) return 0;
    for (HWND control : ShownControls(seen)) {
        if (TextOf(control) != argv[4]) continue;
        // The click as the button tells its dialog of it: BM_CLICK may be lost on a dialog that is
        // not the active window, and this one belongs to another program.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                            reinterpret_cast<LPARAM>(control), SMTO_NORMAL, 5000, &ignored);
        return 0;
    }
    return 1;
}

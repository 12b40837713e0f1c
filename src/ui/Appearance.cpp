#include "Appearance.h"

#include "resource.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "Handles.h"
#include "UserTexts.h"

namespace {
std::string& Title() {
    static std::string title = kProductName;
    return title;
}

// A directory listing that accepts only ordinary files (no folder, hidden or system entry).
bool OrdinaryFileListed(const std::string& path) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle find{FindFirstFileA(path.c_str(), &found)};
    if (!find) return false;
    do {
        if ((found.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0)
            return true;
    } while (FindNextFileA(find.get(), &found));
    return false;
}
}  // namespace

const std::string& ApplicationTitle() {
    return Title();
}

std::string CutApplicationTitle(std::string name) {
    do {
        size_t space = name.rfind(' ');
        if (space == std::string::npos) break;
        name.erase(space);
    } while (name.size() > 40);
    return name;
}

void SetApplicationTitle() {
    Title() = CutApplicationTitle(kProductName);
}

bool TakesButtonFaceColour(HWND control) {
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0) return true;
    if (lstrcmpiA(className, "Button") != 0) return false;
    switch (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_GROUPBOX:
            return true;
        default:
            return false;
    }
}

void ApplyButtonFaceColours(HWND window, std::span<Control* const> controls) {
    SetClassLongPtrA(window, GCLP_HBRBACKGROUND, static_cast<LONG_PTR>(COLOR_BTNFACE + 1));
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (Control* control : controls)
        if (control != nullptr && control->hwnd != nullptr && TakesButtonFaceColour(control->hwnd))
            control->SetBackColor(face);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ApplySkin(HWND window, std::span<Control* const> controls) {
    if (!OrdinaryFileListed(ProgramFolderFile(kSkinFileName))) return;
    ApplyButtonFaceColours(window, controls);
}

void LoadHandPointer(HCURSOR& pointer) {
    std::string path = ProgramFolderFile(kHandPointerFileName);
    if (!FileExists(path)) return;
    SetLastError(ERROR_SUCCESS);
    HCURSOR loaded = LoadCursorFromFileA(path.c_str());
    if (loaded == nullptr) {
        DWORD error = GetLastError();
        if (error != ERROR_SUCCESS) ThrowWin32Error(error);
        throw Failure(kInvalidPicture);
    }
    pointer = loaded;
}

HICON ProgramIcon(bool small) {
    int width = GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    int height = GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM_ICON),
                                         IMAGE_ICON, width, height, LR_SHARED));
}

void SetProgramIcon(HWND window) {
    HICON large = ProgramIcon(false);
    if (large != nullptr) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    // Each icon sent costs the window system a fresh copy of the window's icons, so the small
    // one is sent only when the class does not already give it.
    HICON smallIcon = ProgramIcon(true);
    if (smallIcon != nullptr && reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICONSM)) != smallIcon)
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

// The start-up benchmark's second yardstick: a window with the main window's face and nothing
// more. It loads the common controls as the program does, and makes the same window, fonts and
// controls from the same layout; it reads no settings and runs none of the program's start-up.
// Parvalisk's start-up less this one's is what the program itself adds before its window shows.
#include <windows.h>
#include <commctrl.h>

#include "MainWindowLayout.h"
#include "WindowLayout.h"
#include "YardstickWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    yardstick::RegisterPlainClass(instance, "ParvaliskControlsWindow");
    const RECT place =
        CentredWindowRect(kMainWindowClientWidthTwips, kMainWindowClientHeightTwips, kMainWindowStyle);
    HWND window = CreateWindowExA(0, "ParvaliskControlsWindow", "Controls Window", kMainWindowStyle,
                                  place.left, place.top, place.right - place.left, place.bottom - place.top,
                                  nullptr, nullptr, instance, nullptr);
    const int dpi = ScreenDpi();
    HFONT textFont = ArialBold(kMainWindowTextPoints, dpi);
    HFONT buttonFont = ArialBold(kMainWindowButtonPoints, dpi);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(textFont), FALSE);
    BuildLayout(window, kMainWindowLayout, {textFont, buttonFont});
    const int exitCode = yardstick::ShowAndRun(window);
    DeleteObject(textFont);
    DeleteObject(buttonFont);
    return exitCode;
}

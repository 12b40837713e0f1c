#include "WindowLayout.h"

#include "Handles.h"

int ScreenDpi() {
    // The screen's DPI changes only with a new sign-in, so one reading serves the whole run.
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        ScopeExit release([&] { ReleaseDC(nullptr, screen); });
        int read = GetDeviceCaps(screen, LOGPIXELSY);
        return read > 0 ? read : 96;
    }();
    return dpi;
}

HFONT ArialBold(int hundredthsOfPoint, int dpi) {
    return CreateFontA(-MulDiv(hundredthsOfPoint, dpi, 7200), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "Arial");
}

RECT CentredWindowRect(int clientWidthTwips, int clientHeightTwips, DWORD style) {
    int dpi = ScreenDpi();
    RECT frame{0, 0, TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;
    return RECT{x, y, x + width, y + height};
}

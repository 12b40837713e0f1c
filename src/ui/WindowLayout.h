#pragma once
// Measures shared by the program's windows: layouts are written in twips (15 per pixel at 96
// DPI) and converted with the screen's DPI; text is Arial bold.

#include <windows.h>

int ScreenDpi();
inline int TwipsToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}
// Arial bold at a size given in hundredths of a point (900 = 9 pt, 1125 = 11.25 pt).
HFONT ArialBold(int hundredthsOfPoint, int dpi);
// The outer rectangle of a window of this style whose client area has the given size in twips,
// centred on the screen's work area.
RECT CentredWindowRect(int clientWidthTwips, int clientHeightTwips, DWORD style);

#include "FramePainting.h"

#include <commctrl.h>

#include <string>

namespace {

void PaintFrame(HWND window, HDC dc, const Control& frame) {
    RECT area;
    GetClientRect(window, &area);
    HBRUSH brush = frame.BackBrush() != nullptr ? frame.BackBrush() : GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &area, brush);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    HGDIOBJ previousFont = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    RECT edge = area;
    edge.top += metrics.tmHeight / 2;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    std::string caption = frame.Caption();
    if (!caption.empty()) {
        SIZE extent{};
        GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        RECT label{6, 0, 6 + extent.cx + 4, metrics.tmHeight};
        FillRect(dc, &label, brush);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        TextOutA(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
    }
    SelectObject(dc, previousFont);
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    const Control& frame = *reinterpret_cast<const Control*>(data);
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            PaintFrame(window, dc, frame);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintFrame(window, reinterpret_cast<HDC>(wp), frame);
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, FrameWindowProc, 0);
            break;
    }
    return DefSubclassProc(window, msg, wp, lp);
}

}  // namespace

void PaintFrameWhole(Control& frame) {
    SetWindowSubclass(frame.hwnd, FrameWindowProc, 0, reinterpret_cast<DWORD_PTR>(&frame));
}

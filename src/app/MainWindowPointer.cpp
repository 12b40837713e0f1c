// The main window's pointer: the hand over its buttons, the hourglass while a list loads, and the
// list's tooltip, made when the pointer first comes over the list.
#include "MainWindow.h"
#include "UserTexts.h"

#include <commctrl.h>

namespace {}  // namespace

void MainWindow::SetPointer(Pointer pointer) {
    pointer_ = pointer;
    if (hwnd_ == nullptr) return;
    POINT at;
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under == hwnd_ || IsChild(hwnd_, under))
        SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void MainWindow::AddListToolTip(HWND list) {
    if (look_.listToolTip != nullptr || list == nullptr) return;
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (tip == nullptr) return;
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = const_cast<char*>(kListToolTip);
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 400);
    look_.listToolTip = tip;
}

bool MainWindow::OnSetCursor(HWND over) {
    // The list's tooltip is made when the pointer first comes over the list, not at start-up.
    if (over == websiteList_.hwnd) AddListToolTip(over);
    const Control* buttons[] = {&controls_.helpButton,        &controls_.startStopButton,
                                &controls_.clearListButton,   &controls_.loadFromFileButton,
                                &controls_.loadSamplesButton, &controls_.addWebsiteButton};
    bool overButton = false;
    for (const Control* button : buttons) overButton = overButton || button->hwnd == over;
    if (overButton)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::PushButton);
    else if (over == hwnd_ || over == websiteList_.hwnd || over == controls_.passwordField.hwnd ||
             over == controls_.optionsFrame.hwnd || over == controls_.passwordFrame.hwnd)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::Surface);
    return ShowPointer(pointer_, look_.handPointer.get());
}

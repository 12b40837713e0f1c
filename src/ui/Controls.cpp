#include "Controls.h"

std::string Control::Caption() const {
    int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(got));
    return text;
}

void Control::SetCaption(const std::string& text) {
    SetWindowTextA(hwnd, text.c_str());
}

bool Control::Visible() const {
    return (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::SetVisible(bool visible) {
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

void Control::SetBackColor(COLORREF colour) {
    brush_.reset();
    backColor_ = colour;
    if (colour != CLR_INVALID) brush_.reset(CreateSolidBrush(colour));
    if (hwnd != nullptr) InvalidateRect(hwnd, nullptr, TRUE);
}

int CheckBox::Value() const {
    return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::SetValue(int value) {
    int normalized = value == 1 ? 1 : 0;
    if (normalized == Value()) return;
    SendMessageA(hwnd, BM_SETCHECK, normalized ? BST_CHECKED : BST_UNCHECKED, 0);
    if (onClick) onClick();
}

LRESULT ColourControl(HWND window, UINT msg, HDC dc, HWND control, std::span<const Control* const> controls) {
    for (const Control* c : controls) {
        if (c->hwnd == control && c->BackBrush() != nullptr) {
            SetBkColor(dc, c->BackColor());
            return reinterpret_cast<LRESULT>(c->BackBrush());
        }
    }
    return DefWindowProcA(window, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

#include "LayoutBuilder.h"

#include <commctrl.h>

#include "WindowLayout.h"

namespace {

struct ControlClass {
    const char* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
            return {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::DefaultButton:
            return {"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0};
        case ControlKind::CheckBox:
            return {"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case ControlKind::Frame:
            return {"BUTTON", BS_GROUPBOX | WS_CLIPSIBLINGS, 0};
        case ControlKind::Label:
            return {"STATIC", SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0};
        case ControlKind::TextField:
            return {"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::PasswordField:
            return {"EDIT", ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::ListView:
            return {WC_LISTVIEWA, LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                    WS_EX_CLIENTEDGE};
        case ControlKind::DropDownList:
            return {"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    }
    return {"STATIC", 0, 0};
}

bool IsButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefaultButton;
}

void Create(HWND window, const LayoutRow& row, std::span<const LayoutRow> rows, const LayoutFonts& fonts,
            int dpi) {
    int left = row.left, top = row.top;
    if (row.frameId != 0) {
        for (const LayoutRow& frame : rows)
            if (frame.id == row.frameId) left += frame.left, top += frame.top;
    }
    ControlClass type = ClassOf(row.kind);
    HWND child = CreateWindowExA(
        type.exStyle, type.name, row.caption, WS_CHILD | WS_VISIBLE | type.style, TwipsToPixels(left, dpi),
        TwipsToPixels(top, dpi), TwipsToPixels(row.width, dpi), TwipsToPixels(row.height, dpi), window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), GetModuleHandleA(nullptr), nullptr);
    if (child == nullptr) return;
    if (row.kind == ControlKind::PasswordField) {
        SendMessageA(child, EM_SETPASSWORDCHAR, '*', 0);
        SendMessageA(child, EM_LIMITTEXT, kPasswordFieldMaxLength, 0);
    }
    if (row.kind == ControlKind::ListView) ListView_SetExtendedListViewStyle(child, LVS_EX_FULLROWSELECT);
    HFONT font = IsButton(row.kind) ? fonts.buttons : fonts.text;
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

}  // namespace

void BuildLayout(HWND window, std::span<const LayoutRow> rows, const LayoutFonts& fonts) {
    const int dpi = ScreenDpi();
    for (const LayoutRow& row : rows)
        if (row.kind != ControlKind::Frame) Create(window, row, rows, fonts, dpi);
    for (const LayoutRow& row : rows)
        if (row.kind == ControlKind::Frame) Create(window, row, rows, fonts, dpi);
}

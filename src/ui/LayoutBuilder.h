#pragma once
// The one layout builder every window uses: a table of controls in twips, converted once with
// the screen's DPI.

#include <windows.h>

#include <span>

enum class ControlKind {
    PushButton,
    DefaultButton,
    CheckBox,
    Frame,
    Label,
    TextField,
    PasswordField,
    ListView,
    DropDownList  // a combo box that only chooses; its height includes the open list
};

// The longest text a password field takes from the keyboard or a paste. Hashing a password
// costs time in proportion to its length, so an entry of a million characters would hold the
// program up for most of a minute; a real password is far shorter.
inline constexpr int kPasswordFieldMaxLength = 256;

struct LayoutRow {
    ControlKind kind;
    int id;
    const char* caption;
    int left, top, width, height;  // twips; a control inside a frame is placed relative to it
    int frameId = 0;               // the frame the control lies in (0: none)
};

struct LayoutFonts {
    HFONT text;     // every control but the push buttons
    HFONT buttons;  // the push buttons
};

// Creates the table's controls as visible children of the window, in the table's order, which is
// the tab order. Frames are made last: a new control goes below those made before it, so a
// frame's fill never covers the controls inside it, and frames take no focus.
void BuildLayout(HWND window, std::span<const LayoutRow> rows, const LayoutFonts& fonts);

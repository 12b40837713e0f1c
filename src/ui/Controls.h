#pragma once
// Thin wrappers over the child windows of the program's windows, with the few properties the
// event procedures use: caption, visibility, colour and, for check boxes, the value.

#include <windows.h>

#include <functional>
#include <span>
#include <string>

#include "Handles.h"

class Control {
  public:
    HWND hwnd = nullptr;
    int id = 0;

    std::string Caption() const;
    void SetCaption(const std::string& text);
    bool Visible() const;
    void SetVisible(bool visible);

    // Background colour for WM_CTLCOLOR*: CLR_INVALID keeps the system's.
    COLORREF BackColor() const { return backColor_; }
    void SetBackColor(COLORREF colour);
    HBRUSH BackBrush() const { return brush_.get(); }

    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

  private:
    COLORREF backColor_ = CLR_INVALID;
    UniqueBrush brush_;
};

// A check box whose click handling runs whenever its value changes, whether the user clicked it
// or the program set the value.
class CheckBox : public Control {
  public:
    int Value() const;         // 0 unchecked, 1 checked
    void SetValue(int value);  // runs onClick when the value changes
    std::function<void()> onClick;
};

// Answers WM_CTLCOLORSTATIC or WM_CTLCOLORBTN: a control among these with a colour of its own is
// painted on it; any other control gets the system's colours.
LRESULT ColourControl(HWND window, UINT msg, HDC dc, HWND control, std::span<const Control* const> controls);

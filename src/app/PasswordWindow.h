#pragma once
// Form2, the password window "Enter Password" that stands between the tray icon and the main
// window while the program hides in the notification area.
//
// The object lives as long as the main window; its window is loaded when the tray icon asks for
// it and unloaded by OK, Cancel, its close box or the close of the program. Each loading makes
// fresh controls, so every opening starts with an empty field. Unloading only destroys the
// window, never the object, so a procedure of this window that is still running (its message
// box open while the program closes) never finds itself deleted.

#include <windows.h>

#include "ui/WindowProc.h"
#include "app/Form1.h"
#include "ui/Controls.h"

inline constexpr char kPasswordWindowClassName[] = "ParvaliskPasswordWindow";
inline constexpr char kPasswordWindowCaption[] = "Enter Password";
inline constexpr char kInvalidPasswordMessage[] = "Invalid password entered.";

// Control identifiers of the password window. OK and Cancel carry the dialog identifiers, so
// Enter in the field means OK and Escape means Cancel.
enum Form2ControlId : int {
    kIdForm2PushButton2 = IDOK,
    kIdForm2PushButton1 = IDCANCEL,
    kIdForm2Frame2 = 2001,
    kIdForm2TxtPassword,
};

class Form2 {
public:
    explicit Form2(Form1& owner);
    ~Form2();
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool Loaded() const { return hwnd_ != nullptr; }

    // Loads the window when it is not loaded (with an empty field), or shows the loaded one
    // again, and brings it to the front. Not modal, without owner.
    void Show();
    // Closes and unloads the window. Nothing else changes.
    void Unload();

    Control Frame2, txtPassword, PushButton1, PushButton2;
    int MousePointer = kPointerDefault;
    HCURSOR HandPointer = nullptr;

    // ---- event procedures ---------------------------------------------------------------
    void Form_Load();
    void PushButton2_Click();  // OK
    void PushButton1_Click();  // Cancel

private:
    friend LRESULT CALLBACK ForwardingWindowProc<Form2>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateWindowAndControls();
    void OnCommand(int id, int code);
    bool OnSetCursor(HWND over);
    LRESULT OnControlColour(UINT msg, HDC dc, HWND control);
    void ForgetWindow();

    Form1& main_;
    HWND hwnd_ = nullptr;
    HFONT windowFont_ = nullptr;
    HFONT buttonFont_ = nullptr;
    HCURSOR ownedPointer_ = nullptr;
};

#pragma once
// The password window "Enter Password" that stands between the tray icon and the main window
// while the program hides in the notification area.
//
// The object lives as long as the main window; its window is loaded when the tray icon asks for
// it and unloaded by OK, Cancel, its close box or the close of the program. Each loading makes
// fresh controls, so every opening starts with an empty field. Unloading only destroys the
// window, never the object, so a procedure of this window that is still running (its message
// box open while the program closes) never finds itself deleted.

#include <windows.h>

#include <array>
#include <utility>

#include "Controls.h"
#include "Handles.h"
#include "MainWindow.h"
#include "Pointer.h"
#include "WindowProc.h"
#include "UserTexts.h"

inline constexpr char kPasswordWindowClassName[] = "ParvaliskPasswordWindow";

// Control identifiers of the password window. OK and Cancel carry the dialog identifiers, so
// Enter in the field means OK and Escape means Cancel.
enum PasswordWindowControlId : int {
    kIdPasswordOkButton = IDOK,
    kIdPasswordCancelButton = IDCANCEL,
    kIdPasswordWindowFrame = 2001,
    kIdPasswordWindowField,
};

// Wrong tries in a row that OK takes without a wait; from the next one on, each wrong try makes
// OK wait twice as long as the one before, from the first wait up to the longest.
inline constexpr int kWrongTriesWithoutWait = 2;
inline constexpr DWORD kFirstOkWaitMs = 1000;
inline constexpr DWORD kLongestOkWaitMs = 30000;

// How long OK waits after this many wrong tries in a row (0: no wait).
DWORD OkWaitAfterWrongTries(int wrongTriesInARow);

class PasswordWindow {
  public:
    explicit PasswordWindow(MainWindow& main);
    ~PasswordWindow();
    PasswordWindow(const PasswordWindow&) = delete;
    PasswordWindow& operator=(const PasswordWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool Loaded() const { return hwnd_ != nullptr; }

    // Loads the window when it is not loaded (with an empty field), or shows the loaded one
    // again, and brings it to the front. Not modal, without owner.
    void Show();
    // Closes and unloads the window. Nothing else changes.
    void Unload();

    // The control with this identifier (kIdPasswordWindowFrame ... kIdPasswordCancelButton), whose
    // window is there while this window is loaded. Throws std::out_of_range for any other.
    const Control& ControlById(int id) const;
    Pointer PointerState() const { return pointer_; }
    HCURSOR HandPointer() const { return handPointer_; }

  private:
    friend LRESULT CALLBACK ForwardingWindowProc<PasswordWindow>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateWindowAndControls();
    // The window's look, at each loading: colours, icon, hand pointer.
    void ApplyLook();
    void OnCommand(int id, int code);
    bool OnSetCursor(HWND over);
    void ForgetWindow();
    void OnOkClicked();
    void OnCancelClicked();
    // A wrong try: counted, and from the third in a row on OK waits before it takes another.
    void CountWrongTry();
    // True while OK takes no try. Every way to OK asks this, not only the button's state: a
    // posted command or BM_CLICK, or Enter through the dialog keys, reaches OK disabled or not.
    bool OkWaiting() const;
    // Disables OK while it waits, with the timer that enables it again; enables it otherwise.
    void ShowOkWait();
    void OnOkWaitTimer();

    MainWindow& main_;
    HWND hwnd_ = nullptr;
    Control frame_, passwordField_, cancelButton_, okButton_;
    // Every control with its identifier: the one table the controls are found by.
    const std::array<std::pair<Control*, int>, 4> controls_{{
        {&frame_, kIdPasswordWindowFrame},
        {&passwordField_, kIdPasswordWindowField},
        {&okButton_, kIdPasswordOkButton},
        {&cancelButton_, kIdPasswordCancelButton},
    }};
    Pointer pointer_ = Pointer::Default;
    HCURSOR handPointer_ = nullptr;
    UniqueFont windowFont_, buttonFont_;
    UniqueCursor ownedPointer_;
    // Kept in the object, not the window: closing and opening the window again neither forgets
    // the wrong tries nor ends a wait.
    int wrongTriesInARow_ = 0;
    ULONGLONG okWaitEnds_ = 0;  // GetTickCount64() from which OK takes a try again
};

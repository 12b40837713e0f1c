#pragma once
// The tray icon: puts one icon into the notification area, reports mouse actions on it as events
// and shows a balloon above it. The control has a small window of its own; while the icon is
// shown, a subclass of that window (TrayCallbackProc) receives the shell's callback message and
// passes every message on. The control also
// watches the top-level window that holds it for the taskbar's broadcast.

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <functional>
#include <string>

#include "ShellNotifications.h"

inline constexpr UINT kTrayCallbackMessage = WM_USER + 0x65;
inline constexpr UINT kTrayIconId = 0;

// The record goes to the shell in its 488-byte form: the layout that ends with dwInfoFlags, which
// every shell since balloons exist understands.
inline constexpr DWORD kNotifyIconRecordSize = 488;
static_assert(offsetof(NOTIFYICONDATAA, dwInfoFlags) + sizeof(DWORD) == kNotifyIconRecordSize);

// The longest seconds value whose milliseconds still fit a 32-bit signed integer.
inline constexpr long kMaxBalloonSeconds = 2147483;

// The control's window is this many twips wide and high, whatever its parent asks.
inline constexpr int kTrayControlTwips = 510;

// The message the shell broadcasts to every top-level window when the taskbar is (re)created.
UINT TaskbarCreatedMessage();

class TrayIcon {
  public:
    // Every record the control gives the shell goes to `send`: for the program SendToShellInOrder,
    // which hands the records to Shell_NotifyIconA from a thread of its own, in order.
    explicit TrayIcon(ShellNotifyIconFunction send = &SendToShellInOrder) : send_(send) {}
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon();  // removes the icon if it is shown, and waits until the shell has taken that

    // Creates the control's own window as a hidden child of the parent (the control is then live)
    // and starts watching the parent's top-level window. Until then, setting InTray only
    // remembers the value. Throws Failure when the window cannot be made or watched.
    void Create(HWND parent);
    HWND Window() const { return window_; }

    bool InTray() const { return inTray_; }
    void SetInTray(bool value);
    HICON Icon() const { return icon_; }
    void SetIcon(HICON icon);
    const std::string& Tip() const { return tip_; }
    void SetTip(const std::string& tip);

    // Shows a balloon and returns when it is gone or `seconds` have passed (pumping messages
    // meanwhile). Throws Failure (overflow) when seconds * 1000 does not fit 32 bits.
    void ShowBalloon(const std::string& text, const std::string& title, long seconds, bool once);

    // Events: the button is 1 (left) or 2 (right); id is the icon identifier.
    std::function<void(int id)> MouseMove;
    std::function<void(int button, int id)> MouseDown;
    std::function<void(int button, int id)> MouseUp;
    std::function<void(int button, int id)> MouseDblClick;

    // Called by TrayCallbackProc for the callback message: code is lParam, id is wParam.
    void HandleTrayMessage(UINT code, UINT id);

  private:
    friend LRESULT CALLBACK TrayCallbackProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    friend LRESULT CALLBACK TaskbarWatchProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void AddTrayIcon(HWND window, UINT id, const std::string& tip, HICON icon);
    void RemoveTrayIcon(HWND window, UINT id);
    // The shell has forgotten its icons (Explorer restarted): put ours back as it was.
    void TaskbarCreated();

    ShellNotifyIconFunction send_;
    HWND window_ = nullptr;
    // The top-level window that holds the control: it hears the taskbar's broadcast, which child
    // windows never get, and passes it to the control through a subclass.
    HWND host_ = nullptr;
    bool inTray_ = false;
    bool iconAdded_ = false;
    std::string tip_;
    HICON icon_ = nullptr;
    bool balloonUp_ = false;
    long onceCounter_ = 0;
};

// The subclass procedure on the control's own window while the icon is shown; its reference data
// is the control.
LRESULT CALLBACK TrayCallbackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR control);
// The subclass procedure on the control's top-level window (reacts to the taskbar's re-creation
// only); its reference data is the control.
LRESULT CALLBACK TaskbarWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR control);

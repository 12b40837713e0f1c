#pragma once
// The main window's lock. While the window hides in the tray it obeys nothing but its password:
// the window asks the lock first for every message, and the lock refuses what would reach past
// the password (a click, a command, a key or a text for the password field, a show from another
// program) until the accepted password unlocks it.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "Controls.h"
#include "PasswordHash.h"

class WindowLock {
  public:
    // `passwordField`: the window's password field, whose text the locked window keeps.
    // `askForPassword`: shows the password window, the one way back.
    WindowLock(Control& passwordField, std::function<void()> askForPassword);

    bool Locked() const { return locked_; }
    // Locks the window with the password field's text as it is now. The password typed to unlock
    // is forgotten: the next stop comes after the next unlock, which gives it again.
    void Lock();
    // The accepted password opens the window; `typedPassword` is held until it locks again.
    void Unlock(std::string_view typedPassword);

    // The password that lifts the block this window starts or stops: the one typed to unlock,
    // then each one the parent sets in the password field. Held only while the window is unlocked.
    const std::string& UnlockPassword() const { return unlockPassword_.Text(); }
    void HoldPassword(std::string_view text) { unlockPassword_.Hold(text); }

    // The door: true when the message is refused here and goes no further (the window answers
    // 0). Asked first for every message of the window; refuses nothing while it is unlocked.
    bool Refuses(UINT msg, WPARAM wp, LPARAM lp);

  private:
    // Text put into the hidden field by another program is no password: the field gets back what
    // it held when the window locked, and nothing is stored.
    void KeepLockedFieldText();

    Control& passwordField_;
    const std::function<void()> askForPassword_;
    bool locked_ = false;
    std::string lockedFieldText_;  // the password field's text when the window locked
    HeldPassword unlockPassword_;
};

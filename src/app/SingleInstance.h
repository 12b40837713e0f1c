#pragma once
// One copy of the program per Windows session. A second start hands over to the copy that runs
// (which opens its password window when it hides in the tray, or comes to the front when shown)
// and ends without touching anything: a second, visible window would otherwise let anyone past
// the password, lift the block by closing it, or replace the stored password.

#include <windows.h>

#include "Handles.h"

// The message a second start posts to the running copy's main window.
UINT SecondStartMessage();

// Holds the session's claim to be the running copy for the life of the process.
class SingleInstance {
  public:
    SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy already runs in this session.
    bool AnotherCopyRuns() const { return anotherCopyRuns_; }

    // Asks the running copy to come forward, waiting up to `milliseconds` for its main window when
    // it is still starting. True when the window was told; false when no running copy took it
    // (the name is held by another program, say), and this start is then the only copy.
    bool HandOver(DWORD milliseconds = 10000) const;

  private:
    UniqueKernelHandle mutex_;
    bool anotherCopyRuns_ = false;
};

// The main window while it waits for the blocking service: its events run, but no command is
// obeyed, and a close or a change of the hosts folder that comes meanwhile waits until it is done.
#include <utility>

#include "MainWindow.h"

void MainWindow::WhileServiceWorks(const std::function<void()>& work) {
    if (busy_.serviceWorking) {
        work();
        return;
    }
    busy_.serviceWorking = true;
    const Pointer before = pointer_;
    SetPointer(Pointer::Busy);
    {
        ScopeExit done([&] {
            busy_.serviceWorking = false;
            SetPointer(before);
        });
        work();
    }
    // A check of the hosts file that waited looks again itself.
    hostsWatch_.CheckHeldChange();
    if (std::exchange(busy_.closeHeld, false) && hwnd_ != nullptr) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

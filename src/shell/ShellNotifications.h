#pragma once
// Gives notification-area records to the shell from a thread of its own, in the order they come.
// Shell_NotifyIconA waits until the shell, another process, has taken the record, which takes a
// while when the shell is busy or still starting; the program's window never waits for that.

#include <windows.h>
#include <shellapi.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA record);

class ShellNotificationQueue {
  public:
    // The records go to `send` (Shell_NotifyIconA for the program's queue).
    explicit ShellNotificationQueue(ShellNotifyIconFunction send);
    ShellNotificationQueue(const ShellNotificationQueue&) = delete;
    ShellNotificationQueue& operator=(const ShellNotificationQueue&) = delete;
    ~ShellNotificationQueue();  // gives the shell what is still queued, then ends the thread

    // Queues a copy of the record and returns at once. Its icon handle must stay valid until
    // the shell has it (the program's tray icons are shared resources that always do). When no
    // thread can be had, the record is given to the shell here and now.
    void Send(DWORD message, const NOTIFYICONDATAA& record);

    // Returns when every record queued so far has been given to the shell. Messages that other
    // programs send to this thread's windows meanwhile are handled, so a shell that calls back
    // while it takes a record cannot leave the two waiting for each other.
    void Finish();

  private:
    struct Pending {
        DWORD message;
        NOTIFYICONDATAA record;
    };
    void GiveToShell();

    ShellNotifyIconFunction send_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<Pending> pending_;
    HANDLE idle_;  // set while nothing is queued or being given to the shell
    std::thread worker_;
    bool stopping_ = false;
};

// The program's queue, in front of Shell_NotifyIconA: queues the record and answers TRUE.
BOOL WINAPI SendToShellInOrder(DWORD message, PNOTIFYICONDATAA record);

// Waits until the program's queue has given every record to the shell.
void FinishShellNotifications();

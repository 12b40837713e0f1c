#pragma once
// Gives notification-area records to the shell from a thread of its own, in the order they come.
// Shell_NotifyIconA waits until the shell, another process, has taken the record, which takes a
// while when the shell is busy or still starting; the program's window never waits for that.
// Every wait for the shell has a bound, so a shell that never answers cannot keep the program
// from ending.

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <thread>

using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA record);

// How long Finish waits by default for the shell to take what is queued, and how long the end of
// a queue waits for its thread. A close waits for the shell at most twice through Finish (the
// session's end and the tray control's end) and once at the queue's end: the program ends within
// 10 s of its close whatever the shell does.
inline constexpr DWORD kShellNotificationsFinishBoundMs = 3000;
inline constexpr DWORD kShellQueueEndBoundMs = 2000;

class ShellNotificationQueue {
  public:
    // The records go to `send` (Shell_NotifyIconA for the program's queue).
    explicit ShellNotificationQueue(ShellNotifyIconFunction send);
    ShellNotificationQueue(const ShellNotificationQueue&) = delete;
    ShellNotificationQueue& operator=(const ShellNotificationQueue&) = delete;
    // Gives the shell what is still queued, then ends the thread, waiting for it at most
    // kShellQueueEndBoundMs. A thread still inside the shell then is left behind; it holds its own
    // share of the queue's state, so nothing it touches goes away with the queue.
    ~ShellNotificationQueue();

    // Queues a copy of the record and returns at once. Its icon handle must stay valid until
    // the shell has it (the program's tray icons are shared resources that always do). When no
    // thread can be had, the record is given to the shell here and now.
    void Send(DWORD message, const NOTIFYICONDATAA& record);

    // Returns true when every record queued so far has been given to the shell, false when
    // `boundMs` milliseconds passed first (the shell did not answer). Messages that other
    // programs send to this thread's windows meanwhile are handled, so a shell that calls back
    // while it takes a record cannot leave the two waiting for each other.
    bool Finish(DWORD boundMs = kShellNotificationsFinishBoundMs);

  private:
    struct Shared;  // what the queue and its thread both use
    static void GiveToShell(Shared& shared);

    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

// The program's queue, in front of Shell_NotifyIconA: queues the record and answers TRUE.
BOOL WINAPI SendToShellInOrder(DWORD message, PNOTIFYICONDATAA record);

// Waits until the program's queue has given every record to the shell, or at most `boundMs`.
void FinishShellNotifications(DWORD boundMs = kShellNotificationsFinishBoundMs);

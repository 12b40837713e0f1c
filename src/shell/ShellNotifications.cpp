#include "shell/ShellNotifications.h"

#include <system_error>

ShellNotificationQueue::ShellNotificationQueue(ShellNotifyIconFunction send)
    : send_(send), idle_(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}

ShellNotificationQueue::~ShellNotificationQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    if (worker_.joinable()) worker_.join();
    if (idle_ != nullptr) CloseHandle(idle_);
}

void ShellNotificationQueue::Send(DWORD message, const NOTIFYICONDATAA& record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bool haveThread = worker_.joinable();
        if (!haveThread) {
            try {
                worker_ = std::thread([this] { GiveToShell(); });
                haveThread = true;
            } catch (const std::system_error&) {
            }
        }
        if (haveThread && idle_ != nullptr) {
            pending_.push_back({message, record});
            ResetEvent(idle_);
            queued_.notify_one();
            return;
        }
    }
    // No thread (or no event to wait on): the shell gets it in this thread. Nothing can be
    // queued then, so the order still holds.
    NOTIFYICONDATAA copy = record;
    send_(message, &copy);
}

void ShellNotificationQueue::Finish() {
    if (idle_ == nullptr) return;
    while (MsgWaitForMultipleObjects(1, &idle_, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // handles sent messages
    }
}

void ShellNotificationQueue::GiveToShell() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return !pending_.empty() || stopping_; });
        if (pending_.empty()) return;
        Pending next = pending_.front();
        lock.unlock();
        send_(next.message, &next.record);
        lock.lock();
        pending_.pop_front();
        if (pending_.empty()) SetEvent(idle_);
    }
}

namespace {
ShellNotificationQueue& ProgramQueue() {
    static ShellNotificationQueue queue(&Shell_NotifyIconA);
    return queue;
}
}  // namespace

BOOL WINAPI SendToShellInOrder(DWORD message, PNOTIFYICONDATAA record) {
    ProgramQueue().Send(message, *record);
    return TRUE;
}

void FinishShellNotifications() {
    ProgramQueue().Finish();
}

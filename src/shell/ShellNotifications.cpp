#include "ShellNotifications.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>

#include "Handles.h"

struct ShellNotificationQueue::Shared {
    struct Pending {
        DWORD message;
        NOTIFYICONDATAA record;
    };

    explicit Shared(ShellNotifyIconFunction sendTo)
        : send(sendTo),
          idle(CreateEventA(nullptr, TRUE, TRUE, nullptr)),
          ended(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    ShellNotifyIconFunction send;
    std::mutex mutex;
    std::condition_variable queued;
    std::deque<Pending> pending;
    UniqueKernelHandle idle;   // set while nothing is queued or being given to the shell
    UniqueKernelHandle ended;  // set when the thread has given its last record
    bool stopping = false;
};

ShellNotificationQueue::ShellNotificationQueue(ShellNotifyIconFunction send)
    : shared_(std::make_shared<Shared>(send)) {}

ShellNotificationQueue::~ShellNotificationQueue() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->queued.notify_all();
    if (!worker_.joinable()) return;
    if (WaitForSingleObject(shared_->ended.get(), kShellQueueEndBoundMs) == WAIT_OBJECT_0) {
        worker_.join();  // it has given its last record and is returning
    } else {
        // The shell does not answer. Waiting longer could keep the program from ending; the
        // thread keeps the state it uses alive by itself and ends with the process.
        worker_.detach();
    }
}

void ShellNotificationQueue::Send(DWORD message, const NOTIFYICONDATAA& record) {
    Shared& shared = *shared_;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        bool haveThread = worker_.joinable();
        // Without its two events the thread could be neither waited for nor told apart from a
        // stuck one, so none is started then.
        if (!haveThread && shared.idle && shared.ended) {
            try {
                worker_ = std::thread([state = shared_] {
                    GiveToShell(*state);
                    SetEvent(state->ended.get());
                });
                haveThread = true;
            } catch (const std::system_error&) {
            }
        }
        if (haveThread) {
            shared.pending.push_back({message, record});
            ResetEvent(shared.idle.get());
            shared.queued.notify_one();
            return;
        }
    }
    // No thread: the shell gets it in this thread. Nothing can be queued then, so the order
    // still holds.
    NOTIFYICONDATAA copy = record;
    shared.send(message, &copy);
}

bool ShellNotificationQueue::Finish(DWORD boundMs) {
    HANDLE idle = shared_->idle.get();
    if (idle == nullptr) return true;  // no thread: everything went to the shell at once
    DWORD started = GetTickCount();
    for (;;) {
        DWORD passed = GetTickCount() - started;
        DWORD left = passed < boundMs ? boundMs - passed : 0;
        DWORD result = MsgWaitForMultipleObjects(1, &idle, FALSE, left, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;  // the time is up (or the wait itself failed)
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // handles sent messages
    }
}

void ShellNotificationQueue::GiveToShell(Shared& shared) {
    std::unique_lock<std::mutex> lock(shared.mutex);
    for (;;) {
        shared.queued.wait(lock, [&] { return !shared.pending.empty() || shared.stopping; });
        if (shared.pending.empty()) return;
        Shared::Pending next = shared.pending.front();
        lock.unlock();
        shared.send(next.message, &next.record);
        lock.lock();
        shared.pending.pop_front();
        if (shared.pending.empty()) SetEvent(shared.idle.get());
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

void FinishShellNotifications(DWORD boundMs) {
    ProgramQueue().Finish(boundMs);
}

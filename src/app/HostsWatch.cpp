// The watch on the hosts file while blocking is on: the folder's change notifications, the quiet
// time after a change, the put-back, and the minute in which the parent hears of it once.
#include "HostsWatch.h"

#include <cstring>
#include <utility>

#include "Failure.h"
#include "HostsBlocker.h"
#include "MessagePump.h"
#include "UserTexts.h"

namespace {

// A tool that resets the hosts file again and again gets the block back every time, but the
// parent hears of it at most once in this time.
constexpr ULONGLONG kNoticeIntervalMs = 60 * 1000;

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

template <class Handle>
void Unwatch(Handle& handle) {
    if (!handle) return;
    UnwatchHandle(handle.get());
    handle.reset();
}

// Makes `into` hold the entries of `from`, in order, in one block of characters: a list of a
// million entries is copied in two allocations.
void CopyEntries(const WebsiteList& from, WebsiteList& into) {
    into.Clear();
    size_t total = 0;
    for (std::string_view entry : from) total += entry.size();
    into.ReserveEntries(from.Count());
    char* room = into.ReserveRaw(total);
    size_t at = 0;
    for (std::string_view entry : from) {
        if (!entry.empty()) std::memcpy(room + at, entry.data(), entry.size());
        into.AppendStored(at, entry.size());
        at += entry.size();
    }
    into.CommitRaw(total);
}

}  // namespace

HostsWatch::HostsWatch(std::string hostsFilePath, Blocker& blocker, SystemAnswersAndActions& system,
                       HostsWatchOwner& owner)
    : hostsFilePath_(std::move(hostsFilePath)), blocker_(blocker), system_(system), owner_(owner) {}

HostsWatch::~HostsWatch() {
    Stop();
    if (guardedList_ != nullptr) guardedList_->CallBeforeNextChange(nullptr);
}

void HostsWatch::GuardWrittenBlock(WebsiteList& list) {
    writtenEntries_.Clear();
    guardedList_ = &list;
    writtenAreTheList_ = true;
    list.CallBeforeNextChange([this] {
        CopyEntries(*guardedList_, writtenEntries_);
        writtenAreTheList_ = false;
    });
}

void HostsWatch::ForgetWrittenBlock() {
    Stop();
    if (guardedList_ != nullptr) guardedList_->CallBeforeNextChange(nullptr);
    guardedList_ = nullptr;
    writtenAreTheList_ = false;
    writtenEntries_.Clear();
}

const WebsiteList& HostsWatch::WrittenEntries() const {
    return writtenAreTheList_ ? *guardedList_ : writtenEntries_;
}

void HostsWatch::Start() {
    // Only a block this run has written is guarded: after a refused start, or one without
    // administrator rights, there are no lines of the program's own to look for.
    if (watching_ || !GuardsWrittenBlock()) return;
    watching_ = true;
    removalTold_ = false;
    // The folder above tells when the hosts folder itself is renamed, deleted or made anew; the
    // watch then follows the hosts path to the folder that stands there now.
    hostsParentWatch_.reset(FindFirstChangeNotificationA(FolderOf(FolderOf(hostsFilePath_)).c_str(), FALSE,
                                                         FILE_NOTIFY_CHANGE_DIR_NAME));
    if (hostsParentWatch_) WatchHandle(hostsParentWatch_.get(), [this] { OnHostsParentFolderChanged(); });
    WatchHostsFolder();
}

void HostsWatch::WatchHostsFolder() {
    Unwatch(hostsWatch_);
    constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                               FILE_NOTIFY_CHANGE_LAST_WRITE;
    hostsWatch_.reset(FindFirstChangeNotificationA(FolderOf(hostsFilePath_).c_str(), FALSE, kChanges));
    // A folder that cannot be watched (or is gone for now) leaves the block as it was written; the
    // folder above still tells when one stands at the hosts path again.
    if (hostsWatch_) WatchHandle(hostsWatch_.get(), [this] { OnHostsFolderChanged(); });
}

void HostsWatch::Stop() {
    watching_ = false;
    Unwatch(hostsWatch_);
    Unwatch(hostsParentWatch_);
    Unwatch(noticeTimer_);
    if (settleTimerWindow_ != nullptr) KillTimer(settleTimerWindow_, reinterpret_cast<UINT_PTR>(this));
    settleTimerWindow_ = nullptr;
}

void HostsWatch::OnHostsFolderChanged() {
    if (!watching_) return;
    // Armed again first, so a change made while this one is handled is not missed.
    if (hostsWatch_) FindNextChangeNotification(hostsWatch_.get());
    CheckWrittenBlock();
}

void HostsWatch::OnHostsParentFolderChanged() {
    if (!watching_) return;
    FindNextChangeNotification(hostsParentWatch_.get());
    // The hosts folder may have been renamed away with a new one made in its place: a watch on
    // the old folder would follow it under its new name and see nothing of the hosts path.
    WatchHostsFolder();
    CheckWrittenBlock();
}

// A change is looked at as it comes, but a file that another program still holds open for writing
// is not what that program will leave: it is looked at again a while after, through a window timer
// (its message wakes every loop the program waits in, the tray balloon's too), set anew each time.
void HostsWatch::CheckWhenHostsSettled() {
    // A timer of no window would take an identifier of its own, which names no watch.
    settleTimerWindow_ = owner_.TimerWindow();
    if (settleTimerWindow_ == nullptr ||
        SetTimer(settleTimerWindow_, reinterpret_cast<UINT_PTR>(this), kHostsSettleMs, &OnSettleTimer) == 0) {
        settleTimerWindow_ = nullptr;
        CheckWrittenBlock();  // no timer to be had: looked at now
    }
}

void CALLBACK HostsWatch::OnSettleTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    // The timer's identifier is the watch that set it; Stop kills it before the watch goes.
    KillTimer(window, id);
    auto& watch = *reinterpret_cast<HostsWatch*>(id);
    watch.settleTimerWindow_ = nullptr;
    watch.CheckWrittenBlock();
}

void HostsWatch::CheckHeldChange() {
    if (!recheck_ || checking_) return;
    recheck_ = false;
    CheckWrittenBlock();
}

void HostsWatch::CheckWrittenBlock() {
    if (!watching_) return;
    if (checking_ || owner_.ServiceWorking()) {
        // The window waits for the service (this check's or a command's): looked at again once
        // that is done, so a change made meanwhile is not missed.
        recheck_ = true;
        return;
    }
    checking_ = true;
    ScopeExit done([&] { checking_ = false; });
    do {
        recheck_ = false;
        // Another program still writing the file: looked at once it is done.
        if (HostsFileHeldForWriting(hostsFilePath_)) {
            CheckWhenHostsSettled();
            return;
        }
        owner_.WhileServiceWorks([&] { CheckWrittenBlockNow(); });
    } while (recheck_ && watching_);
}

void HostsWatch::CheckWrittenBlockNow() {
    const ListedEntries written(WrittenEntries());
    bool holds = false;
    try {
        holds = blocker_.HoldsBlock(written);
    } catch (const Failure&) {
        // A file that cannot be read is handled below like a removal: the put-back says whether
        // the file can be had at all.
    }
    if (holds) {
        // The program's own write, an edit that kept every line, or a removal that the blocking
        // service put back before this look, which the parent is told of all the same.
        if (blocker_.PutBackElsewhereSinceAsked()) Tell(kRemovedBlockPutBack);
        removalTold_ = false;
        return;
    }
    const PutBackOutcome outcome = blocker_.PutBack(written);
    if (outcome == PutBackOutcome::Busy) {
        CheckWhenHostsSettled();
    } else if (outcome == PutBackOutcome::PutBack) {
        // Every put-back flushes, however often: an answer cached while the lines were gone would
        // otherwise outlive them.
        system_.FlushResolverCache();
        removalTold_ = false;
        Tell(kRemovedBlockPutBack);
    } else if (!removalTold_) {
        // Told once per removal; a put-back is tried at every change until it succeeds.
        removalTold_ = Tell(blocker_.LastDoneByService() ? kServiceCouldNotPutBack : kRemovedBlockNotPutBack);
    }
}

bool HostsWatch::Tell(const char* text) {
    const ULONGLONG now = GetTickCount64();
    if (toldAt_ && now - *toldAt_ < kNoticeIntervalMs) {
        // Held back. When the minute is over the hosts file is looked at again, so a block that
        // is gone by then is told, and the last word the parent had is never "put back" for a
        // block that is not.
        if (!noticeTimer_) {
            // Manual reset: the loop's wait must leave it signalled for the handler to see; the
            // handler then closes it.
            noticeTimer_.reset(CreateWaitableTimerA(nullptr, TRUE, nullptr));
            LARGE_INTEGER due;
            due.QuadPart = -static_cast<LONGLONG>(kNoticeIntervalMs - (now - *toldAt_)) * 10000;
            if (noticeTimer_ && SetWaitableTimer(noticeTimer_.get(), &due, 0, nullptr, nullptr, FALSE))
                WatchHandle(noticeTimer_.get(), [this] { OnNoticeTimeUp(); });
            else
                noticeTimer_.reset();
        }
        return false;
    }
    toldAt_ = now;
    owner_.Tell(text);
    return true;
}

void HostsWatch::OnNoticeTimeUp() {
    Unwatch(noticeTimer_);
    CheckWrittenBlock();
}

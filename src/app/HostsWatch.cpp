// The watch on the hosts file while blocking is on. Security tools, "cleanup" programs and a
// member of the family with administrator rights can rewrite the hosts file; the program notices
// through a change notification on the hosts folder that the message loop waits on together with
// its messages, and puts the block back. It guards the lines its start wrote, not the list as it
// is now: a change of the list reaches the hosts file only at the next start of blocking.
#include "Appearance.h"
#include "Failure.h"
#include "HostsBlocker.h"
#include "MainWindow.h"
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

}  // namespace

void MainWindow::StartWatchingHosts() {
    // Only a block this run has written is guarded: after a refused start, or one without
    // administrator rights, there are no lines of the program's own to look for.
    if (watching_ || !state_.blockWritten) return;
    watching_ = true;
    removalTold_ = false;
    // The folder above tells when the hosts folder itself is renamed, deleted or made anew; the
    // watch then follows the hosts path to the folder that stands there now.
    hostsParentWatch_.reset(FindFirstChangeNotificationA(FolderOf(FolderOf(hostsFilePath_)).c_str(), FALSE,
                                                         FILE_NOTIFY_CHANGE_DIR_NAME));
    if (hostsParentWatch_) WatchHandle(hostsParentWatch_.get(), [this] { OnHostsParentFolderChanged(); });
    WatchHostsFolder();
}

void MainWindow::WatchHostsFolder() {
    Unwatch(hostsWatch_);
    constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                               FILE_NOTIFY_CHANGE_LAST_WRITE;
    hostsWatch_.reset(FindFirstChangeNotificationA(FolderOf(hostsFilePath_).c_str(), FALSE, kChanges));
    // A folder that cannot be watched (or is gone for now) leaves the block as it was written; the
    // folder above still tells when one stands at the hosts path again.
    if (hostsWatch_) WatchHandle(hostsWatch_.get(), [this] { OnHostsFolderChanged(); });
}

void MainWindow::StopWatchingHosts() {
    watching_ = false;
    Unwatch(hostsWatch_);
    Unwatch(hostsParentWatch_);
    Unwatch(watchNoticeTimer_);
    KillTimer(hwnd_, kHostsSettleTimerId);
}

void MainWindow::OnHostsFolderChanged() {
    if (!watching_) return;
    // Armed again first, so a change made while this one is handled is not missed.
    if (hostsWatch_) FindNextChangeNotification(hostsWatch_.get());
    CheckWrittenBlock();
}

void MainWindow::OnHostsParentFolderChanged() {
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
void MainWindow::CheckWhenHostsSettled() {
    if (SetTimer(hwnd_, kHostsSettleTimerId, kHostsSettleMs, nullptr) == 0)
        CheckWrittenBlock();  // no timer to be had: looked at now
}

void MainWindow::OnHostsSettled() {
    KillTimer(hwnd_, kHostsSettleTimerId);
    CheckWrittenBlock();
}

void MainWindow::CheckWrittenBlock() {
    if (!watching_) return;
    if (checkingHosts_ || serviceWorking_) {
        // The window waits for the service (this check's or a command's): looked at again once
        // that is done, so a change made meanwhile is not missed.
        recheckHosts_ = true;
        return;
    }
    checkingHosts_ = true;
    ScopeExit done([&] { checkingHosts_ = false; });
    do {
        recheckHosts_ = false;
        // Another program still writing the file: looked at once it is done.
        if (HostsFileHeldForWriting(hostsFilePath_)) {
            CheckWhenHostsSettled();
            return;
        }
        WhileServiceWorks([&] { CheckWrittenBlockNow(); });
    } while (recheckHosts_ && watching_);
}

void MainWindow::CheckWrittenBlockNow() {
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
        if (blocker_.PutBackElsewhereSinceAsked()) TellFromWatch(kRemovedBlockPutBack);
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
        TellFromWatch(kRemovedBlockPutBack);
    } else if (!removalTold_) {
        // Told once per removal; a put-back is tried at every change until it succeeds.
        removalTold_ =
            TellFromWatch(blocker_.LastDoneByService() ? kServiceCouldNotPutBack : kRemovedBlockNotPutBack);
    }
}

bool MainWindow::TellFromWatch(const char* text) {
    const ULONGLONG now = GetTickCount64();
    if (watchToldAt_ && now - *watchToldAt_ < kNoticeIntervalMs) {
        // Held back. When the minute is over the hosts file is looked at again, so a block that
        // is gone by then is told, and the last word the parent had is never "put back" for a
        // block that is not.
        if (!watchNoticeTimer_) {
            // Manual reset: the loop's wait must leave it signalled for the handler to see; the
            // handler then closes it.
            watchNoticeTimer_.reset(CreateWaitableTimerA(nullptr, TRUE, nullptr));
            LARGE_INTEGER due;
            due.QuadPart = -static_cast<LONGLONG>(kNoticeIntervalMs - (now - *watchToldAt_)) * 10000;
            if (watchNoticeTimer_ &&
                SetWaitableTimer(watchNoticeTimer_.get(), &due, 0, nullptr, nullptr, FALSE))
                WatchHandle(watchNoticeTimer_.get(), [this] { OnWatchNoticeTimeUp(); });
            else
                watchNoticeTimer_.reset();
        }
        return false;
    }
    watchToldAt_ = now;
    Tell(text);
    return true;
}

void MainWindow::OnWatchNoticeTimeUp() {
    Unwatch(watchNoticeTimer_);
    CheckWrittenBlock();
}

void MainWindow::Tell(const std::string& text) {
    if (state_.hiddenInTray) {
        // No time given: the balloon stays as long as the shell keeps it, and nothing waits.
        trayIcon_.ShowBalloon(text, kProductName, 0, false);
    } else {
        ShowNotice(text);
    }
}

// The watch on the hosts file while blocking is on. Security tools, "cleanup" programs and a
// member of the family with administrator rights can rewrite the hosts file; the program notices
// through a change notification on the hosts folder that the message loop waits on together with
// its messages, and puts the block back.
#include "Appearance.h"
#include "Failure.h"
#include "HostsBlocker.h"
#include "MainWindow.h"
#include "MessagePump.h"

namespace {

constexpr char kBlockPutBack[] = "Another program removed the block. It has been put back.";
constexpr char kBlockRemovedNotAdministrator[] =
    "Another program removed the block. Start Parvalisk as administrator to put it back.";
constexpr char kBlockNotPutBack[] =
    "Another program removed the block, and it could not be put back. Start Parvalisk as administrator.";

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

void MainWindow::StartWatchingHosts() {
    if (hostsWatch_) return;
    removalTold_ = false;
    constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                               FILE_NOTIFY_CHANGE_LAST_WRITE;
    hostsWatch_.reset(FindFirstChangeNotificationA(FolderOf(hostsFilePath_).c_str(), FALSE, kChanges));
    // A folder that cannot be watched leaves the block as it always was: written at the start.
    if (hostsWatch_) WatchHandle(hostsWatch_.get(), [this] { OnHostsFolderChanged(); });
}

void MainWindow::StopWatchingHosts() {
    if (!hostsWatch_) return;
    UnwatchHandle(hostsWatch_.get());
    hostsWatch_.reset();
}

void MainWindow::OnHostsFolderChanged() {
    if (!hostsWatch_ || checkingHosts_) return;
    // Armed again first, so a change made while this one is handled is not missed.
    FindNextChangeNotification(hostsWatch_.get());
    checkingHosts_ = true;
    ScopeExit done([&] { checkingHosts_ = false; });
    const BlockEntries entries = [&](BlockLineWriter& lines) { lines.AddAll(websiteList_); };
    bool holds = false;
    try {
        holds = HostsHoldBlock(hostsFilePath_, entries);
    } catch (const Failure&) {
        // A file that cannot be read is handled below like a removal: the put-back says whether
        // the file can be had at all.
    }
    if (holds) {
        removalTold_ = false;  // the program's own write, or an edit that kept every line
        return;
    }
    // Told once per removal; a put-back is tried at every change until it succeeds.
    if (!state_.userIsAdmin) {
        if (!removalTold_) Tell(kBlockRemovedNotAdministrator);
        removalTold_ = true;
        return;
    }
    if (PutBackBlock({hostsFilePath_, state_.dataFolder, &ownership_}, entries) == PutBackOutcome::PutBack) {
        system_.FlushResolverCache();
        removalTold_ = false;
        Tell(kBlockPutBack);
    } else {
        if (!removalTold_) Tell(kBlockNotPutBack);
        removalTold_ = true;
    }
}

void MainWindow::Tell(const std::string& text) {
    if (state_.hiddenInTray) {
        // No time given: the balloon stays as long as the shell keeps it, and nothing waits.
        trayIcon_.ShowBalloon(text, kProductName, 0, false);
    } else {
        ShowNotice(text);
    }
}

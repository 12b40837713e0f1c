// StartBlocking and StopBlocking: the main window's procedures that write the block lines into
// the hosts file and put the clean copy back.

#include <string>
#include <vector>

#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "core/FileHelpers.h"
#include "core/FileSecurity.h"
#include "core/HostsBackup.h"
#include "core/HostsText.h"
#include "ui/Appearance.h"
#include "ui/ErrorReport.h"
#include "ui/MessagePump.h"
#include "ui/Prompts.h"

namespace {

const char kUacAdvice[] =
    "Please check your UAC settings to make sure they are on 'Never Notify'. Please make sure you run this "
    "software as administrator by right clicking the desktop icon for this software and choosing 'Run as "
    "administrator'";
const std::string kCouldNotStartBlocking = std::string("Could not start blocking.\r\n") + kUacAdvice;
const std::string kCouldNotRestoreSettings = std::string("Could not restore settings.\r\n") + kUacAdvice;
const char kNotAdministratorToStop[] =
    "You must be logged in as Administrator in Windows in order to stop block sites.";

// The program's own notices: OK button, no icon, the application's title.
void ShowNotice(const std::string& text) {
    CurrentPrompts().MessageBox(text, ApplicationTitle(), MB_OK);
}

}  // namespace

// The block is recorded the moment it is written or lifted, not only at close: a run that ends
// without its close (Task Manager, a crash, a power cut) still resumes hidden behind the password
// at the next start, instead of showing a window whose close would lift the block.
void Form1::RecordBlockingOn() {
    SaveSetting(kKeyBlockOnStart, "1");
    SaveSetting(kKeyMinimized, kSettingOn);
}

void Form1::RecordBlockingOff() {
    SaveSetting(kKeyBlockOnStart, "0");
    SaveSetting(kKeyMinimized, Check8.Value() == 1 ? kSettingOn : kSettingOff);
}

void Form1::StartBlocking(bool atStartup) {
    Guarded p{"in Nestwarden2021/08/31.Form1.StartBlocking "};
    bool failed = false;
    bool backupTaken = false;  // this start copied the hosts file to the backup path
    bool hostsRead = false;    // line 116 read the hosts file (or found it missing)
    bool hostsExisted = true;
    bool written = false;  // line 124 wrote the block
    std::string previous;  // the hosts file's content before this start

    p.Line(100, [] { ProcessPendingEvents(); });
    p.Line(102, [&] { failed = false; });
    if (p.Test(104, [&] { return !atStartup; })) {
        // The user's start takes the copy whether or not the user is an administrator, but
        // never over a backup that is already there (see DecideBackupAtStart). A backup whose
        // owner is not trusted was planted: it is moved aside first, so a fresh one is taken.
        p.Line(106, [&] {
            SetAsideIfUntrusted(HostsBackupPath(DataFolder));
            if (DecideBackupAtStart(HostsBackupPath(DataFolder)) == BackupAction::TakeFresh) {
                TakeBackup(HostsFilePath, HostsBackupPath(DataFolder));
                backupTaken = true;
            }
        });
    } else if (p.Test(108, [&] { return UserIsAdmin; })) {
        // A failed look at the backup path takes no copy: the backup kept from the last run
        // may be the only clean copy.
        bool takeFresh = false;
        p.Line(110, [&] {
            SetAsideIfUntrusted(HostsBackupPath(DataFolder));
            takeFresh = DecideBackupAtStart(HostsBackupPath(DataFolder)) == BackupAction::TakeFresh;
        });
        if (takeFresh) {
            p.Line(112, [&] {
                TakeBackup(HostsFilePath, HostsBackupPath(DataFolder));
                backupTaken = true;
            });
        }
    }
    if (p.Test(114, [&] { return UserIsAdmin; })) {
        p.Line(116, [&] {
            HostsContent hosts = ReadHostsForBlocking(HostsFilePath);
            previous = std::move(hosts.text);
            hostsExisted = hosts.exists;
            hostsRead = true;
        });
        // Lines 118 to 122, one block line per list entry, are produced while line 124 writes
        // them (PutBlockedHosts), so the whole text is never held in memory at once.
        //
        // The hosts file is rewritten only when it was read and its content from before the
        // block survives elsewhere; otherwise the start counts as a refused write. So a hosts
        // file that cannot be read never becomes the block lines alone.
        if (p.Test(124, [&] {
                written = hostsRead &&
                          PreBlockingContentIsSafe(backupTaken, hostsExisted, HostsBackupPath(DataFolder)) &&
                          // a planted backup that could not be moved aside keeps nothing
                          (backupTaken || !hostsExisted || IsTrustedOwner(HostsBackupPath(DataFolder))) &&
                          WriteFileContent(HostsFilePath, [&](ContentSink& sink) {
                              PutBlockedHosts(sink, previous, ListView1);
                          });
                // The copy this start took is of no use without the block, and a later stop
                // would roll the hosts file back to it; a backup kept from before stays.
                if (!written && backupTaken) DiscardBackupTakenNow(HostsBackupPath(DataFolder));
                return !written;
            })) {
            if (p.Test(126, [&] { return !atStartup; })) {
                p.Line(128, [&] { PushButton2.SetCaption(SavedButtonCaption); });
                p.Line(130, [&] { failed = true; });
                p.Line(132, [&] { ShowNotice(kCouldNotStartBlocking); });
            } else {
                // Start-up stays silent, but the parent learns from the tray icon once the window
                // has gone there that nothing is blocked.
                BlockNotPutBack = true;
            }
        } else {
            p.Line(124, [&] { RecordBlockingOn(); });
        }
    }
    // The start's work is done. The minimise shows the tray balloon and lets events run while it
    // is up, and the parent may come back through the password and stop within that time: that
    // click is no longer one inside a running start.
    startStopRunning_ = false;
    p.Line(134, [&] {
        if (!failed) SetWindowState(WindowState::Minimized);
    });
}

void Form1::StopBlocking(bool atStartup) {
    Guarded p{"in Nestwarden2021/08/31.Form1.StopBlocking "};
    // The close while blocking is off also comes here; only a block that is lifted is recorded.
    const bool wasBlocking = PushButton2.Caption() == kStopBlockingCaption;
    if (p.Test(100, [&] { return UserIsAdmin; })) {
        bool restored = true;  // nothing to put back counts as put back
        // A backup whose owner is not trusted is never copied over the hosts file: it is moved
        // aside and the stop goes on as if there were none.
        if (p.Test(102, [&] {
                return FileExists(HostsBackupPath(DataFolder)) &&
                       !SetAsideIfUntrusted(HostsBackupPath(DataFolder));
            })) {
            // Only a restore known to have succeeded deletes the backup: should it fail, the
            // notice shows, the backup stays and blocking stays on, so the clean copy is kept
            // and the program never says the sites are free while they are blocked.
            restored = false;
            p.Line(104, [&] {
                restored = IsTrustedOwner(HostsBackupPath(DataFolder)) &&
                           RestoreBackup(HostsBackupPath(DataFolder), HostsFilePath);
            });
            if (restored) {
                p.Line(106, [&] { DeleteFileForced(HostsBackupPath(DataFolder)); });
            } else {
                p.Line(108, [&] { ShowNotice(kCouldNotRestoreSettings); });
            }
        }
        if (restored) {
            p.Line(110, [&] { PushButton2.SetCaption(SavedButtonCaption); });
            if (wasBlocking) p.Line(110, [&] { RecordBlockingOff(); });
        }
    } else if (p.Test(112, [&] { return !atStartup; })) {
        p.Line(114, [&] { ShowNotice(kNotAdministratorToStop); });
    }
    p.Line(116, [] { ProcessPendingEvents(); });
}

// The main window's "Help" and Start/Stop buttons, and the start and stop of the block as the
// window shows them: the blocking core does the work, the window turns its outcome into the
// caption, the notices and the minimise.
#include <optional>
#include <string>
#include <utility>

#include "Appearance.h"
#include "HostsBlocker.h"
#include "MainWindow.h"
#include "MessagePump.h"
#include "SettingsStore.h"
#include "UserTexts.h"

namespace {}  // namespace

void MainWindow::OnHelpClicked() {
    Guarded p{reports_, ReportLocation(kHelpClickedProcedure)};
    p.Line(100, [&] { ShowNotice(kHelpMessage); });
}

void MainWindow::OnStartStopClicked() {
    // Starting and stopping let pending events run, so a second click (a fast double-click) could
    // run a stop inside a start and leave the caption saying the opposite of the hosts file.
    if (busy_.startStopRunning) return;
    busy_.startStopRunning = true;
    ScopeExit done([&] { busy_.startStopRunning = false; });
    Guarded p{reports_, ReportLocation(kStartStopClickedProcedure)};
    std::string text;
    // The list is saved on every click, before anything else, whether blocking starts or stops.
    p.Line(104, [&] { text = EncodeWebsiteList(websiteList_.Views()); });
    p.Line(108, [&] { settings_.Save(kKeyBlockedWebsites, text); });
    if (p.Test(110, [&] { return !state_.blocking; })) {
        if (p.Test(112, [&] { return websiteList_.Count() > 0; })) {
            p.Line(116, [&] { SetBlocking(true); });
            if (p.Test(118, [&] { return state_.userIsAdmin; })) {
                p.Line(120, [&] { StartBlocking(false); });
            } else {
                p.Line(122, [&] { SetBlocking(false); });
                p.Line(124, [&] { ShowNotice(kAdministratorMessage); });
            }
        } else {
            p.Line(126, [&] { ShowNotice(kEmptyListMessage); });
        }
    } else {
        p.Line(128, [&] { StopBlocking(false); });
    }
}

// The block is recorded the moment it is written or lifted, not only at close: a run that ends
// without its close (Task Manager, a crash, a power cut) still resumes hidden behind the password
// at the next start, instead of showing a window whose close would lift the block.
// "Start in system tray" shows "Minimized" as it is stored, at once; the box's own click
// handling, which setting it runs, saves the value it is set to.
void MainWindow::RecordBlockingOn() {
    settings_.Save(kKeyBlockOnStart, "1");
    if (startInTrayBeforeBlock_ < 0) startInTrayBeforeBlock_ = controls_.startInTrayBox.Value();
    controls_.startInTrayBox.SetValue(1);
    // Stored last, whatever the box's own click handling stored: the block resumes hidden.
    settings_.Save(kKeyMinimized, kSettingOn);
}

void MainWindow::RecordBlockingOff() {
    settings_.Save(kKeyBlockOnStart, "0");
    // The box ticked by the start goes back to the parent's choice from before it; one the parent
    // unticked meanwhile stays as it is.
    if (startInTrayBeforeBlock_ >= 0 && controls_.startInTrayBox.Value() == 1)
        controls_.startInTrayBox.SetValue(startInTrayBeforeBlock_);
    startInTrayBeforeBlock_ = -1;
    settings_.Save(kKeyMinimized, controls_.startInTrayBox.Value() == 1 ? kSettingOn : kSettingOff);
}

void MainWindow::KeepWrittenBlock(Guarded& p) {
    // The hosts file now holds the lines of the list as it is at this moment, and the watch
    // guards exactly these: an entry added later reaches the file at the next start, and one
    // cleared from the list stays blocked until the stop. The block is in the file whatever its
    // record does: a record refused by the settings is reported at its own line and the written
    // block is watched all the same.
    hostsWatch_.GuardWrittenBlock(websiteList_);
    p.Line(125, [&] { RecordBlockingOn(); });
    system_.FlushResolverCache();
    // From now on a block that another program removes is noticed and put back.
    hostsWatch_.Start();
}

void MainWindow::StartBlocking(bool atStartup) {
    Guarded p{reports_, ReportLocation(kStartBlockingProcedure)};
    p.Line(100, [] { ProcessPendingEvents(); });
    // The block is bound to the password as it is stored: where the blocking service guards it,
    // only that password (or a program run as administrator) lifts it. A password that cannot be
    // read starts no block that anyone could lift.
    std::optional<std::string> passwordHash;
    p.Line(102, [&] { passwordHash = settings_.GetText(kKeyPassword, ""); });
    StartOutcome outcome = StartOutcome::Refused;
    if (passwordHash) {
        WhileServiceWorks([&] {
            outcome = blocker_.Start(ListedEntries(websiteList_), state_.userIsAdmin, atStartup, reports_,
                                     *passwordHash);
        });
    }
    bool failed = false;
    if (outcome == StartOutcome::Written) {
        KeepWrittenBlock(p);
    } else if (outcome != StartOutcome::NotAdministrator || state_.userIsAdmin) {
        // A refusal for want of an administrator where this run took the user for one comes from
        // the blocking service, for an account that may have left the group since this run's own
        // check: it is told with the window's own administrator message. Where this run knew, the
        // click has told the user already.
        if (p.Test(126, [&] { return !atStartup; })) {
            p.Line(128, [&] { SetBlocking(false); });
            p.Line(130, [&] { failed = true; });
            p.Line(132, [&] {
                ShowNotice(outcome == StartOutcome::Refused               ? kCouldNotStartBlocking
                           : outcome == StartOutcome::ServiceNotAnswering ? kServiceNotAnswering
                                                                          : kAdministratorMessage);
            });
        } else if (outcome != StartOutcome::NotAdministrator) {
            // Start-up stays silent, but the parent learns from the tray icon once the window has
            // gone there that nothing is blocked.
            state_.blockNotPutBack = true;
        }
    }
    // The start's work is done. The minimise shows the tray balloon and lets events run while it
    // is up, and the parent may come back through the password and stop within that time: that
    // click is no longer one inside a running start.
    busy_.startStopRunning = false;
    p.Line(134, [&] {
        if (!failed) SetWindowState(WindowState::Minimized);
    });
}

void MainWindow::StopBlocking(bool atStartup) {
    Guarded p{reports_, ReportLocation(kStopBlockingProcedure)};
    // The close while blocking is off also comes here; only a block that is lifted is recorded.
    const bool wasBlocking = state_.blocking;
    // The stop's own restore is no removal to put back.
    hostsWatch_.Stop();
    // Without a clean copy the stop takes out the lines that were written: those of the list as it
    // was at this run's start, which keep an entry removed from the list since; the list as it is
    // when this run wrote nothing.
    const WebsiteList& written =
        hostsWatch_.GuardsWrittenBlock() ? hostsWatch_.WrittenEntries() : websiteList_;
    StopOutcome outcome = StopOutcome::Refused;
    WhileServiceWorks([&] {
        outcome = blocker_.Stop(
            ListedEntries(written), state_.userIsAdmin, reports_, [] { ProcessPendingEvents(); },
            lock_.UnlockPassword());
    });
    switch (outcome) {
        case StopOutcome::Lifted:
            system_.FlushResolverCache();
            hostsWatch_.ForgetWrittenBlock();
            p.Line(110, [&] {
                SetBlocking(false);
                if (wasBlocking) RecordBlockingOff();
            });
            break;
        case StopOutcome::Refused:
            // The clean copy could not be put back: blocking stays on, and so does the backup.
            p.Line(108, [&] { ShowNotice(kCouldNotRestoreSettings); });
            break;
        case StopOutcome::ServiceNotAnswering:
            p.Line(108, [&] { ShowNotice(kServiceNotAnswering); });
            break;
        case StopOutcome::NotAdministrator:
            if (p.Test(112, [&] { return !atStartup; }))
                p.Line(114, [&] { ShowNotice(kNotAdministratorToStop); });
            break;
        case StopOutcome::WrongPassword:
            // The service keeps the block and its clean copy: blocking stays on.
            p.Line(118, [&] { ShowNotice(kStopNeedsBlockPassword); });
            break;
    }
    // A block that stays on is guarded again, when this run wrote it.
    if (state_.blocking) hostsWatch_.Start();
    p.Line(116, [] { ProcessPendingEvents(); });
}

#pragma once
// A main window loaded in the test's temporary tree for the tests of the blocking procedures. Its
// shell records every balloon and ends it at once, so a minimise into the tray never waits for
// one, and the tray icon stays out of the real notification area (RecordBalloonsOutsideTheShell). Each
// procedure runs from the shown window, as the parent runs it after the password brought the window back; or,
// for long runs of procedures, only the starts do (whether a start takes the window out of sight is then
// still seen) and a stop leaves the window in the tray.

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "Appearance.h"
#include "MainWindow.h"
#include "MessagePump.h"
#include "TrayIcon.h"
#include "support/BlockLine.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedBalloons.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

class BlockingForm {
  public:
    // Start-up runs as the program's own does, with the test's parts and answers (the
    // administrator answer among them); `scratchFolder` takes the list files SetEntries needs.
    // `staysInTray`: a stop leaves the window in the tray.
    BlockingForm(MainWindowParts parts, ScriptedPrompts& prompts, std::string scratchFolder,
                 bool staysInTray = false)
        : prompts_(prompts), scratchFolder_(std::move(scratchFolder)), staysInTray_(staysInTray) {
        balloons.clear();
        parts.shellNotifyIcon = &RecordBalloonsOutsideTheShell;
        form = std::make_unique<MainWindow>(parts);
        form->Load();
        ProcessPendingEvents();
    }
    BlockingForm(const BlockingForm&) = delete;
    BlockingForm& operator=(const BlockingForm&) = delete;

    void SetEntries(const std::vector<std::string>& entries) {
        PutEntries(*form, prompts_, scratchFolder_, entries);
    }
    std::string Caption() const { return MainWindowView::ControlById(*form, kIdStartStopButton).Caption(); }
    bool Blocking() const { return MainWindowView::State(*form).blocking; }
    // The last start took the window out of sight, into the tray.
    bool Minimized() const { return MainWindowView::Locked(*form); }

    // A balloon told the parent that a resumed block could not be written.
    static bool ToldBlockNotPutBack() {
        for (const std::string& text : BalloonTexts())
            if (text == kResumedBlockNotWritten) return true;
        return false;
    }

    // The Start/Stop button's start: blocking is switched on, then StartBlocking runs.
    void UserStart() {
        Unlock();
        MainWindowView::SetWindowState(*form, WindowState::Normal);
        MainWindowView::SetBlocking(*form, true);
        MainWindowView::StartBlocking(*form, false);
    }
    // Start-up resuming the block of the last run.
    void ResumeAtStartup() {
        Unlock();
        MainWindowView::SetWindowState(*form, WindowState::Normal);
        MainWindowView::SetBlocking(*form, true);
        MainWindowView::StartBlocking(*form, true);
    }
    // The Start/Stop button's stop, and the close while blocking is off: both call StopBlocking.
    void Stop() {
        if (!staysInTray_) Unlock();
        MainWindowView::StopBlocking(*form, false);
    }
    // A window in the tray comes back as the accepted password brings it.
    void Unlock() {
        if (MainWindowView::Locked(*form)) form->Unlock();
    }

    std::unique_ptr<MainWindow> form;

  private:
    ScriptedPrompts& prompts_;
    std::string scratchFolder_;
    bool staysInTray_;
};

// A temporary tree for the tests of the blocking procedures: the data folder made, the program's
// title set (the notices carry it), and where the backup of the hosts file goes.
class BlockingTree : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        MakeDataFolder();
        SetApplicationTitle();
        backupPath = dataFolder + "\\hosts";
    }
    std::string backupPath;
};

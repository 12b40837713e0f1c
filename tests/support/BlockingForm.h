#pragma once
// A main window object ready for the blocking procedures: its Start/Stop button is a real
// (hidden) button, so captions are real window texts, while the main window itself is never
// created, so minimising only records the state asked for and no tray or balloon takes part.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "MainWindow.h"

class BlockingForm {
  public:
    BlockingForm(const MainWindowParts& parts, const std::string& dataFolder, bool administrator)
        : form(std::make_unique<MainWindow>(parts)) {
        form->startStopButton_.hwnd =
            CreateWindowExA(0, "BUTTON", "Start Blocking", WS_POPUP | BS_PUSHBUTTON, 0, 0, 10, 10, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
        form->state_.dataFolder = dataFolder;
        form->state_.userIsAdmin = administrator;
    }
    ~BlockingForm() {
        if (form->startStopButton_.hwnd != nullptr) DestroyWindow(form->startStopButton_.hwnd);
    }
    BlockingForm(const BlockingForm&) = delete;
    BlockingForm& operator=(const BlockingForm&) = delete;

    void SetEntries(const std::vector<std::string>& entries) {
        form->websiteList_.Clear();
        for (const std::string& entry : entries) form->websiteList_.Append(entry);
    }
    std::string Caption() const { return form->startStopButton_.Caption(); }
    bool Blocking() const { return Caption() == "Stop Blocking"; }
    bool Minimized() const { return form->GetWindowState() == WindowState::Minimized; }

    // The Start/Stop button's start: blocking is switched on, then StartBlocking runs.
    void UserStart() {
        form->SetWindowState(WindowState::Normal);
        form->SetBlocking(true);
        form->StartBlocking(false);
    }
    // Start-up resuming the block of the last run.
    void ResumeAtStartup() {
        form->SetWindowState(WindowState::Normal);
        form->SetBlocking(true);
        form->StartBlocking(true);
    }
    // The Start/Stop button's stop, and the close while blocking is off: both call StopBlocking.
    void Stop() { form->StopBlocking(false); }

    std::unique_ptr<MainWindow> form;
};

// One block line as the hosts file must hold it: the address, ten spaces, the name, CR LF.
inline std::string BlockLine(const std::string& name) {
    return "127.0.0.1" + std::string(10, ' ') + name + "\r\n";
}

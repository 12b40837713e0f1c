// The main window's "Help" and Start/Stop buttons, and the pointer rule.
#include "core/BlockingToggle.h"

#include <vector>

#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "core/Handles.h"
#include "ui/Appearance.h"
#include "ui/ErrorReport.h"
#include "ui/Prompts.h"

void Form1::PushButton1_Click() {
    Guarded p{"in Nestwarden2021/08/31.Form1.PushButton1_Click "};
    p.Line(100, [&] { CurrentPrompts().MessageBox(kHelpMessage, ApplicationTitle(), MB_OK); });
}

void Form1::PushButton2_Click() {
    // Starting and stopping let pending events run, so a second click (a fast double-click) could
    // run a stop inside a start and leave the caption saying the opposite of the hosts file.
    if (startStopRunning_) return;
    startStopRunning_ = true;
    ScopeExit done([&] { startStopRunning_ = false; });
    Guarded p{"in Nestwarden2021/08/31.Form1.PushButton2_Click "};
    std::string text;
    p.Line(100, [&] { text.clear(); });
    // The list is saved on every click, before anything else, whether blocking starts or stops.
    p.Line(104, [&] { text = EncodeWebsiteList(ListView1.Views()); });
    p.Line(108, [&] { SaveSetting(kKeyBlockedWebsites, text); });
    if (p.Test(110, [&] { return PushButton2.Caption() != kStopBlockingCaption; })) {
        if (p.Test(112, [&] { return ListView1.Count() > 0; })) {
            p.Line(114, [&] { SavedButtonCaption = PushButton2.Caption(); });
            p.Line(116, [&] { PushButton2.SetCaption(kStopBlockingCaption); });
            if (p.Test(118, [&] { return UserIsAdmin; })) {
                p.Line(120, [&] { StartBlocking(false); });
            } else {
                p.Line(122, [&] { PushButton2.SetCaption(SavedButtonCaption); });
                p.Line(124, [&] {
                    CurrentPrompts().MessageBox(kAdministratorMessage, ApplicationTitle(), MB_OK);
                });
            }
        } else {
            p.Line(126, [&] { CurrentPrompts().MessageBox(kEmptyListMessage, ApplicationTitle(), MB_OK); });
        }
    } else {
        p.Line(128, [&] { StopBlocking(false); });
    }
}

int PointerAfterMouseMove(int current, PointerArea over) {
    if (current == kPointerBusy) return current;
    return over == PointerArea::PushButton ? kPointerCustom : kPointerDefault;
}

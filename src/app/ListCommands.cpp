// The main window's list commands: add a website, clear the list, remove an entry.
#include "Appearance.h"
#include "MainWindow.h"
#include "UserTexts.h"

namespace {

constexpr int kDeleteKeyCode = VK_DELETE;

// Removes the entry the list reports as selected: nothing while a list file loads (the
// hourglass), on an empty list or when no entry is selected.
void RemoveSelectedEntry(Pointer pointer, WebsiteList& list) {
    if (pointer == Pointer::Busy) return;
    if (list.Count() == 0) return;
    int selected = list.SelectedIndex();
    if (selected < 0) return;
    list.RemoveAt(static_cast<size_t>(selected));
}

}  // namespace

void MainWindow::OnAddWebsiteClicked() {
    Guarded p{reports_, ReportLocation(kAddWebsiteClickedProcedure)};
    std::string text;
    p.Line(104, [&] { text = prompts_.InputBox(kAddWebsitePrompt, ApplicationTitle()).value_or(""); });
    if (p.Test(106, [&] { return text.empty(); })) return;
    // Exactly as typed: blanks, capitals and duplicates all stay.
    p.Line(108, [&] { websiteList_.Append(text); });
}

void MainWindow::OnClearListClicked() {
    Guarded p{reports_, ReportLocation(kClearListClickedProcedure)};
    p.Line(100, [&] {
        if (pointer_ != Pointer::Busy) websiteList_.Clear();
    });
}

void MainWindow::OnWebsiteListDoubleClicked() {
    // The removal commands have no report of their own; a failure leaves the list as it is.
    try {
        RemoveSelectedEntry(pointer_, websiteList_);
    } catch (...) {
        // The removal has no report of its own: the list stays as it was.
    }
}

void MainWindow::OnWebsiteListKeyDown(int keyCode) {
    if (keyCode != kDeleteKeyCode) return;
    try {
        RemoveSelectedEntry(pointer_, websiteList_);
    } catch (...) {
        // The removal has no report of its own: the list stays as it was.
    }
}

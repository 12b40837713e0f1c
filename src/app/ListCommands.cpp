#include "app/Form1.h"

#include "ui/Appearance.h"
#include "ui/ErrorReport.h"
#include "ui/Prompts.h"

namespace {

constexpr char kAddWebsitePrompt[] = "Enter website to block: ";
constexpr int kDeleteKeyCode = 46;

// Removes the entry the list reports as selected: nothing while a list file loads (the
// hourglass), on an empty list or when no entry is selected.
void RemoveSelectedEntry(Form1& form) {
    if (form.MousePointer == kPointerBusy) return;
    if (form.ListView1.Count() == 0) return;
    int selected = form.ListView1.SelectedIndex();
    if (selected < 0) return;
    form.ListView1.RemoveAt(static_cast<size_t>(selected));
}

}  // namespace

void Form1::PushButton6_Click() {
    Guarded p{"in Nestwarden2021/08/31.Form1.PushButton6_Click "};
    std::string text;
    p.Line(104,
           [&] { text = CurrentPrompts().InputBox(kAddWebsitePrompt, ApplicationTitle()).value_or(""); });
    if (p.Test(106, [&] { return text.empty(); })) return;
    // Exactly as typed: blanks, capitals and duplicates all stay.
    p.Line(108, [&] { ListView1.Append(text); });
}

void Form1::PushButton3_Click() {
    Guarded p{"in Nestwarden2021/08/31.Form1.PushButton3_Click "};
    if (p.Test(100, [&] { return MousePointer != kPointerBusy; })) p.Line(100, [&] { ListView1.Clear(); });
}

void Form1::ListView1_DblClick() {
    // The removal commands have no report of their own; a failure leaves the list as it is.
    try {
        RemoveSelectedEntry(*this);
    } catch (...) {
    }
}

void Form1::ListView1_KeyDown(int keyCode, int /*shift: Shift+Delete and Ctrl+Delete remove too*/) {
    if (keyCode != kDeleteKeyCode) return;
    try {
        RemoveSelectedEntry(*this);
    } catch (...) {
    }
}

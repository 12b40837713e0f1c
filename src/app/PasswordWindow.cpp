#include "PasswordWindow.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "Appearance.h"
#include "FileHelpers.h"
#include "LayoutBuilder.h"
#include "MessagePump.h"
#include "PasswordHash.h"
#include "SettingsStore.h"
#include "WindowLayout.h"
#include "UserTexts.h"

namespace {

// The password window's layout in twips, in tab order. The field's position is relative to its
// frame.
const LayoutRow kLayout[] = {
    {ControlKind::Frame, kIdPasswordWindowFrame, kPasswordFrameCaption, 120, 120, 7800, 820},
    {ControlKind::PasswordField, kIdPasswordWindowField, "", 240, 300, 7320, 345, kIdPasswordWindowFrame},
    {ControlKind::DefaultButton, kIdPasswordOkButton, kOkCaption, 120, 1060, 3840, 405},
    {ControlKind::PushButton, kIdPasswordCancelButton, kCancelCaption, 4080, 1060, 3840, 405},
};

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 1590;
// Without WS_CLIPCHILDREN: the window's background also fills the inside of the frame, which a
// group box leaves unpainted.
constexpr DWORD kPasswordWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// The window's one timer: it ends OK's wait after wrong tries.
constexpr UINT_PTR kOkWaitTimerId = 1;

}  // namespace

DWORD OkWaitAfterWrongTries(int wrongTriesInARow) {
    if (wrongTriesInARow <= kWrongTriesWithoutWait) return 0;
    DWORD wait = kFirstOkWaitMs;
    for (int i = kWrongTriesWithoutWait + 1; i < wrongTriesInARow && wait < kLongestOkWaitMs; ++i) wait *= 2;
    return std::min(wait, kLongestOkWaitMs);
}

PasswordWindow::PasswordWindow(MainWindow& main) : main_(main) {}

PasswordWindow::~PasswordWindow() {
    Unload();
}

void PasswordWindow::Show() {
    if (hwnd_ == nullptr) {
        CreateWindowAndControls();
        if (hwnd_ == nullptr) return;
        ApplyLook();
        if (hwnd_ == nullptr) return;  // unloaded while its load reported a failure
        ShowOkWait();                  // a wait that began before the window was closed goes on
        ShowWindow(hwnd_, SW_SHOW);
        SetFocus(passwordField_.hwnd);
    } else {
        ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    }
    SetForegroundWindow(hwnd_);
}

const Control& PasswordWindow::ControlById(int id) const {
    for (auto [control, controlId] : controls_)
        if (controlId == id) return *control;
    throw std::out_of_range("The password window has no control " + std::to_string(id) + ".");
}

void PasswordWindow::Unload() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void PasswordWindow::CreateWindowAndControls() {
    if (!RegisterForwardingClass<PasswordWindow>(kPasswordWindowClassName)) return;
    RECT place = CentredWindowRect(kClientWidthTwips, kClientHeightTwips, kPasswordWindowStyle);
    int x = place.left, y = place.top, width = place.right - place.left, height = place.bottom - place.top;

    // No owner: the window has its own taskbar entry and stays usable while the main window hides.
    CreateWindowExA(0, kPasswordWindowClassName, kPasswordWindowCaption, kPasswordWindowStyle, x, y, width,
                    height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (hwnd_ == nullptr) return;

    if (!windowFont_) windowFont_.reset(ArialBold(900, ScreenDpi()));
    if (!buttonFont_) buttonFont_.reset(ArialBold(1125, ScreenDpi()));
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), FALSE);
    BuildLayout(hwnd_, kLayout, {windowFont_.get(), buttonFont_.get()});
    for (auto [control, id] : controls_) {
        control->hwnd = GetDlgItem(hwnd_, id);
        control->id = id;
    }
    RegisterDialogWindow(hwnd_);
}

void PasswordWindow::ApplyLook() {
    Guarded p{main_.reports(), ReportLocation(kPasswordWindowLoadProcedure)};
    p.Line(100, [&] {
        Control* const coloured[] = {&frame_};
        ApplyButtonFaceColours(hwnd_, coloured);
    });
    p.Line(102, [&] { SetProgramIcon(hwnd_); });
    if (p.Test(104, [&] { return FileExists(ProgramFolderFile(kHandPointerFileName)); })) {
        p.Line(106, [&] {
            LoadHandPointer(handPointer_);
            if (handPointer_ != ownedPointer_.get()) ownedPointer_.reset(handPointer_);
        });
    }
}

void PasswordWindow::OnOkClicked() {
    // A try while OK waits is not checked, not counted and not answered.
    if (OkWaiting()) return;
    Guarded p{main_.reports(), ReportLocation(kPasswordOkClickedProcedure)};
    // Only a check that ran to its end may unlock. One that failed (the store cannot be read,
    // the stored password is not text, the hash is refused) has been reported, and the program
    // stays hidden behind this window.
    std::optional<bool> accepted;
    // The typed text, which the main window holds once unlocked: a block bound to the password
    // is lifted with it.
    HeldPassword typed;
    p.Line(100, [&] {
        // A text longer than the field takes was put there past the keyboard (WM_SETTEXT passes
        // the limit by). No password set in a field is that long, so it is a wrong try, refused
        // without being hashed: the hash costs time with the text's length, and cutting the text
        // to the limit would let a text that is not the password open the lock.
        if (GetWindowTextLengthA(passwordField_.hwnd) > kPasswordFieldMaxLength) {
            accepted = false;
            return;
        }
        typed.Hold(passwordField_.Caption());
        accepted = TypedPasswordAccepted(typed.Text(), main_.settings().GetText(kKeyPassword, ""));
    });
    if (!accepted) return;
    if (*accepted) {
        wrongTriesInARow_ = 0;
        // The tray icon goes, the hidden flag clears and the main window shows, together: the
        // main window's own unlock keeps them so.
        p.Line(102, [&] { main_.Unlock(typed.Text()); });
        p.Line(108, [&] { Unload(); });
        return;
    }
    // OK waits from the try on, also while the notice is up.
    CountWrongTry();
    p.Line(110, [&] { main_.prompts().MessageBox(kInvalidPasswordMessage, ApplicationTitle(), MB_OK); });
    // The box may have let the program close this window meanwhile; the field is then gone.
    if (hwnd_ == nullptr) return;
    p.Line(112, [&] { SetFocus(passwordField_.hwnd); });
    p.Line(114, [&] { SendMessageA(passwordField_.hwnd, EM_SETSEL, 0, 0); });
    p.Line(116, [&] {
        SendMessageA(passwordField_.hwnd, EM_SETSEL, 0, static_cast<LPARAM>(passwordField_.Caption().size()));
    });
}

void PasswordWindow::CountWrongTry() {
    ++wrongTriesInARow_;
    const DWORD wait = OkWaitAfterWrongTries(wrongTriesInARow_);
    if (wait == 0) return;
    okWaitEnds_ = GetTickCount64() + wait;
    ShowOkWait();
}

bool PasswordWindow::OkWaiting() const {
    return GetTickCount64() < okWaitEnds_;
}

void PasswordWindow::ShowOkWait() {
    if (hwnd_ == nullptr) return;
    const ULONGLONG now = GetTickCount64();
    if (now < okWaitEnds_) {
        EnableWindow(okButton_.hwnd, FALSE);
        // Replaces a timer already running. One that fires early comes back here and is armed
        // again for what is left.
        SetTimer(hwnd_, kOkWaitTimerId, static_cast<UINT>(okWaitEnds_ - now), nullptr);
    } else {
        KillTimer(hwnd_, kOkWaitTimerId);
        EnableWindow(okButton_.hwnd, TRUE);
    }
}

void PasswordWindow::OnOkWaitTimer() {
    ShowOkWait();
}

void PasswordWindow::OnCancelClicked() {
    Guarded p{main_.reports(), ReportLocation(kPasswordCancelClickedProcedure)};
    p.Line(100, [&] { Unload(); });
}

LRESULT PasswordWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const Control* coloured[] = {&frame_};
            return ColourControl(hwnd_, msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), coloured);
        }
        case WM_TIMER:
            if (wp == kOkWaitTimerId) {
                OnOkWaitTimer();
                return 0;
            }
            break;
        case WM_CLOSE:
            // The close box does what Cancel does.
            Unload();
            return 0;
        case WM_DESTROY:
            UnregisterDialogWindow(hwnd_);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            ForgetWindow();
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void PasswordWindow::ForgetWindow() {
    hwnd_ = nullptr;
    for (auto [control, id] : controls_) control->hwnd = nullptr;
}

void PasswordWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdPasswordOkButton:
            OnOkClicked();
            break;
        case kIdPasswordCancelButton:
            OnCancelClicked();
            break;
    }
}

bool PasswordWindow::OnSetCursor(HWND over) {
    if (over == cancelButton_.hwnd || over == okButton_.hwnd)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::PushButton);
    else if (over == hwnd_ || over == frame_.hwnd)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::Surface);
    return ShowPointer(pointer_, handPointer_);
}

#include "app/PasswordWindow.h"
#include "ui/WindowLayout.h"

#include <optional>

#include "app/PasswordHash.h"
#include "app/SettingsStore.h"
#include "core/Failure.h"
#include "core/FileHelpers.h"
#include "ui/Appearance.h"
#include "ui/ErrorReport.h"
#include "ui/MessagePump.h"
#include "ui/Prompts.h"

namespace {

enum class Kind { Frame, Password, Button };

// The password window's layout in twips, in tab order. The field's position is relative to its
// frame.
struct LayoutRow {
    Control Form2::*control;
    Kind kind;
    int id;
    const char* caption;
    int left, top, width, height;
    Control Form2::*frame;
};

const LayoutRow kLayout[] = {
    {&Form2::Frame2, Kind::Frame, kIdForm2Frame2, "Password", 120, 120, 7800, 820, nullptr},
    {&Form2::txtPassword, Kind::Password, kIdForm2TxtPassword, "", 240, 300, 7320, 345, &Form2::Frame2},
    {&Form2::PushButton2, Kind::Button, kIdForm2PushButton2, "OK", 120, 1060, 3840, 405, nullptr},
    {&Form2::PushButton1, Kind::Button, kIdForm2PushButton1, "Cancel", 4080, 1060, 3840, 405, nullptr},
};

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 1590;
// Without WS_CLIPCHILDREN: the window's background also fills the inside of the frame, which a
// group box leaves unpainted.
constexpr DWORD kPasswordWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// Whether the user has been told that storing the password failed; cleared by the next store
// that succeeds, so a store that keeps refusing is told once rather than at every key.
bool& PasswordStoreFailureShown() {
    static bool shown = false;
    return shown;
}

}  // namespace

Form2::Form2(Form1& owner) : main_(owner) {}

Form2::~Form2() {
    Unload();
    if (windowFont_ != nullptr) DeleteObject(windowFont_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
    if (ownedPointer_ != nullptr) DestroyCursor(ownedPointer_);
}

void Form2::Show() {
    if (hwnd_ == nullptr) {
        CreateWindowAndControls();
        if (hwnd_ == nullptr) return;
        Form_Load();
        if (hwnd_ == nullptr) return;  // unloaded while its load reported a failure
        ShowWindow(hwnd_, SW_SHOW);
        SetFocus(txtPassword.hwnd);
    } else {
        ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    }
    SetForegroundWindow(hwnd_);
}

void Form2::Unload() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void Form2::CreateWindowAndControls() {
    if (!RegisterForwardingClass<Form2>(kPasswordWindowClassName)) return;
    int dpi = ScreenDpi();
    RECT place = CentredWindowRect(kClientWidthTwips, kClientHeightTwips, kPasswordWindowStyle);
    int x = place.left, y = place.top, width = place.right - place.left, height = place.bottom - place.top;

    // No owner: the window has its own taskbar entry and stays usable while the main window hides.
    CreateWindowExA(0, kPasswordWindowClassName, kPasswordWindowCaption, kPasswordWindowStyle, x, y, width,
                    height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (hwnd_ == nullptr) return;

    if (windowFont_ == nullptr) windowFont_ = ArialBold(900, dpi);
    if (buttonFont_ == nullptr) buttonFont_ = ArialBold(1125, dpi);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
    for (const LayoutRow& row : kLayout) {
        int left = row.left, top = row.top;
        if (row.frame != nullptr) {
            for (const LayoutRow& outer : kLayout)
                if (outer.control == row.frame) left += outer.left, top += outer.top;
        }
        const char* className = "BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (row.kind) {
            case Kind::Frame:
                style |= BS_GROUPBOX;
                break;
            case Kind::Button:
                style |= WS_TABSTOP | (row.id == kIdForm2PushButton2 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                break;
            case Kind::Password:
                className = "EDIT";
                style |= ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP;
                exStyle = WS_EX_CLIENTEDGE;
                break;
        }
        HWND child = CreateWindowExA(
            exStyle, className, row.caption, style, TwipsToPixels(left, dpi), TwipsToPixels(top, dpi),
            TwipsToPixels(row.width, dpi), TwipsToPixels(row.height, dpi), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), GetModuleHandleA(nullptr), nullptr);
        if (row.kind == Kind::Password) SendMessageA(child, EM_SETPASSWORDCHAR, '*', 0);
        HFONT font = row.kind == Kind::Button ? buttonFont_ : windowFont_;
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        Control& control = this->*row.control;
        control.hwnd = child;
        control.id = row.id;
    }
    RegisterDialogWindow(hwnd_);
}

void Form2::Form_Load() {
    Guarded p{"in Nestwarden2021/08/31.Form2.Form_Load "};
    p.Line(100, [&] {
        Control* const coloured[] = {&Frame2};
        ApplyButtonFaceColours(hwnd_, coloured);
    });
    p.Line(102, [&] { SetProgramIcon(hwnd_); });
    if (p.Test(104, [&] { return FileExists(ProgramFolderFile(kHandPointerFileName)); })) {
        p.Line(106, [&] {
            LoadHandPointer(HandPointer);
            if (HandPointer != ownedPointer_) {
                if (ownedPointer_ != nullptr) DestroyCursor(ownedPointer_);
                ownedPointer_ = HandPointer;
            }
        });
    }
}

void Form2::PushButton2_Click() {
    Guarded p{"in Nestwarden2021/08/31.Form2.PushButton2_Click "};
    // Only a check that ran to its end may unlock. One that failed (the store cannot be read,
    // the stored password is not text, the hash is refused) has been reported, and the program
    // stays hidden behind this window.
    std::optional<bool> accepted;
    p.Line(100, [&] {
        accepted = TypedPasswordAccepted(txtPassword.Caption(), GetTextSetting(kKeyPassword, ""));
    });
    if (!accepted) return;
    if (*accepted) {
        p.Line(102, [&] { main_.cSysTray1.SetInTray(false); });
        p.Line(104, [&] { main_.HiddenInTray = false; });
        p.Line(106, [&] { main_.SetVisible(true); });
        p.Line(108, [&] { Unload(); });
        return;
    }
    p.Line(110, [&] { CurrentPrompts().MessageBox(kInvalidPasswordMessage, ApplicationTitle(), MB_OK); });
    // The box may have let the program close this window meanwhile; the field is then gone.
    if (hwnd_ == nullptr) return;
    p.Line(112, [&] { SetFocus(txtPassword.hwnd); });
    p.Line(114, [&] { SendMessageA(txtPassword.hwnd, EM_SETSEL, 0, 0); });
    p.Line(116, [&] {
        SendMessageA(txtPassword.hwnd, EM_SETSEL, 0, static_cast<LPARAM>(txtPassword.Caption().size()));
    });
}

void Form2::PushButton1_Click() {
    Guarded p{"in Nestwarden2021/08/31.Form2.PushButton1_Click "};
    p.Line(100, [&] { Unload(); });
}

LRESULT Form2::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnControlColour(msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
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

void Form2::ForgetWindow() {
    hwnd_ = nullptr;
    for (Control* control : {&Frame2, &txtPassword, &PushButton1, &PushButton2}) control->hwnd = nullptr;
}

void Form2::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdForm2PushButton2:
            PushButton2_Click();
            break;
        case kIdForm2PushButton1:
            PushButton1_Click();
            break;
    }
}

bool Form2::OnSetCursor(HWND over) {
    // The pointer rule: the hand over the push buttons, the default pointer over the window's
    // surface and its frame; nothing changes while the hourglass shows.
    if (MousePointer != kPointerBusy) {
        if (over == PushButton1.hwnd || over == PushButton2.hwnd)
            MousePointer = kPointerCustom;
        else if (over == hwnd_ || over == Frame2.hwnd)
            MousePointer = kPointerDefault;
    }
    switch (MousePointer) {
        case kPointerBusy:
            SetCursor(LoadCursor(nullptr, IDC_WAIT));
            return true;
        case kPointerCustom:
            SetCursor(HandPointer != nullptr ? HandPointer : LoadCursor(nullptr, IDC_ARROW));
            return true;
        default:
            return false;
    }
}

LRESULT Form2::OnControlColour(UINT msg, HDC dc, HWND control) {
    if (control == Frame2.hwnd && Frame2.BackBrush() != nullptr) {
        SetBkColor(dc, Frame2.BackColor());
        return reinterpret_cast<LRESULT>(Frame2.BackBrush());
    }
    return DefWindowProcA(hwnd_, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

// ---- the main window's password field ------------------------------------------------------

void Form1::txtPassword_Change() {
    // Every change of the field is the new password. It is stored hashed; the empty field stores
    // the empty value, which removes the protection.
    try {
        SaveSetting(kKeyPassword, HashPassword(txtPassword.Caption()));
        PasswordStoreFailureShown() = false;
    } catch (...) {
        // Left silent, the user would believe in a password that was never stored and could be
        // locked out of the tray (or in with the old one); say so once while the store refuses.
        if (PasswordStoreFailureShown()) return;
        PasswordStoreFailureShown() = true;
        std::string description = DescribeCurrentFailure();
        try {
            CurrentPrompts().MessageBox("The password could not be stored.\r\n" + description,
                                        ApplicationTitle(), MB_OK);
        } catch (...) {
        }
    }
}

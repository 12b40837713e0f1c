#include "app/Form1.h"

#include <commctrl.h>

#include "../../res/resource.h"
#include "app/PasswordWindow.h"
#include "app/SingleInstance.h"
#include "core/BlockingToggle.h"
#include "ui/Appearance.h"
#include "ui/MessagePump.h"
#include "ui/WindowLayout.h"

namespace {

Form1* mainWindow = nullptr;

enum class Kind { Button, ListView, Frame, CheckBox, Password, Label };

// The main window's layout in twips (15 twips per pixel at 96 DPI), in tab order. Positions of
// the controls inside a frame are relative to that frame.
struct LayoutRow {
    Control Form1::*control;  // null for the check boxes, which are named below
    CheckBox Form1::*checkBox;
    Kind kind;
    int id;
    const char* caption;
    int left, top, width, height;
    Control Form1::*frame;
};

const LayoutRow kLayout[] = {
    {&Form1::Label2, nullptr, Kind::Label, kIdLabel2, "Status", 120, 5910, 7800, 270, nullptr},
    {nullptr, nullptr, Kind::ListView, kIdListView1, "", 120, 660, 7800, 1905, nullptr},
    {&Form1::PushButton6, nullptr, Kind::Button, kIdPushButton6, "Add Website", 120, 2640, 3840, 405,
     nullptr},
    {&Form1::PushButton4, nullptr, Kind::Button, kIdPushButton4, "Load Websites From File", 4080, 2640, 3840,
     405, nullptr},
    {&Form1::PushButton3, nullptr, Kind::Button, kIdPushButton3, "Clear List", 120, 3150, 3840, 405, nullptr},
    {&Form1::PushButton2, nullptr, Kind::Button, kIdPushButton2, kStartBlockingCaption, 120, 5385, 7800, 405,
     nullptr},
    {&Form1::PushButton1, nullptr, Kind::Button, kIdPushButton1, "Help", 120, 120, 7800, 405, nullptr},
    {&Form1::Frame1, nullptr, Kind::Frame, kIdFrame1, "Startup Option", 120, 3615, 7800, 735, nullptr},
    {nullptr, &Form1::Check1, Kind::CheckBox, kIdCheck1, "Load this software on Windows startup", 240, 300,
     3690, 255, &Form1::Frame1},
    {nullptr, &Form1::Check8, Kind::CheckBox, kIdCheck8, "Start in system tray", 4200, 300, 2100, 255,
     &Form1::Frame1},
    {&Form1::Frame2, nullptr, Kind::Frame, kIdFrame2, "Password", 120, 4425, 7800, 820, nullptr},
    {&Form1::txtPassword, nullptr, Kind::Password, kIdTxtPassword, "", 240, 300, 7320, 345, &Form1::Frame2},
    {&Form1::PushButton5, nullptr, Kind::Button, kIdPushButton5, "Load Sample/Example Sites", 4080, 3150,
     3840, 405, nullptr},
};

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 6300;
constexpr DWORD kMainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

inline constexpr char kListToolTip[] =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

// The frames paint themselves whole: the inside in the frame's own colour (the white of the
// start-up option frame, else the button face), the etched edge, and the caption on that colour.
// A plain group box paints only its edge and caption, and its inside would keep whatever was on
// the screen before (black on a fresh display).
void PaintFrame(HWND window, HDC dc, const Control& frame) {
    RECT area;
    GetClientRect(window, &area);
    HBRUSH brush = frame.BackBrush() != nullptr ? frame.BackBrush() : GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &area, brush);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    HGDIOBJ previousFont = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    RECT edge = area;
    edge.top += metrics.tmHeight / 2;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT);
    std::string caption = frame.Caption();
    if (!caption.empty()) {
        SIZE extent{};
        GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        RECT label{6, 0, 6 + extent.cx + 4, metrics.tmHeight};
        FillRect(dc, &label, brush);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        TextOutA(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
    }
    SelectObject(dc, previousFont);
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    const Control& frame = *reinterpret_cast<const Control*>(data);
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            PaintFrame(window, dc, frame);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintFrame(window, reinterpret_cast<HDC>(wp), frame);
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, FrameWindowProc, 0);
            break;
    }
    return DefSubclassProc(window, msg, wp, lp);
}

}  // namespace

Form1* MainWindow() {
    return mainWindow;
}

Form1::Form1(std::string hostsFilePath) : HostsFilePath(std::move(hostsFilePath)) {
    Check1.onClick = [this] { Check1_Click(); };
    Check8.onClick = [this] { Check8_Click(); };
    cSysTray1.MouseUp = [this](int button, int id) { cSysTray1_MouseUp(button, id); };
}

Form1::~Form1() {
    PasswordWindow.reset();
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (windowFont_ != nullptr) DeleteObject(windowFont_);
    if (buttonFont_ != nullptr) DeleteObject(buttonFont_);
    if (mainWindow == this) mainWindow = nullptr;
}

void Form1::Load() {
    // The class gives the program icon, so the window has it from the start.
    RegisterForwardingClass<Form1>(kMainWindowClassName, ProgramIcon(false), ProgramIcon(true));
    RECT place = CentredWindowRect(kClientWidthTwips, kClientHeightTwips, kMainWindowStyle);
    int x = place.left, y = place.top, width = place.right - place.left, height = place.bottom - place.top;

    mainWindow = this;
    CreateWindowExA(0, kMainWindowClassName, "Form1", kMainWindowStyle, x, y, width, height, nullptr, nullptr,
                    GetModuleHandleA(nullptr), this);
    CreateControls();
    cSysTray1.Create(hwnd_);
    // The tray control's icon is part of the window's layout: the blue K.
    cSysTray1.SetTrayIcon(static_cast<HICON>(LoadImageA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY_ICON), IMAGE_ICON, 16, 16, LR_SHARED)));
    RegisterDialogWindow(hwnd_);
    // A second start without administrator rights may still reach an elevated running copy.
    ChangeWindowMessageFilterEx(hwnd_, SecondStartMessage(), MSGFLT_ALLOW, nullptr);

    Form_Load();

    if (pendingState_ == WindowState::Minimized) {
        // A minimised start: the resize handling takes the window to the tray at once.
        ShowWindow(hwnd_, SW_SHOWMINNOACTIVE);
    } else {
        ShowWindow(hwnd_, SW_SHOW);
        UpdateWindow(hwnd_);
    }
}

void Form1::CreateControls() {
    int dpi = ScreenDpi();
    windowFont_ = ArialBold(900, dpi);
    buttonFont_ = ArialBold(1125, dpi);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
    HINSTANCE instance = GetModuleHandleA(nullptr);

    auto create = [&](const LayoutRow& row) {
        int left = row.left, top = row.top;
        if (row.frame != nullptr) {
            for (const LayoutRow& outer : kLayout)
                if (outer.control == row.frame) left += outer.left, top += outer.top;
        }
        const char* className = "BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (row.kind) {
            case Kind::Button:
                style |= BS_PUSHBUTTON | WS_TABSTOP;
                break;
            case Kind::Frame:
                style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
                break;
            case Kind::CheckBox:
                style |= BS_AUTOCHECKBOX | WS_TABSTOP;
                break;
            case Kind::Label:
                className = "STATIC";
                style |= SS_LEFT | SS_NOTIFY;
                break;
            case Kind::Password:
                className = "EDIT";
                style |= ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case Kind::ListView:
                className = WC_LISTVIEWA;
                style |= LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP;
                exStyle = WS_EX_CLIENTEDGE;
                break;
        }
        HWND child = CreateWindowExA(
            exStyle, className, row.caption, style, TwipsToPixels(left, dpi), TwipsToPixels(top, dpi),
            TwipsToPixels(row.width, dpi), TwipsToPixels(row.height, dpi), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
        if (row.kind == Kind::Password) SendMessageA(child, EM_SETPASSWORDCHAR, '*', 0);
        HFONT font = row.kind == Kind::Button ? buttonFont_ : windowFont_;
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (row.kind == Kind::ListView) {
            ListView1.hwnd = child;
            ListView_SetExtendedListViewStyle(child, LVS_EX_FULLROWSELECT);
            return;
        }
        Control& control = row.checkBox != nullptr ? this->*row.checkBox : this->*row.control;
        control.hwnd = child;
        control.id = row.id;
        if (row.kind == Kind::Frame)
            SetWindowSubclass(child, FrameWindowProc, 0, reinterpret_cast<DWORD_PTR>(&control));
    };
    // A new control goes below those made before it, so the frames are made last: their fill
    // never covers the boxes and the field inside them. Frames take no focus, so the tab order
    // stays that of the table.
    for (const LayoutRow& row : kLayout)
        if (row.kind != Kind::Frame) create(row);
    for (const LayoutRow& row : kLayout)
        if (row.kind == Kind::Frame) create(row);
    // The layout gives the start-up option frame and its boxes a white ground.
    Frame1.SetBackColor(RGB(255, 255, 255));
    Check1.SetBackColor(RGB(255, 255, 255));
    Check8.SetBackColor(RGB(255, 255, 255));
}

void Form1::AddListToolTip(HWND list) {
    if (listToolTip_ != nullptr || list == nullptr) return;
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (tip == nullptr) return;
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = const_cast<char*>(kListToolTip);
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 400);
    listToolTip_ = tip;
}

std::string Form1::ListToolTipText() {
    AddListToolTip(ListView1.hwnd);
    if (listToolTip_ == nullptr) return "";
    wchar_t text[256] = L"";
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(ListView1.hwnd);
    tool.lpszText = text;
    SendMessageW(listToolTip_, TTM_GETTEXTW, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(&tool));
    char ansi[256] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

void Form1::Close() {
    if (hwnd_ != nullptr) SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

WindowState Form1::GetWindowState() const {
    if (hwnd_ != nullptr && IsIconic(hwnd_)) return WindowState::Minimized;
    if (hwnd_ != nullptr && IsWindowVisible(hwnd_)) return WindowState::Normal;
    return pendingState_;
}

void Form1::SetWindowState(WindowState state) {
    pendingState_ = state;
    if (hwnd_ == nullptr || !IsWindowVisible(hwnd_)) return;
    if (state == WindowState::Minimized && !IsIconic(hwnd_)) ShowWindow(hwnd_, SW_MINIMIZE);
    if (state == WindowState::Normal && IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
}

bool Form1::Visible() const {
    return hwnd_ != nullptr && IsWindowVisible(hwnd_);
}

void Form1::SetVisible(bool visible) {
    if (hwnd_ == nullptr) return;
    if (!visible) {
        ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    ShowWindow(hwnd_, IsIconic(hwnd_) || pendingState_ == WindowState::Normal ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Form1::SetMousePointer(int pointer) {
    MousePointer = pointer;
    POINT at;
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under == hwnd_ || IsChild(hwnd_, under))
        SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

LRESULT Form1::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == SecondStartMessage()) {
        OnSecondStart();
        return 0;
    }
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lp));
        case WM_SIZE:
            Form_Resize();
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnControlColour(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wp) EndSession();
            return 0;
        case WM_CLOSE:
            if (!closing_) {
                closing_ = true;
                Form_QueryUnload();
            }
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            UnregisterDialogWindow(hwnd_);
            if (EndsProgramOnClose) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void Form1::OnCommand(int id, int code) {
    if (id == kIdTxtPassword) {
        if (code == EN_CHANGE) txtPassword_Change();
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdPushButton1:
            PushButton1_Click();
            break;
        case kIdPushButton2:
            PushButton2_Click();
            break;
        case kIdPushButton3:
            PushButton3_Click();
            break;
        case kIdPushButton4:
            PushButton4_Click();
            break;
        case kIdPushButton5:
            PushButton5_Click();
            break;
        case kIdPushButton6:
            PushButton6_Click();
            break;
        case kIdCheck1:
            Check1_Click();
            break;
        case kIdCheck8:
            Check8_Click();
            break;
    }
}

LRESULT Form1::OnNotify(NMHDR& header) {
    if (header.hwndFrom != ListView1.hwnd) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOA:
            ListView1.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA&>(header));
            return 0;
        case NM_DBLCLK:
            ListView1_DblClick();
            return 0;
        case LVN_KEYDOWN: {
            int shift = (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
                        (GetKeyState(VK_MENU) < 0 ? 4 : 0);
            ListView1_KeyDown(reinterpret_cast<NMLVKEYDOWN&>(header).wVKey, shift);
            return 0;
        }
    }
    return 0;
}

bool Form1::OnSetCursor(HWND over) {
    // The pointer rule: the hand over push buttons; the default pointer over the window, the
    // list, the password field and the frames; nothing changes while the hourglass shows.
    const Control* buttons[] = {&PushButton1, &PushButton2, &PushButton3,
                                &PushButton4, &PushButton5, &PushButton6};
    // The list's tooltip is made when the pointer first comes over the list, not at start-up.
    if (over == ListView1.hwnd) AddListToolTip(over);
    bool overButton = false;
    for (const Control* button : buttons) overButton = overButton || button->hwnd == over;
    if (overButton)
        MousePointer = PointerAfterMouseMove(MousePointer, PointerArea::PushButton);
    else if (over == hwnd_ || over == ListView1.hwnd || over == txtPassword.hwnd || over == Frame1.hwnd ||
             over == Frame2.hwnd)
        MousePointer = PointerAfterMouseMove(MousePointer, PointerArea::Surface);
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

LRESULT Form1::OnControlColour(HDC dc, HWND control) {
    Control* controls[] = {&Frame1, &Frame2, &Label2, &Check1, &Check8};
    for (Control* c : controls) {
        if (c->hwnd == control && c->BackBrush() != nullptr) {
            SetBkColor(dc, c->BackColor());
            return reinterpret_cast<LRESULT>(c->BackBrush());
        }
    }
    return DefWindowProcA(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
}

#include "MainWindow.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>

#include "resource.h"
#include "Appearance.h"
#include "LayoutBuilder.h"
#include "MessagePump.h"
#include "PasswordWindow.h"
#include "SingleInstance.h"
#include "WindowLayout.h"

namespace {

// The main window's layout in twips (15 twips per pixel at 96 DPI), in tab order. Positions of
// the controls inside a frame are relative to that frame.
const LayoutRow kLayout[] = {
    {ControlKind::Label, kIdStatusLabel, "Status", 120, 5910, 7800, 270},
    {ControlKind::ListView, kIdWebsiteList, "", 120, 660, 7800, 1905},
    {ControlKind::PushButton, kIdAddWebsiteButton, "Add Website", 120, 2640, 3840, 405},
    {ControlKind::PushButton, kIdLoadFromFileButton, "Load Websites From File", 4080, 2640, 3840, 405},
    {ControlKind::PushButton, kIdClearListButton, "Clear List", 120, 3150, 3840, 405},
    {ControlKind::PushButton, kIdStartStopButton, kStartBlockingCaption, 120, 5385, 7800, 405},
    {ControlKind::PushButton, kIdHelpButton, "Help", 120, 120, 7800, 405},
    {ControlKind::Frame, kIdOptionsFrame, "Startup Option", 120, 3615, 7800, 735},
    {ControlKind::CheckBox, kIdStartWithWindowsBox, "Load this software on Windows startup", 240, 300, 3690,
     255, kIdOptionsFrame},
    {ControlKind::CheckBox, kIdStartInTrayBox, "Start in system tray", 4200, 300, 2100, 255, kIdOptionsFrame},
    {ControlKind::Frame, kIdPasswordFrame, "Password", 120, 4425, 7800, 820},
    {ControlKind::PasswordField, kIdPasswordField, "", 240, 300, 7320, 345, kIdPasswordFrame},
    {ControlKind::PushButton, kIdLoadSamplesButton, "Load Sample/Example Sites", 4080, 3150, 3840, 405},
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

MainWindow::MainWindow(const MainWindowParts& parts)
    : trayIcon_(parts.shellNotifyIcon),
      prompts_(parts.prompts),
      system_(parts.system),
      settings_(parts.settings),
      commonAppDataFolder_(parts.commonAppDataFolder),
      ownership_(*parts.ownership),
      ownBlocker_(
          parts.blocker != nullptr
              ? nullptr
              : std::make_unique<DirectBlocker>(BlockingPlace{
                    parts.hostsFilePath, DataFolderPath(parts.commonAppDataFolder), parts.ownership})),
      blocker_(parts.blocker != nullptr ? *parts.blocker : *ownBlocker_),
      startWithWindows_(*parts.startWithWindows),
      hostsWatch_(parts.hostsFilePath, blocker_, system_, *this) {
    controls_.startWithWindowsBox.onClick = [this] { OnStartWithWindowsChanged(); };
    controls_.startInTrayBox.onClick = [this] { OnStartInTrayChanged(); };
    trayIcon_.MouseUp = [this](int, int) { OnTrayIconClicked(); };
}

MainWindow::~MainWindow() {
    hostsWatch_.Stop();
    passwordWindow_.reset();
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void MainWindow::Load(bool endsProgram) {
    endsProgram_ = endsProgram;
    // The class gives the program icon, so the window has it from the start.
    RegisterForwardingClass<MainWindow>(kMainWindowClassName, ProgramIcon(false), ProgramIcon(true));
    RECT place = CentredWindowRect(kClientWidthTwips, kClientHeightTwips, kMainWindowStyle);
    int x = place.left, y = place.top, width = place.right - place.left, height = place.bottom - place.top;

    CreateWindowExA(0, kMainWindowClassName, "", kMainWindowStyle, x, y, width, height, nullptr, nullptr,
                    GetModuleHandleA(nullptr), this);
    CreateControls();
    trayIcon_.Create(hwnd_);
    // The tray control's icon is part of the window's layout: the blue K.
    trayIcon_.SetIcon(static_cast<HICON>(LoadImageA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY_ICON), IMAGE_ICON, 16, 16, LR_SHARED)));
    RegisterDialogWindow(hwnd_);
    // A second start without administrator rights may still reach an elevated running copy.
    ChangeWindowMessageFilterEx(hwnd_, SecondStartMessage(), MSGFLT_ALLOW, nullptr);

    RunStartup();

    if (pendingState_ == WindowState::Minimized) {
        // A minimised start: the resize handling takes the window to the tray at once.
        ShowWindow(hwnd_, SW_SHOWMINNOACTIVE);
    } else {
        ShowWindow(hwnd_, SW_SHOW);
        UpdateWindow(hwnd_);
    }
}

void MainWindow::CreateControls() {
    int dpi = ScreenDpi();
    look_.windowFont.reset(ArialBold(900, dpi));
    look_.buttonFont.reset(ArialBold(1125, dpi));
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.windowFont.get()), FALSE);
    BuildLayout(hwnd_, kLayout, {look_.windowFont.get(), look_.buttonFont.get()});

    for (auto [control, id] : controls_.byId) {
        control->hwnd = GetDlgItem(hwnd_, id);
        control->id = id;
    }
    websiteList_.hwnd = GetDlgItem(hwnd_, kIdWebsiteList);
    for (Control* frame : {&controls_.optionsFrame, &controls_.passwordFrame})
        SetWindowSubclass(frame->hwnd, FrameWindowProc, 0, reinterpret_cast<DWORD_PTR>(frame));
    // The layout gives the start-up option frame and its boxes a white ground.
    controls_.optionsFrame.SetBackColor(RGB(255, 255, 255));
    controls_.startWithWindowsBox.SetBackColor(RGB(255, 255, 255));
    controls_.startInTrayBox.SetBackColor(RGB(255, 255, 255));
}

void MainWindow::AddListToolTip(HWND list) {
    if (look_.listToolTip != nullptr || list == nullptr) return;
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
    look_.listToolTip = tip;
}

const Control& MainWindow::ControlById(int id) const {
    for (auto [control, controlId] : controls_.byId)
        if (controlId == id) return *control;
    throw std::out_of_range("The main window has no control " + std::to_string(id) + ".");
}

const PasswordWindow* MainWindow::LoadedPasswordWindow() const {
    return passwordWindow_ && passwordWindow_->Loaded() ? passwordWindow_.get() : nullptr;
}

void MainWindow::Close() {
    if (hwnd_ != nullptr) SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

WindowState MainWindow::GetWindowState() const {
    if (hwnd_ != nullptr && IsIconic(hwnd_)) return WindowState::Minimized;
    if (hwnd_ != nullptr && IsWindowVisible(hwnd_)) return WindowState::Normal;
    return pendingState_;
}

void MainWindow::SetWindowState(WindowState state) {
    pendingState_ = state;
    if (hwnd_ == nullptr || !IsWindowVisible(hwnd_)) return;
    if (state == WindowState::Minimized && !IsIconic(hwnd_)) ShowWindow(hwnd_, SW_MINIMIZE);
    if (state == WindowState::Normal && IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
}

void MainWindow::SetVisible(bool visible) {
    if (hwnd_ == nullptr) return;
    if (!visible) {
        ShowWindow(hwnd_, SW_HIDE);
        return;
    }
    if (lock_.Locked()) return;
    EnableControls(true);
    ShowWindow(hwnd_, IsIconic(hwnd_) || pendingState_ == WindowState::Normal ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void MainWindow::EnableControls(bool enabled) {
    // Disabled, a button ignores a click sent to it; what still arrives as a command or a
    // notification is refused by the window itself.
    const Control* controls[] = {
        &controls_.helpButton,         &controls_.startStopButton,     &controls_.clearListButton,
        &controls_.loadFromFileButton, &controls_.loadSamplesButton,   &controls_.addWebsiteButton,
        &controls_.passwordField,      &controls_.startWithWindowsBox, &controls_.startInTrayBox};
    for (const Control* control : controls) EnableWindow(control->hwnd, enabled);
    EnableWindow(websiteList_.hwnd, enabled);
}

void MainWindow::SetBlocking(bool blocking) {
    state_.blocking = blocking;
    controls_.startStopButton.SetCaption(blocking ? kStopBlockingCaption : kStartBlockingCaption);
}

void MainWindow::SetPointer(Pointer pointer) {
    pointer_ = pointer;
    if (hwnd_ == nullptr) return;
    POINT at;
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under == hwnd_ || IsChild(hwnd_, under))
        SendMessageA(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == SecondStartMessage()) {
        OnSecondStart();
        return 0;
    }
    if (lock_.Refuses(msg, wp, lp)) return 0;
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<NMHDR*>(lp));
        case WM_SIZE:
            OnResized();
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const Control* coloured[] = {&controls_.optionsFrame, &controls_.passwordFrame,
                                         &controls_.statusLabel, &controls_.startWithWindowsBox,
                                         &controls_.startInTrayBox};
            return ColourControl(hwnd_, msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), coloured);
        }
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wp) EndSession();
            return 0;
        case WM_CLOSE:
            // A close while the window waits for the service would take the window away under
            // the command that waits: it is held until that command is done.
            if (busy_.serviceWorking) {
                busy_.closeHeld = true;
                return 0;
            }
            if (!busy_.closing) {
                busy_.closing = true;
                RunClose();
            }
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            UnregisterDialogWindow(hwnd_);
            if (endsProgram_) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kIdPasswordField) {
        if (code == EN_CHANGE) OnPasswordFieldChanged();
        return;
    }
    if (code != BN_CLICKED || busy_.serviceWorking) return;
    switch (id) {
        case kIdHelpButton:
            OnHelpClicked();
            break;
        case kIdStartStopButton:
            OnStartStopClicked();
            break;
        case kIdClearListButton:
            OnClearListClicked();
            break;
        case kIdLoadFromFileButton:
            OnLoadFromFileClicked();
            break;
        case kIdLoadSamplesButton:
            OnLoadSamplesClicked();
            break;
        case kIdAddWebsiteButton:
            OnAddWebsiteClicked();
            break;
        case kIdStartWithWindowsBox:
            OnStartWithWindowsChanged();
            break;
        case kIdStartInTrayBox:
            OnStartInTrayChanged();
            break;
    }
}

LRESULT MainWindow::OnNotify(NMHDR& header) {
    if (header.hwndFrom != websiteList_.hwnd) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOA:
            websiteList_.OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA&>(header));
            return 0;
        case NM_DBLCLK:
            if (busy_.serviceWorking) return 0;
            OnWebsiteListDoubleClicked();
            return 0;
        case LVN_KEYDOWN:
            // Shift, Ctrl and Alt make no difference: Shift+Delete removes as Delete does.
            if (busy_.serviceWorking) return 0;
            OnWebsiteListKeyDown(reinterpret_cast<NMLVKEYDOWN&>(header).wVKey);
            return 0;
    }
    return 0;
}

bool MainWindow::OnSetCursor(HWND over) {
    // The list's tooltip is made when the pointer first comes over the list, not at start-up.
    if (over == websiteList_.hwnd) AddListToolTip(over);
    const Control* buttons[] = {&controls_.helpButton,        &controls_.startStopButton,
                                &controls_.clearListButton,   &controls_.loadFromFileButton,
                                &controls_.loadSamplesButton, &controls_.addWebsiteButton};
    bool overButton = false;
    for (const Control* button : buttons) overButton = overButton || button->hwnd == over;
    if (overButton)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::PushButton);
    else if (over == hwnd_ || over == websiteList_.hwnd || over == controls_.passwordField.hwnd ||
             over == controls_.optionsFrame.hwnd || over == controls_.passwordFrame.hwnd)
        pointer_ = PointerAfterMouseMove(pointer_, PointerArea::Surface);
    return ShowPointer(pointer_, look_.handPointer.get());
}

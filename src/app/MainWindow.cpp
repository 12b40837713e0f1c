#include "MainWindow.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>

#include "resource.h"
#include "Appearance.h"
#include "FramePainting.h"
#include "LayoutBuilder.h"
#include "MessagePump.h"
#include "PasswordWindow.h"
#include "SingleInstance.h"
#include "WindowLayout.h"

namespace {

// The main window's layout in twips (15 twips per pixel at 96 DPI), in tab order. Positions of
// the controls inside a frame are relative to that frame.
const LayoutRow kLayout[] = {
    {ControlKind::Label, kIdStatusLabel, kStatusCaption, 120, 5910, 7800, 270},
    {ControlKind::ListView, kIdWebsiteList, "", 120, 660, 7800, 1905},
    {ControlKind::PushButton, kIdAddWebsiteButton, kAddWebsiteCaption, 120, 2640, 3840, 405},
    {ControlKind::PushButton, kIdLoadFromFileButton, kLoadFromFileCaption, 4080, 2640, 3840, 405},
    {ControlKind::PushButton, kIdClearListButton, kClearListCaption, 120, 3150, 3840, 405},
    {ControlKind::PushButton, kIdStartStopButton, kStartBlockingCaption, 120, 5385, 7800, 405},
    {ControlKind::PushButton, kIdHelpButton, kHelpCaption, 120, 120, 3840, 405},
    {ControlKind::PushButton, kIdScheduleButton, kScheduleCaption, 4080, 120, 3840, 405},
    {ControlKind::Frame, kIdOptionsFrame, kOptionsFrameCaption, 120, 3615, 7800, 735},
    {ControlKind::CheckBox, kIdStartWithWindowsBox, kStartWithWindowsCaption, 240, 300, 3690, 255,
     kIdOptionsFrame},
    {ControlKind::CheckBox, kIdStartInTrayBox, kStartInTrayCaption, 4200, 300, 2100, 255, kIdOptionsFrame},
    {ControlKind::Frame, kIdPasswordFrame, kPasswordFrameCaption, 120, 4425, 7800, 820},
    {ControlKind::PasswordField, kIdPasswordField, "", 240, 300, 7320, 345, kIdPasswordFrame},
    {ControlKind::PushButton, kIdLoadSamplesButton, kLoadSamplesCaption, 4080, 3150, 3840, 405},
};

constexpr int kClientWidthTwips = 8040;
constexpr int kClientHeightTwips = 6300;
constexpr DWORD kMainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

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
      schedule_{parts.schedule, false, {}, false},
      hostsWatch_(parts.hostsFilePath, blocker_, system_, *this) {
    controls_.startWithWindowsBox.onClick = [this] { OnStartWithWindowsChanged(); };
    controls_.startInTrayBox.onClick = [this] { OnStartInTrayChanged(); };
    trayIcon_.MouseUp = [this](int, int) { OnTrayIconClicked(); };
}

MainWindow::~MainWindow() {
    hostsWatch_.Stop();
    WatchChangeSignal(false);
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
    for (Control* frame : {&controls_.optionsFrame, &controls_.passwordFrame}) PaintFrameWhole(*frame);
    // The layout gives the start-up option frame and its boxes a white ground.
    controls_.optionsFrame.SetBackColor(RGB(255, 255, 255));
    controls_.startWithWindowsBox.SetBackColor(RGB(255, 255, 255));
    controls_.startInTrayBox.SetBackColor(RGB(255, 255, 255));
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
    const Control* controls[] = {&controls_.helpButton,          &controls_.scheduleButton,
                                 &controls_.startStopButton,     &controls_.clearListButton,
                                 &controls_.loadFromFileButton,  &controls_.loadSamplesButton,
                                 &controls_.addWebsiteButton,    &controls_.passwordField,
                                 &controls_.startWithWindowsBox, &controls_.startInTrayBox};
    for (const Control* control : controls) EnableWindow(control->hwnd, enabled);
    EnableWindow(websiteList_.hwnd, enabled);
}

void MainWindow::SetBlocking(bool blocking) {
    state_.blocking = blocking;
    controls_.startStopButton.SetCaption(blocking ? kStopBlockingCaption : kStartBlockingCaption);
}

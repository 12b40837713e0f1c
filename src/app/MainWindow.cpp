#include "MainWindow.h"

#include <commctrl.h>

#include <stdexcept>
#include <string>

#include "resource.h"
#include "Appearance.h"
#include "FramePainting.h"
#include "LayoutBuilder.h"
#include "MainWindowLayout.h"
#include "MessagePump.h"
#include "PasswordWindow.h"
#include "SingleInstance.h"
#include "WindowLayout.h"

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
    RECT place =
        CentredWindowRect(kMainWindowClientWidthTwips, kMainWindowClientHeightTwips, kMainWindowStyle);
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
    look_.windowFont.reset(ArialBold(kMainWindowTextPoints, dpi));
    look_.buttonFont.reset(ArialBold(kMainWindowButtonPoints, dpi));
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(look_.windowFont.get()), FALSE);
    BuildLayout(hwnd_, kMainWindowLayout, {look_.windowFont.get(), look_.buttonFont.get()});

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

#include "ScheduleWindow.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "Appearance.h"
#include "Handles.h"
#include "LayoutBuilder.h"
#include "MessagePump.h"
#include "Pointer.h"
#include "WeekGrid.h"
#include "WindowLayout.h"
#include "WindowProc.h"
#include "UserTexts.h"

namespace {

constexpr int kClientWidthTwips = 9840;
constexpr int kClientHeightTwips = 4350;
// The grid's place in twips: left, top, right, bottom.
constexpr RECT kGridTwips{120, 120, 9720, 2760};

// The controls after the grid, which comes first in the tab order.
const LayoutRow kLayout[] = {
    {ControlKind::CheckBox, kIdScheduleFollowedBox, kFollowScheduleCaption, 120, 2880, 4800, 300},
    {ControlKind::Label, kIdScheduleLine, "", 120, 3240, 9600, 480},
    {ControlKind::Label, kIdScheduleLiftLabel, kLiftBlockForCaption, 120, 3900, 1920, 300},
    {ControlKind::DropDownList, kIdScheduleLiftList, "", 2100, 3840, 1740, 1800},
    {ControlKind::PushButton, kIdScheduleLiftButton, kLiftCaption, 3960, 3825, 1200, 405},
    {ControlKind::DefaultButton, kIdScheduleSaveButton, kSaveCaption, 7200, 3825, 1200, 405},
    {ControlKind::PushButton, kIdScheduleCancelButton, kCancelCaption, 8520, 3825, 1200, 405},
};

// A fixed size: the window is not resizable.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

class ScheduleWindow {
  public:
    explicit ScheduleWindow(const ScheduleWindowSetup& setup) : setup_(setup) {}
    ScheduleWindowResult Run(HWND owner);

  private:
    friend LRESULT CALLBACK ForwardingWindowProc<ScheduleWindow>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    bool CreateWindowAndControls(HWND owner);
    void ApplyLook();
    void FillControls();
    void RunModalLoop();
    bool OwnerLocked() const { return setup_.ownerLocked && setup_.ownerLocked(); }
    // While the owner is locked the window acts on nothing: it ends as Cancel. True then.
    bool ClosedByLock();
    void OnCommand(int id, int code);
    void OnEdited();
    void ShowLine();
    void Finish(ScheduleChoice choice);
    bool OnSetCursor(HWND over);

    const ScheduleWindowSetup& setup_;
    HWND hwnd_ = nullptr;
    WeekGrid grid_;
    bool followed_ = false;
    // The line says the stored schedule could not be read, until the first edit.
    bool unreadableShown_ = false;
    bool done_ = false;
    ScheduleWindowResult result_;
    UniqueFont textFont_, buttonFont_;
    Pointer pointer_ = Pointer::Default;
    UniqueCursor handPointer_;
};

ScheduleWindowResult ScheduleWindow::Run(HWND owner) {
    if (OwnerLocked() || !CreateWindowAndControls(owner)) return {};
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(setup_.serviceRunning ? grid_.hwnd() : GetDlgItem(hwnd_, kIdScheduleCancelButton));

    RunModalLoop();

    // The owner is enabled again before this window goes, so that it, not some other program,
    // becomes the active window.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (owner != nullptr && IsWindowVisible(owner)) SetActiveWindow(owner);
    return result_;
}

bool ScheduleWindow::CreateWindowAndControls(HWND owner) {
    if (!RegisterForwardingClass<ScheduleWindow>(kScheduleWindowClassName)) return false;
    const RECT place = CentredWindowRect(kClientWidthTwips, kClientHeightTwips, kStyle);
    CreateWindowExA(kExStyle, kScheduleWindowClassName, kScheduleWindowCaption, kStyle, place.left, place.top,
                    place.right - place.left, place.bottom - place.top, owner, nullptr,
                    GetModuleHandleA(nullptr), this);
    if (hwnd_ == nullptr) return false;

    const int dpi = ScreenDpi();
    textFont_.reset(ArialBold(900, dpi));
    buttonFont_.reset(ArialBold(1125, dpi));
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(textFont_.get()), FALSE);
    const RECT gridPlace{TwipsToPixels(kGridTwips.left, dpi), TwipsToPixels(kGridTwips.top, dpi),
                         TwipsToPixels(kGridTwips.right, dpi), TwipsToPixels(kGridTwips.bottom, dpi)};
    // Made before the other controls, so it comes first in the tab order.
    if (!grid_.Create(hwnd_, kIdScheduleGrid, gridPlace, textFont_.get(), [this] { return ClosedByLock(); }))
        return false;
    BuildLayout(hwnd_, kLayout, {textFont_.get(), buttonFont_.get()});
    ApplyLook();
    FillControls();
    RegisterDialogWindow(hwnd_);
    return true;
}

void ScheduleWindow::ApplyLook() {
    SetProgramIcon(hwnd_);
    // A pointer file that is no pointer leaves the arrow here; the main window reports it at its load.
    HCURSOR hand = nullptr;
    try {
        LoadHandPointer(hand);
    } catch (...) {
        hand = nullptr;
    }
    handPointer_.reset(hand);
}

void ScheduleWindow::FillControls() {
    grid_.SetWeek(setup_.storedUnreadable ? WeekSchedule{} : setup_.schedule.week);
    followed_ = setup_.schedule.followed;
    CheckDlgButton(hwnd_, kIdScheduleFollowedBox, followed_ ? BST_CHECKED : BST_UNCHECKED);
    HWND list = GetDlgItem(hwnd_, kIdScheduleLiftList);
    for (const LiftLength& length : kLiftLengths)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(length.words));
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    unreadableShown_ = setup_.storedUnreadable;
    if (!setup_.serviceRunning) {
        for (int id : {kIdScheduleGrid, kIdScheduleFollowedBox, kIdScheduleLiftList, kIdScheduleLiftButton,
                       kIdScheduleSaveButton})
            EnableWindow(GetDlgItem(hwnd_, id), FALSE);
    }
    ShowLine();
}

void ScheduleWindow::RunModalLoop() {
    int exitCode = 0;
    while (!done_) {
        if (!WaitForEvents(INFINITE, exitCode)) {
            // A quit ends the window as Cancel and is passed on to the loop outside.
            PostQuitMessage(exitCode);
            Finish(ScheduleChoice::Cancel);
            break;
        }
        // The owner may have locked meanwhile, through its own timer or another program's message.
        ClosedByLock();
    }
}

bool ScheduleWindow::ClosedByLock() {
    if (!OwnerLocked()) return false;
    Finish(ScheduleChoice::Cancel);
    return true;
}

void ScheduleWindow::Finish(ScheduleChoice choice) {
    if (done_) return;
    done_ = true;
    result_ = {};
    result_.choice = choice;
    if (choice == ScheduleChoice::Save) result_.schedule = {grid_.Week(), followed_, setup_.schedule.zone};
    if (choice == ScheduleChoice::Lift) {
        const LRESULT chosen = SendDlgItemMessageA(hwnd_, kIdScheduleLiftList, CB_GETCURSEL, 0, 0);
        const int last = static_cast<int>(std::size(kLiftLengths)) - 1;
        result_.liftMinutes = kLiftLengths[std::clamp(static_cast<int>(chosen), 0, last)].minutes;
    }
}

LRESULT ScheduleWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            // Asked first: a command posted by another program acts no more than a click.
            if (!ClosedByLock()) OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(kIdScheduleSaveButton, DC_HASDEFID);
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
            break;
        case WM_CLOSE:
            // The close box does what Cancel does.
            Finish(ScheduleChoice::Cancel);
            return 0;
        case WM_DESTROY:
            UnregisterDialogWindow(hwnd_);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            done_ = true;
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void ScheduleWindow::OnCommand(int id, int code) {
    if (done_) return;
    // Without the service only Cancel acts, whatever reaches the disabled controls.
    if (id == kIdScheduleCancelButton && code == BN_CLICKED) return Finish(ScheduleChoice::Cancel);
    if (!setup_.serviceRunning) return;
    switch (id) {
        case kIdScheduleGrid:
            if (code == kWeekGridChanged) OnEdited();
            break;
        case kIdScheduleFollowedBox:
            if (code != BN_CLICKED) break;
            followed_ = IsDlgButtonChecked(hwnd_, kIdScheduleFollowedBox) == BST_CHECKED;
            OnEdited();
            break;
        case kIdScheduleLiftButton:
            if (code == BN_CLICKED) Finish(ScheduleChoice::Lift);
            break;
        case kIdScheduleSaveButton:
            if (code == BN_CLICKED) Finish(ScheduleChoice::Save);
            break;
    }
}

void ScheduleWindow::OnEdited() {
    unreadableShown_ = false;
    ShowLine();
}

void ScheduleWindow::ShowLine() {
    std::string line;
    if (!setup_.serviceRunning)
        line = kScheduleNeedsServiceLine;
    else if (unreadableShown_)
        line = kScheduleUnreadableLine;
    else if (setup_.describe)
        line = setup_.describe(grid_.Week(), followed_);
    SetDlgItemTextA(hwnd_, kIdScheduleLine, line.c_str());
}

bool ScheduleWindow::OnSetCursor(HWND over) {
    const int id = over == hwnd_ ? 0 : GetDlgCtrlID(over);
    const bool pushButton =
        id == kIdScheduleLiftButton || id == kIdScheduleSaveButton || id == kIdScheduleCancelButton;
    pointer_ = PointerAfterMouseMove(pointer_, pushButton ? PointerArea::PushButton : PointerArea::Surface);
    return ShowPointer(pointer_, handPointer_.get());
}

}  // namespace

ScheduleWindowResult ShowScheduleWindow(HWND owner, const ScheduleWindowSetup& setup) {
    ScheduleWindow window(setup);
    return window.Run(owner);
}

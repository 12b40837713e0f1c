#include "InputBox.h"
#include "LayoutBuilder.h"
#include "WindowLayout.h"
#include "WindowProc.h"
#include "UserTexts.h"

namespace {

constexpr int kClientWidthTwips = 4680;
constexpr int kClientHeightTwips = 1800;

class InputBoxWindow {
  public:
    std::optional<std::string> Run(const std::string& prompt, const std::string& title);

  private:
    friend LRESULT CALLBACK ForwardingWindowProc<InputBoxWindow>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls(const std::string& prompt);
    void Finish(bool accepted);

    HWND hwnd_ = nullptr;
    bool done_ = false;
    std::optional<std::string> answer_;
};

void InputBoxWindow::Finish(bool accepted) {
    if (done_) return;
    done_ = true;
    if (accepted) {
        HWND edit = GetDlgItem(hwnd_, kInputBoxEditId);
        std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
        int got = GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        answer_ = std::move(text);
    }
}

LRESULT InputBoxWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) Finish(true);
            if (LOWORD(wp) == IDCANCEL) Finish(false);
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_CLOSE:
            Finish(false);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            done_ = true;
            break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

void InputBoxWindow::CreateControls(const std::string& prompt) {
    // In tab order: the edit field takes the focus first, then OK and Cancel.
    const LayoutRow layout[] = {
        {ControlKind::TextField, kInputBoxEditId, "", 120, 1380, 4440, 300},
        {ControlKind::DefaultButton, IDOK, kOkCaption, 3480, 120, 1080, 345},
        {ControlKind::PushButton, IDCANCEL, kCancelCaption, 3480, 540, 1080, 345},
        {ControlKind::Label, kInputBoxPromptId, prompt.c_str(), 120, 120, 3240, 1140},
    };
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    BuildLayout(hwnd_, layout, {font, font});
}

std::optional<std::string> InputBoxWindow::Run(const std::string& prompt, const std::string& title) {
    if (!RegisterForwardingClass<InputBoxWindow>(kInputBoxClassName)) return std::nullopt;

    // The box is modal to the program's active window: that window takes no input meanwhile.
    HWND owner = GetActiveWindow();
    if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);

    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    int dpi = ScreenDpi();
    RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - width) / 2;
    int y = work.top + (work.bottom - work.top - height) / 2;

    if (!CreateWindowExA(kExStyle, kInputBoxClassName, title.c_str(), kStyle, x, y, width, height, owner,
                         nullptr, GetModuleHandleA(nullptr), this))
        return std::nullopt;
    CreateControls(prompt);
    HWND box = hwnd_;
    bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(box, SW_SHOW);
    SetForegroundWindow(box);
    SetFocus(GetDlgItem(box, kInputBoxEditId));

    // The box's own modal loop. A quit request ends it as Cancel and is passed on to the loop
    // outside, which ends the program.
    MSG msg;
    while (!done_) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            answer_.reset();
            break;
        }
        if (got < 0) break;
        if (hwnd_ != nullptr && IsDialogMessageA(hwnd_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    // The owner is enabled again before the box goes, so that it, not some other program,
    // becomes the active window.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (owner != nullptr && IsWindow(owner)) SetActiveWindow(owner);
    return answer_;
}

}  // namespace

std::optional<std::string> ShowInputBox(const std::string& prompt, const std::string& title) {
    InputBoxWindow box;
    return box.Run(prompt, title);
}

// The tray icon control against the real shell of the test session. Every record the control
// sends goes through a recorder that keeps it and then calls Shell_NotifyIconA; the shell's
// callbacks are delivered as the shell delivers them, as message 0x465 sent or posted to the
// control's window. Wine's shell keeps its icons like Windows' does, so a test can also ask it
// whether it still knows the icon.
#include "TrayIcon.h"

#include "Failure.h"
#include "Handles.h"
#include "MessagePump.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAA record;
};

std::vector<ShellCall> shellCalls;

BOOL WINAPI RecordShellCall(DWORD message, PNOTIFYICONDATAA record) {
    ShellCall call{};
    call.message = message;
    std::memcpy(&call.record, record, std::min<std::size_t>(record->cbSize, sizeof call.record));
    shellCalls.push_back(call);
    return Shell_NotifyIconA(message, record);
}

// Asks the shell itself whether it knows the icon: a modify of an unknown icon fails.
bool ShellKnowsIcon(HWND window) {
    NOTIFYICONDATAA probe{};
    probe.cbSize = kNotifyIconRecordSize;
    probe.hWnd = window;
    probe.uID = kTrayIconId;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

bool AllZero(const void* bytes, std::size_t size) {
    auto* p = static_cast<const unsigned char*>(bytes);
    return std::all_of(p, p + size, [](unsigned char c) { return c == 0; });
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

HICON TrayIconResource() {
    return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY_ICON));
}

class TrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shellCalls.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TrayTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, "TrayTestParent", "Tray test", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        if (IsWindow(parent)) DestroyWindow(parent);
        ProcessPendingEvents();
    }

    // The records with this message, in order.
    static std::vector<NOTIFYICONDATAA> Records(DWORD message) {
        std::vector<NOTIFYICONDATAA> found;
        for (const ShellCall& call : shellCalls)
            if (call.message == message) found.push_back(call.record);
        return found;
    }

    // A live control showing the tray icon with the tip "Parvalisk".
    void ShowIcon(TrayIcon& tray) {
        tray.Create(parent);
        tray.SetIcon(TrayIconResource());
        tray.SetTip("Parvalisk");
        tray.SetInTray(true);
        shellCalls.clear();
    }

    HWND parent = nullptr;
};

TEST_F(TrayTest, EachMouseCodeFromTheShellRaisesItsEvent) {
    struct Case {
        UINT code;
        const char* events;
    };
    const Case cases[] = {
        {0x200, "Move(0) "},
        {0x201, "Down(1,0) "},
        {0x202, "Up(1,0) "},
        {0x203, "DblClick(1,0) "},
        {0x204, "Down(2,0) "},
        {0x205, "Up(2,0) "},
        {0x206, "DblClick(2,0) "},
        {0x207, ""},
        {0x208, ""},  // middle button
        {0x209, ""},
        {0x20A, ""},
        {0x402, ""},  // wheel, balloon shown
    };
    TrayIcon tray{RecordShellCall};
    std::string events;
    tray.MouseMove = [&](int id) { events += "Move(" + std::to_string(id) + ") "; };
    tray.MouseDown = [&](int b, int id) {
        events += "Down(" + std::to_string(b) + "," + std::to_string(id) + ") ";
    };
    tray.MouseUp = [&](int b, int id) {
        events += "Up(" + std::to_string(b) + "," + std::to_string(id) + ") ";
    };
    tray.MouseDblClick = [&](int b, int id) {
        events += "DblClick(" + std::to_string(b) + "," + std::to_string(id) + ") ";
    };
    tray.Create(parent);

    // Not shown yet: the control's window does not listen for the shell.
    SendMessageA(tray.Window(), kTrayCallbackMessage, 0, WM_LBUTTONUP);
    EXPECT_EQ(events, "");

    tray.SetInTray(true);
    for (const Case& c : cases) {
        events.clear();
        SendMessageA(tray.Window(), kTrayCallbackMessage, kTrayIconId, c.code);
        EXPECT_EQ(events, c.events) << "mouse code 0x" << std::hex << c.code;
    }

    // A left click as the shell delivers it: down, then up. The identifier comes from wParam.
    events.clear();
    PostMessageA(tray.Window(), kTrayCallbackMessage, 0, WM_LBUTTONDOWN);
    PostMessageA(tray.Window(), kTrayCallbackMessage, 0, WM_LBUTTONUP);
    SendMessageA(tray.Window(), kTrayCallbackMessage, 7, WM_RBUTTONDBLCLK);
    ProcessPendingEvents();
    EXPECT_EQ(events, "DblClick(2,7) Down(1,0) Up(1,0) ");

    // Removed again: the window's own procedure is back and the shell's messages raise nothing.
    tray.SetInTray(false);
    events.clear();
    SendMessageA(tray.Window(), kTrayCallbackMessage, 0, WM_LBUTTONUP);
    EXPECT_EQ(events, "");
}

TEST_F(TrayTest, AddingSendsOneFullRecordAndHooksTheWindow) {
    TrayIcon tray{RecordShellCall};
    tray.Create(parent);
    HICON icon = TrayIconResource();
    tray.SetIcon(icon);
    tray.SetTip("Parvalisk");
    EXPECT_TRUE(shellCalls.empty()) << "nothing goes to the shell while the icon is not shown";

    tray.SetInTray(true);
    ASSERT_EQ(shellCalls.size(), 1u);
    ASSERT_EQ(shellCalls[0].message, static_cast<DWORD>(NIM_ADD));
    const NOTIFYICONDATAA& add = shellCalls[0].record;
    EXPECT_EQ(add.cbSize, 488u);
    EXPECT_EQ(add.hWnd, tray.Window());
    EXPECT_EQ(add.uID, 0u);
    EXPECT_EQ(add.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.uCallbackMessage, 0x465u);
    EXPECT_EQ(add.hIcon, icon);
    EXPECT_STREQ(add.szTip, "Parvalisk");
    EXPECT_TRUE(AllZero(add.szTip + 10, sizeof add.szTip - 10));
    EXPECT_TRUE(AllZero(add.szInfo, sizeof add.szInfo));
    EXPECT_TRUE(AllZero(add.szInfoTitle, sizeof add.szInfoTitle));
    EXPECT_EQ(add.uTimeout, 0u);
    EXPECT_EQ(add.dwState | add.dwStateMask | add.dwInfoFlags, 0u);
    EXPECT_TRUE(ShellKnowsIcon(tray.Window()));

    DWORD_PTR subclassed = 0;
    EXPECT_TRUE(GetWindowSubclass(tray.Window(), TrayCallbackProc, 1, &subclassed));
    EXPECT_EQ(subclassed, reinterpret_cast<DWORD_PTR>(&tray)) << "the callback reaches this control";
    EXPECT_TRUE(tray.InTray());
}

TEST_F(TrayTest, AnIconAddedWithoutTipOrPictureNamesNeither) {
    TrayIcon tray{RecordShellCall};
    tray.Create(parent);
    tray.SetInTray(true);
    ASSERT_EQ(Records(NIM_ADD).size(), 1u);
    NOTIFYICONDATAA add = Records(NIM_ADD)[0];
    EXPECT_EQ(add.uFlags, static_cast<UINT>(NIF_MESSAGE));
    EXPECT_EQ(add.hIcon, nullptr);
    EXPECT_TRUE(AllZero(add.szTip, sizeof add.szTip));
    EXPECT_EQ(add.uCallbackMessage, 0x465u);
}

TEST_F(TrayTest, ASecondInTrayTrueChangesNothing) {
    TrayIcon tray{RecordShellCall};
    tray.Create(parent);
    tray.SetInTray(true);
    tray.SetInTray(true);
    EXPECT_EQ(Records(NIM_ADD).size(), 1u) << "a second icon was added";
    EXPECT_EQ(shellCalls.size(), 1u);

    tray.SetInTray(false);
    EXPECT_EQ(Records(NIM_DELETE).size(), 1u);
    DWORD_PTR subclassed = 0;
    EXPECT_FALSE(GetWindowSubclass(tray.Window(), TrayCallbackProc, 1, &subclassed))
        << "the callback is heard only while the icon is shown";
    EXPECT_FALSE(ShellKnowsIcon(tray.Window()));
    tray.SetInTray(false);
    EXPECT_EQ(Records(NIM_DELETE).size(), 1u) << "a second False removed again";
}

TEST_F(TrayTest, TheReplacedProcedureForwardsEveryMessage) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    // The window's own procedure keeps it at 510 x 510 twips and DefWindowProc keeps its text:
    // both only work when TrayCallbackProc passes the messages on.
    HDC screen = GetDC(nullptr);
    int side = MulDiv(510, GetDeviceCaps(screen, LOGPIXELSX), 1440);
    ReleaseDC(nullptr, screen);
    SetWindowPos(tray.Window(), nullptr, 0, 0, 200, 90, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r{};
    GetWindowRect(tray.Window(), &r);
    EXPECT_EQ(r.right - r.left, side);
    EXPECT_EQ(r.bottom - r.top, side);
    SetWindowTextA(tray.Window(), "forwarded");
    char text[32] = "";
    GetWindowTextA(tray.Window(), text, sizeof text);
    EXPECT_STREQ(text, "forwarded");
    EXPECT_FALSE(IsWindowVisible(tray.Window()));
    EXPECT_EQ(GetParent(tray.Window()), parent);
}

TEST_F(TrayTest, BeforeCreateInTrayOnlyRemembersTheValue) {
    TrayIcon tray{RecordShellCall};
    tray.SetInTray(true);
    EXPECT_TRUE(tray.InTray());
    EXPECT_TRUE(shellCalls.empty());
    tray.Create(parent);
    tray.SetInTray(true);  // the same value: nothing happens
    EXPECT_TRUE(shellCalls.empty());
    tray.SetInTray(false);  // nothing was added, so nothing is removed
    EXPECT_TRUE(shellCalls.empty());
    EXPECT_FALSE(tray.InTray());
}

TEST_F(TrayTest, IconAndTipChangesWhileShownGoToTheShell) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    HICON other = LoadIconA(nullptr, IDI_APPLICATION);
    tray.SetIcon(other);
    tray.SetTip("");
    tray.SetTip("Blocked");
    ASSERT_EQ(shellCalls.size(), 3u);
    for (const ShellCall& call : shellCalls) EXPECT_EQ(call.message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(shellCalls[0].record.uFlags, static_cast<UINT>(NIF_ICON));
    EXPECT_EQ(shellCalls[0].record.hIcon, other);
    EXPECT_EQ(shellCalls[1].record.uFlags, static_cast<UINT>(NIF_TIP));
    EXPECT_STREQ(shellCalls[1].record.szTip, "") << "an empty tip clears the tooltip";
    EXPECT_EQ(shellCalls[2].record.uFlags, static_cast<UINT>(NIF_TIP));
    EXPECT_STREQ(shellCalls[2].record.szTip, "Blocked");
    for (const ShellCall& call : shellCalls) {
        EXPECT_EQ(call.record.cbSize, 488u);
        EXPECT_EQ(call.record.hWnd, tray.Window());
        EXPECT_EQ(call.record.uCallbackMessage, 0u);
    }
    EXPECT_EQ(tray.Icon(), other);
    EXPECT_EQ(tray.Tip(), "Blocked");

    // Nothing, or something that is not an icon, is ignored: nothing sent, nothing stored.
    shellCalls.clear();
    HBITMAP bitmap = CreateBitmap(16, 16, 1, 32, nullptr);
    tray.SetIcon(nullptr);
    tray.SetIcon(reinterpret_cast<HICON>(bitmap));
    DeleteObject(bitmap);
    EXPECT_TRUE(shellCalls.empty());
    EXPECT_EQ(tray.Icon(), other);
}

TEST_F(TrayTest, TextsAreCutToFitTheirFields) {
    struct Case {
        std::size_t length;
        std::size_t tip, text, title;  // what is left of a text of this length in each field
    };
    const Case cases[] = {
        {9, 9, 9, 9},        {63, 63, 63, 63},    {64, 64, 64, 63},    {127, 127, 127, 63},
        {128, 127, 128, 63}, {255, 127, 255, 63}, {256, 127, 255, 63}, {1000, 127, 255, 63},
    };
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    for (const Case& c : cases) {
        std::string source;
        for (std::size_t i = 0; i < c.length; ++i) source += static_cast<char>('a' + i % 26);
        shellCalls.clear();
        tray.SetTip(source);
        std::string text = source, title = source;
        text[0] = 'X';
        title[0] = 'T';
        tray.ShowBalloon(text, title, 0, false);
        ASSERT_EQ(shellCalls.size(), 2u);
        const NOTIFYICONDATAA& tip = shellCalls[0].record;
        const NOTIFYICONDATAA& balloon = shellCalls[1].record;
        EXPECT_EQ(std::string(tip.szTip), source.substr(0, c.tip)) << "tip of " << c.length;
        EXPECT_EQ(std::string(balloon.szInfo), text.substr(0, c.text)) << "text of " << c.length;
        EXPECT_EQ(std::string(balloon.szInfoTitle), title.substr(0, c.title)) << "title of " << c.length;
        EXPECT_EQ(tray.Tip(), source) << "the control keeps the whole tip";
    }
}

TEST_F(TrayTest, ABalloonWithoutSecondsIsShownAndLeftUp) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    for (long seconds : {0L, -5L}) {
        shellCalls.clear();
        Clock::time_point start = Clock::now();
        tray.ShowBalloon("Parvalisk is still running.", "Parvalisk", seconds, false);
        EXPECT_LT(MillisecondsSince(start), 1000) << "seconds " << seconds;
        ASSERT_EQ(shellCalls.size(), 1u) << "no removal for seconds " << seconds;
        const NOTIFYICONDATAA& r = shellCalls[0].record;
        EXPECT_EQ(shellCalls[0].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(r.cbSize, 488u);
        EXPECT_EQ(r.hWnd, tray.Window());
        EXPECT_EQ(r.uID, 0u);
        EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_INFO));
        EXPECT_EQ(r.uTimeout, 0u);
        EXPECT_STREQ(r.szInfo, "Parvalisk is still running.");
        EXPECT_STREQ(r.szInfoTitle, "Parvalisk");
        EXPECT_EQ(r.dwInfoFlags, 0u) << "the balloon carries no icon";
        EXPECT_TRUE(AllZero(r.szTip, sizeof r.szTip));
        EXPECT_EQ(r.hIcon, nullptr);
    }
}

TEST_F(TrayTest, EachBalloonNotificationEndsTheWaitWithoutARemoval) {
    const UINT notifications[] = {NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK};
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    for (UINT code : notifications) {
        // Already waiting in the queue when the balloon goes up.
        shellCalls.clear();
        PostMessageA(tray.Window(), kTrayCallbackMessage, kTrayIconId, code);
        Clock::time_point start = Clock::now();
        tray.ShowBalloon("text", "title", 20, false);
        EXPECT_LT(MillisecondsSince(start), 10000) << "notification 0x" << std::hex << code;
        ASSERT_EQ(shellCalls.size(), 1u)
            << "notification 0x" << std::hex << code << " was followed by a removal";
        EXPECT_EQ(shellCalls[0].record.uTimeout, 20000u);

        // Arriving from elsewhere while the control waits.
        shellCalls.clear();
        HWND window = tray.Window();
        std::thread shell([window, code] {
            Sleep(300);
            PostMessageA(window, kTrayCallbackMessage, kTrayIconId, code);
        });
        start = Clock::now();
        tray.ShowBalloon("text", "title", 20, false);
        long long waited = MillisecondsSince(start);
        shell.join();
        EXPECT_GE(waited, 250) << "the wait ended before the notification came";
        EXPECT_LT(waited, 10000) << "notification 0x" << std::hex << code << " did not end the wait";
        EXPECT_EQ(shellCalls.size(), 1u)
            << "notification 0x" << std::hex << code << " was followed by a removal";
    }
}

TEST_F(TrayTest, AWaitThatRunsOutRemovesTheBalloon) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    // Other messages keep arriving during the wait; only the balloon notifications end it.
    PostMessageA(tray.Window(), kTrayCallbackMessage, kTrayIconId, WM_MOUSEMOVE);
    PostMessageA(tray.Window(), kTrayCallbackMessage, kTrayIconId, NIN_BALLOONSHOW);
    int moves = 0;
    tray.MouseMove = [&](int) { ++moves; };
    // A watched handle signalled during the wait is handled as it comes, not after the balloon.
    UniqueKernelHandle change(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::optional<long long> handledAt;
    Clock::time_point start = Clock::now();
    WatchHandle(change.get(), [&] {
        handledAt = MillisecondsSince(start);
        ResetEvent(change.get());
    });
    std::thread other([&] {
        Sleep(200);
        SetEvent(change.get());
    });
    tray.ShowBalloon("text", "title", 1, false);
    long long waited = MillisecondsSince(start);
    other.join();
    UnwatchHandle(change.get());
    ASSERT_TRUE(handledAt.has_value());
    EXPECT_LT(*handledAt, 900) << "the watched handle waited for the balloon";
    EXPECT_GE(waited, 950);
    EXPECT_LT(waited, 5000);
    EXPECT_EQ(moves, 1) << "the wait processes the window's messages";
    ASSERT_EQ(shellCalls.size(), 2u);
    EXPECT_EQ(shellCalls[0].record.uTimeout, 1000u);
    EXPECT_STREQ(shellCalls[0].record.szInfo, "text");
    const NOTIFYICONDATAA& removal = shellCalls[1].record;
    EXPECT_EQ(shellCalls[1].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(removal.cbSize, 488u);
    EXPECT_EQ(removal.hWnd, tray.Window());
    EXPECT_EQ(removal.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_TRUE(AllZero(removal.szInfo, sizeof removal.szInfo));
    EXPECT_TRUE(AllZero(removal.szInfoTitle, sizeof removal.szInfoTitle));
    EXPECT_EQ(removal.uTimeout, 0u);
}

TEST_F(TrayTest, ABalloonWithoutAnIconWaitsTheFullTimeAndCounts) {
    TrayIcon tray{RecordShellCall};
    tray.Create(parent);
    // No icon, so no balloon notification ever comes: the whole second passes.
    Clock::time_point start = Clock::now();
    tray.ShowBalloon("text", "title", 1, true);
    EXPECT_GE(MillisecondsSince(start), 950);
    std::vector<NOTIFYICONDATAA> sent = Records(NIM_MODIFY);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_STREQ(sent[0].szInfo, "text");
    EXPECT_STREQ(sent[1].szInfo, "") << "the removal follows";
    tray.ShowBalloon("text", "title", 1, true);
    EXPECT_EQ(shellCalls.size(), 2u) << "the once balloon was counted";
}

TEST_F(TrayTest, AOnceBalloonShowsOnlyOnceInTheControlsLife) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    tray.ShowBalloon("not counted", "title", 0, false);
    tray.ShowBalloon("first", "title", 0, true);
    tray.ShowBalloon("second", "title", 0, true);
    tray.ShowBalloon("again", "title", 0, false);
    std::vector<NOTIFYICONDATAA> shown = Records(NIM_MODIFY);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_STREQ(shown[0].szInfo, "not counted");
    EXPECT_STREQ(shown[1].szInfo, "first");
    EXPECT_STREQ(shown[2].szInfo, "again");
}

TEST_F(TrayTest, SecondsBeyondTheLimitFailBeforeAnythingIsShown) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    for (long seconds : {2147484L, 3000000L, 2147483647L})
        EXPECT_THROW(tray.ShowBalloon("text", "title", seconds, true), Failure) << "seconds " << seconds;
    EXPECT_TRUE(shellCalls.empty());

    // The largest allowed value is shown (ended here by the shell's hide notification), and the
    // failed once balloons were not counted.
    PostMessageA(tray.Window(), kTrayCallbackMessage, kTrayIconId, NIN_BALLOONHIDE);
    tray.ShowBalloon("text", "title", 2147483, true);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].record.uTimeout, 2147483000u);
}

TEST_F(TrayTest, DestructionRemovesTheIcon) {
    HWND window = nullptr;
    {
        TrayIcon tray{RecordShellCall};
        ShowIcon(tray);
        window = tray.Window();
        ASSERT_TRUE(ShellKnowsIcon(window));
    }
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(shellCalls[0].record.hWnd, window);
    EXPECT_EQ(shellCalls[0].record.cbSize, 488u);
    EXPECT_FALSE(ShellKnowsIcon(window));
    EXPECT_FALSE(IsWindow(window)) << "the control's window outlives the control";

    // The main window goes first and takes the control's window with it.
    shellCalls.clear();
    {
        TrayIcon tray{RecordShellCall};
        ShowIcon(tray);
        window = tray.Window();
        DestroyWindow(parent);
        EXPECT_TRUE(shellCalls.empty());
    }
    ASSERT_EQ(Records(NIM_DELETE).size(), 1u);
    EXPECT_EQ(Records(NIM_DELETE)[0].hWnd, window);
    EXPECT_FALSE(ShellKnowsIcon(window));
}

TEST_F(TrayTest, ARestartedTaskbarGetsTheIconBack) {
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    HWND window = tray.Window();
    // Explorer restarts: its icons are gone, and it tells every top-level window.
    NOTIFYICONDATAA forget{};
    forget.cbSize = kNotifyIconRecordSize;
    forget.hWnd = window;
    forget.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &forget);
    ASSERT_FALSE(ShellKnowsIcon(window));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);

    ASSERT_EQ(Records(NIM_ADD).size(), 1u);
    NOTIFYICONDATAA add = Records(NIM_ADD)[0];
    EXPECT_EQ(add.cbSize, 488u);
    EXPECT_EQ(add.hWnd, window);
    EXPECT_EQ(add.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.hIcon, TrayIconResource());
    EXPECT_STREQ(add.szTip, "Parvalisk");
    EXPECT_EQ(add.uCallbackMessage, 0x465u);
    EXPECT_TRUE(ShellKnowsIcon(window));

    // The icon still answers the mouse after coming back.
    int ups = 0;
    tray.MouseUp = [&](int, int) { ++ups; };
    SendMessageA(window, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONUP);
    EXPECT_EQ(ups, 1);

    // A hidden icon stays hidden when the taskbar comes back.
    tray.SetInTray(false);
    shellCalls.clear();
    SendMessageTimeoutA(HWND_BROADCAST, TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
    EXPECT_TRUE(shellCalls.empty());
    EXPECT_FALSE(ShellKnowsIcon(window));
}

TEST_F(TrayTest, TheTaskbarWatchLastsAsLongAsTheControlAndItsWindow) {
    // A control that goes first stops watching its window: the broadcast never reaches it again.
    UINT_PTR watch = 0;
    {
        TrayIcon tray{RecordShellCall};
        ShowIcon(tray);
        watch = reinterpret_cast<UINT_PTR>(&tray);
        DWORD_PTR data = 0;
        ASSERT_TRUE(GetWindowSubclass(parent, TaskbarWatchProc, watch, &data));
        EXPECT_EQ(data, watch);
    }
    DWORD_PTR data = 0;
    EXPECT_FALSE(GetWindowSubclass(parent, TaskbarWatchProc, watch, &data));
    shellCalls.clear();
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, TaskbarCreatedMessage(), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
    EXPECT_TRUE(shellCalls.empty());

    // A window that goes first takes the watch and the control's window with it; the control then
    // ends quietly.
    TrayIcon tray{RecordShellCall};
    ShowIcon(tray);
    HWND window = tray.Window();
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace

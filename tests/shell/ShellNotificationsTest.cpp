#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ShellNotifications.h"
#include "support/WaitUntil.h"

namespace {

struct Given {
    DWORD message;
    UINT id;
    DWORD threadId;
};
std::mutex givenMutex;
std::vector<Given> given;
HWND callBackTo = nullptr;  // when set, the "shell" sends this window a message for each record
int callBacks = 0;

std::vector<Given> GivenSoFar() {
    std::lock_guard<std::mutex> lock(givenMutex);
    return given;
}

// A shell that takes its time over every record, and may call the owner's window back.
BOOL WINAPI SlowShell(DWORD message, PNOTIFYICONDATAA record) {
    Sleep(40);
    if (callBackTo != nullptr) SendMessageA(callBackTo, WM_USER, 0, 0);
    std::lock_guard<std::mutex> lock(givenMutex);
    given.push_back({message, record->uID, GetCurrentThreadId()});
    return TRUE;
}

NOTIFYICONDATAA Record(UINT id) {
    NOTIFYICONDATAA record{};
    record.cbSize = sizeof record;
    record.uID = id;
    return record;
}

LRESULT CALLBACK CountingProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER) ++callBacks;
    return DefWindowProcA(window, msg, wp, lp);
}

class ShellNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        given.clear();
        callBackTo = nullptr;
        callBacks = 0;
    }
};

TEST_F(ShellNotificationsTest, RecordsReachTheShellInOrderWithoutTheCallerWaiting) {
    ShellNotificationQueue queue(SlowShell);
    const DWORD messages[] = {NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_DELETE, NIM_ADD};
    DWORD started = GetTickCount();
    for (UINT id = 0; id < 5; ++id) queue.Send(messages[id], Record(id));
    EXPECT_LT(GetTickCount() - started, 100u)
        << "the five records take the shell 200 ms; the caller did not wait";
    EXPECT_LT(GivenSoFar().size(), 5u);

    queue.Finish();
    std::vector<Given> all = GivenSoFar();
    ASSERT_EQ(all.size(), 5u) << "Finish returns only when the shell has every record";
    for (UINT id = 0; id < 5; ++id) {
        EXPECT_EQ(all[id].id, id) << "in the order sent";
        EXPECT_EQ(all[id].message, messages[id]);
        EXPECT_NE(all[id].threadId, GetCurrentThreadId()) << "given from the queue's own thread";
    }
    queue.Finish();  // nothing queued: returns at once
}

TEST_F(ShellNotificationsTest, AShellThatCallsTheWindowBackDoesNotHangTheWait) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ShellNotificationsTestOwner";
    RegisterClassA(&wc);
    HWND owner = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    ASSERT_NE(owner, nullptr);
    callBackTo = owner;
    {
        ShellNotificationQueue queue(SlowShell);
        queue.Send(NIM_ADD, Record(1));
        queue.Send(NIM_DELETE, Record(1));
        queue.Finish();  // would wait for ever if the sent messages were not handled meanwhile
        EXPECT_EQ(callBacks, 2);
        EXPECT_EQ(GivenSoFar().size(), 2u);
    }
    DestroyWindow(owner);
}

TEST_F(ShellNotificationsTest, TheEndOfTheQueueStillGivesWhatIsQueued) {
    {
        ShellNotificationQueue queue(SlowShell);
        for (UINT id = 0; id < 3; ++id) queue.Send(NIM_MODIFY, Record(id));
    }
    std::vector<Given> all = GivenSoFar();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].id, 2u);
}

// A shell that never answers: its send blocks until the test lets it go at the end.
HANDLE shellReleased = nullptr;
BOOL WINAPI HangingShell(DWORD message, PNOTIFYICONDATAA record) {
    WaitForSingleObject(shellReleased, INFINITE);
    std::lock_guard<std::mutex> lock(givenMutex);
    given.push_back({message, record->uID, GetCurrentThreadId()});
    return TRUE;
}

TEST_F(ShellNotificationsTest, AShellThatNeverAnswersHoldsTheEndOnlyWithinItsBounds) {
    // Wine's shell always answers, so the hanging shell is played through the queue's send. The
    // waits run on a thread of their own, so that a wait without a bound fails the test instead
    // of hanging it.
    shellReleased = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(shellReleased, nullptr);
    const DWORD kFinishBound = 500;
    DWORD finishMs = 0, endMs = 0;
    bool finished = true;
    HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread closing([&] {
        auto queue = std::make_unique<ShellNotificationQueue>(HangingShell);
        queue->Send(NIM_ADD, Record(1));
        queue->Send(NIM_DELETE, Record(1));
        DWORD started = GetTickCount();
        finished = queue->Finish(kFinishBound);
        finishMs = GetTickCount() - started;
        started = GetTickCount();
        queue.reset();  // while its thread is still inside the shell
        endMs = GetTickCount() - started;
        SetEvent(ended);
    });
    bool endedInTime =
        WaitForSingleObject(ended, kFinishBound + kShellQueueEndBoundMs + 5000) == WAIT_OBJECT_0;
    SetEvent(shellReleased);  // lets a wait without a bound, or the thread left behind, go on
    closing.join();
    EXPECT_TRUE(endedInTime) << "the wait for a shell that never answers has no bound";
    EXPECT_FALSE(finished) << "Finish says the shell did not take everything";
    EXPECT_GE(finishMs, kFinishBound - 50);
    EXPECT_LT(finishMs, kFinishBound + 1000) << "Finish keeps to its bound";
    EXPECT_LT(endMs, kShellQueueEndBoundMs + 1000) << "the end of the queue keeps to its bound";
    // A close waits at most for the session's end, the tray control's end and the queue's end.
    EXPECT_LT(2 * kShellNotificationsFinishBoundMs + kShellQueueEndBoundMs, 10000u)
        << "the program would not end within 10 s of its close";

    // The thread left behind owns what it works on: released, it still gives both records.
    WaitUntil([] { return GivenSoFar().size() >= 2; }, 2000, 10);
    EXPECT_EQ(GivenSoFar().size(), 2u);
    CloseHandle(ended);
}

}  // namespace

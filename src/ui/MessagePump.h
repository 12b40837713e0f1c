#pragma once
// The program's one message loop, and the "let pending window events run" step that several
// procedures take in the middle of their work. Besides its messages the loop waits on the
// handles watched through it (a folder's change notification, say), on the one GUI thread: no
// timer, no polling and no second thread.

#include <windows.h>

#include <functional>

// Windows whose keys go through IsDialogMessageA, so Tab walks their controls in tab order.
void RegisterDialogWindow(HWND window);
void UnregisterDialogWindow(HWND window);

// While watched, `signalled` runs on the GUI thread each time the handle is signalled.
void WatchHandle(HANDLE handle, std::function<void()> signalled);
void UnwatchHandle(HANDLE handle);

// Dispatches every message already waiting and handles the watched handles that are signalled,
// then returns (one pass; never blocks).
void ProcessPendingEvents();

// Waits up to `milliseconds` for `handle` (nullptr: only for the time) while messages and watched
// handles are handled as they come, so the windows keep answering during a wait on another part.
// True once the handle is signalled. A quit that comes meanwhile is left for the main loop.
bool WaitWhileEventsRun(HANDLE handle, DWORD milliseconds);

// Waits up to `milliseconds` until a message or a signalled watched handle is ready, without
// handling it (ProcessPendingEvents does that).
void WaitUntilEventsReady(DWORD milliseconds);

// Waits up to `milliseconds` for a message or a signalled watched handle, then handles what is
// ready. False once the quit message came (its exit code in `exitCode`).
bool WaitForEvents(DWORD milliseconds, int& exitCode);

// Runs the loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

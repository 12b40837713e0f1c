#pragma once
// The program's one message loop, and the "let pending window events run" step that several
// procedures take in the middle of their work.

#include <windows.h>

// Windows whose keys go through IsDialogMessageA, so Tab walks their controls in tab order.
void RegisterDialogWindow(HWND window);
void UnregisterDialogWindow(HWND window);

// Dispatches every message already waiting, then returns (one pass; never blocks).
void ProcessPendingEvents();

// Runs the loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

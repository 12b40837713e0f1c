#pragma once
// The pointer rule every window of the program follows: the window's hand pointer over its push
// buttons, the default pointer over its surface, and no change while the hourglass shows (a long
// operation is running).

#include <windows.h>

enum class Pointer { Default, Busy, Hand };

// Where the mouse moved.
enum class PointerArea {
    PushButton,  // any push button of the window
    Surface,     // the window's own background, and the controls that reset the pointer with it
};

// The window's pointer after a mouse move.
Pointer PointerAfterMouseMove(Pointer current, PointerArea over);

// Shows the pointer in answer to WM_SETCURSOR: the hourglass, or the hand (the arrow when the
// window has no hand pointer). False for the default pointer: the window's class cursor shows.
bool ShowPointer(Pointer pointer, HCURSOR hand);

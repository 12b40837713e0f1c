#pragma once
// The Start/Stop and Help buttons' messages, and the pointer rule every window follows.

inline constexpr char kHelpMessage[] =
    "You must be logged in as Administrator in Windows in order to block sites. You must also have your "
    "User Account Control settings set low.";
inline constexpr char kAdministratorMessage[] =
    "You must be logged in as Administrator in Windows in order to block sites.";
inline constexpr char kEmptyListMessage[] = "Please add site to block.";

// Where the mouse moved, for the pointer rule.
enum class PointerArea {
    PushButton,  // any push button of the window
    Surface,     // the window's own background, and the controls that reset the pointer with it
};

// The window's pointer state after a mouse move: the custom hand pointer (99) over a push button,
// the default pointer (0) over the surface; nothing changes while the hourglass (11) shows.
int PointerAfterMouseMove(int current, PointerArea over);

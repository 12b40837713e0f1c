#pragma once
// The common look of the program's windows: application title, button-face colours, the optional
// skin, the hand pointer and the program icon. None of these shows a message of its own.

#include <windows.h>

#include <span>
#include <string>

#include "Controls.h"
#include "ProgramPaths.h"

// The title message boxes and input boxes show when they name none of their own.
const std::string& ApplicationTitle();
// Sets ApplicationTitle from the product name (cut at its last space, then while longer than 40).
void SetApplicationTitle();
// The cutting rule on its own.
std::string CutApplicationTitle(std::string name);

// The optional presentation files of the program folder.
inline constexpr char kSkinFileName[] = "x\\o.cjs";
inline constexpr char kHandPointerFileName[] = "HAND-M.CUR";

// The window's background and its option buttons, check boxes, frames and labels take the system
// button-face colour; every other kind of control (buttons, list views, text boxes) keeps its own.
void ApplyButtonFaceColours(HWND window, std::span<Control* const> controls);
// True for the kinds of control that ApplyButtonFaceColours colours.
bool TakesButtonFaceColour(HWND control);

// The main window's look: when the program folder holds the skin file, the button-face colours
// as above. The skin engine itself is not part of this program, so the look stops there; without
// the file nothing changes and the window keeps the colours of its layout.
void ApplySkin(HWND window, std::span<Control* const> controls);

// Loads the program folder's "HAND-M.CUR" as the window's hand pointer when the file exists
// (pointer is left alone otherwise). A file that exists but is no pointer raises a Failure.
void LoadHandPointer(HCURSOR& pointer);

// The program icon at the system's size for large (SM_CXICON) or small (SM_CXSMICON) icons; a
// shared handle, never to be destroyed. Null when the resource cannot be loaded.
HICON ProgramIcon(bool small);

// The program icon as the window's large icon, and as its small one unless the window's class
// already gives the program's small icon.
void SetProgramIcon(HWND window);

#pragma once
// The common look of the program's windows: application title, button-face colours, the optional
// skin, the hand pointer and the program icon.

#include <windows.h>

#include <string>

inline constexpr char kProductName[] = "Parvalisk";

// The title message boxes and input boxes show when they name none of their own.
const std::string& ApplicationTitle();
// Sets ApplicationTitle from the product name (cut at its last space, then while longer than 40).
void SetApplicationTitle();
// The cutting rule on its own.
std::string CutApplicationTitle(std::string name);

// The folder of the program's executable, without a trailing backslash (unless a drive root).
std::string ProgramFolder();
// The full path of the program's executable.
std::string ProgramPath();

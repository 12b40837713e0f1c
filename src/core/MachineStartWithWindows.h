#pragma once
// Start with Windows for the whole machine, written for a program at a given path: its value
// under the Run key and the start-with-Windows marker in the data folder. A part that acts for the program
// (and not as the program) says which program starts and where the key and the folder are.

#include <windows.h>

#include <string>

struct StartWithWindowsPlace {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::string runKeyPath;   // kRunKeyPath for the machine
    std::string dataFolder;   // holds the start-with-Windows marker
    std::string programPath;  // the program that starts with Windows
};

// The Run value's name for the program: the file name of its path.
std::string RunValueName(const std::string& programPath);
// The Run value's data: the program's path, in double quotes when it holds a space (an unquoted
// path with a space lets Windows start a program at a shorter path, such as "C:\Program.exe").
std::string RunValueData(const std::string& programPath);

// Switches start with Windows on (the Run value and the marker holding one space written) or off
// (both removed). Silent, as the program's own switch: without the rights for the key or the
// folder nothing changes there.
void SwitchMachineStartWithWindows(bool on, const StartWithWindowsPlace& place);

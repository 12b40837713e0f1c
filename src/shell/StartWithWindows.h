#pragma once
// Start with Windows for the machine: the Run entry and the start-with-Windows marker DataFolder + "\iStart"
// (holding one space). The marker exists exactly while start with Windows is switched on from the
// main window, for every user of the machine.

#include <string>

#include "ProgramPaths.h"

// Switches start with Windows on (the Run entry and the marker written) or off (both removed).
// Silent: without the rights for the Run key or the data folder nothing changes there.
void SwitchStartWithWindows(bool on, const std::string& dataFolder);

// True when an ordinary file (not a folder, not hidden, not system) is the marker in the folder.
bool StartWithWindowsMarkerExists(const std::string& dataFolder);

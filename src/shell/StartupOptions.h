#pragma once
// The start-with-Windows marker: DataFolder + "\iStart", holding one space. It exists exactly
// while start with Windows is switched on from the main window, for every user of the machine.

#include <string>

inline constexpr char kStartupMarkerSuffix[] = "\\iStart";
inline constexpr char kStartupMarkerText[] = " ";

// True when an ordinary file (not a folder, not hidden, not system) is the marker in the folder.
bool StartupMarkerExists(const std::string& dataFolder);

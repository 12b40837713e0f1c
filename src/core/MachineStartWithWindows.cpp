#include "MachineStartWithWindows.h"

#include "Failure.h"
#include "FileHelpers.h"
#include "ProgramPaths.h"
#include "Registry.h"

namespace {

constexpr char kMarkerText[] = " ";

}  // namespace

std::string RunValueName(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("\\/");
    return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

std::string RunValueData(const std::string& programPath) {
    if (programPath.find(' ') != std::string::npos) return "\"" + programPath + "\"";
    return programPath;
}

void SwitchMachineStartWithWindows(bool on, const StartWithWindowsPlace& place) {
    const std::string name = RunValueName(place.programPath);
    if (on) {
        if (!name.empty())
            WriteRegValue(place.root, place.runKeyPath, kRunKeyAccess, name, RunValueData(place.programPath),
                          REG_SZ);
        try {
            WriteFileText(StartWithWindowsMarkerPath(place.dataFolder), kMarkerText);
        } catch (const Failure&) {
            // A marker that cannot be read back is as silent as one that cannot be written.
        }
    } else {
        if (!name.empty()) DeleteRegValue(place.root, place.runKeyPath, kRunKeyAccess, name);
        DeleteFileForced(StartWithWindowsMarkerPath(place.dataFolder));
    }
}

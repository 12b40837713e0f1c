#include "MachineStartup.h"

#include "Failure.h"
#include "FileHelpers.h"
#include "ProgramPaths.h"
#include "Registry.h"

namespace {

constexpr char kMarkerText[] = " ";

}  // namespace

std::string StartupValueName(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("\\/");
    return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

std::string StartupValueData(const std::string& programPath) {
    if (programPath.find(' ') != std::string::npos) return "\"" + programPath + "\"";
    return programPath;
}

void SwitchMachineStartup(bool on, const MachineStartupPlace& place) {
    const std::string name = StartupValueName(place.programPath);
    if (on) {
        if (!name.empty())
            WriteRegValue(place.root, place.runKeyPath, kRunKeyAccess, name,
                          StartupValueData(place.programPath), REG_SZ);
        try {
            WriteFileText(StartupMarkerPath(place.dataFolder), kMarkerText);
        } catch (const Failure&) {
            // A marker that cannot be read back is as silent as one that cannot be written.
        }
    } else {
        if (!name.empty()) DeleteRegValue(place.root, place.runKeyPath, kRunKeyAccess, name);
        DeleteFileForced(StartupMarkerPath(place.dataFolder));
    }
}

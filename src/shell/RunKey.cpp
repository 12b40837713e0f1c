#include "RunKey.h"

#include "MachineStartup.h"
#include "ProgramPaths.h"

std::string StartupEntryName() {
    return StartupValueName(ProgramPath());
}

std::string RunEntryData(const std::string& folder, const std::string& name) {
    return StartupValueData(folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name);
}

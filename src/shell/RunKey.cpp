#include "RunKey.h"

#include "Appearance.h"
#include "Registry.h"

std::string StartupEntryName() {
    std::string path = ProgramPath();
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AddStartupEntry() {
    std::string name = StartupEntryName();
    if (!name.empty())
        WriteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunKeyAccess, name,
                      RunEntryData(ProgramFolder(), name), REG_SZ);
}

void RemoveStartupEntry() {
    std::string name = StartupEntryName();
    if (!name.empty()) DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunKeyAccess, name);
}

std::string RunEntryData(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '\\') path += '\\';
    path += name;
    if (path.find(' ') != std::string::npos) return "\"" + path + "\"";
    return path;
}

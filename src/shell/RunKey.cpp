#include "shell/RunKey.h"

#include <cerrno>
#include <cstdlib>

#include "core/Failure.h"
#include "core/Handles.h"
#include "ui/Appearance.h"

namespace mStartUp {

std::string StartupEntryName() {
    std::string path = ProgramPath();
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SetStartupEntry() {
    std::string name = StartupEntryName();
    if (!name.empty()) RegStuff::WriteRunEntry(name);
}

void ClearStartupEntry() {
    std::string name = StartupEntryName();
    if (!name.empty()) RegStuff::DeleteRunEntry(name);
}

}  // namespace mStartUp

namespace RegStuff {

std::string RunEntryData(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '\\') path += '\\';
    path += name;
    if (path.find(' ') != std::string::npos) return "\"" + path + "\"";
    return path;
}

void WriteRunEntry(const std::string& name) {
    WriteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, name, RunEntryData(ProgramFolder(), name), REG_SZ);
}

void DeleteRunEntry(const std::string& name) { DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, name); }

void WriteRegValue(HKEY root, const std::string& subKey, const std::string& name, const std::string& data,
                   DWORD type) {
    UniqueKey key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, kRunKeyAccess, key.put()) != ERROR_SUCCESS) return;
    SetValueData(key.get(), name, type, data);
}

LONG SetValueData(HKEY key, const std::string& name, DWORD type, const std::string& data) {
    if (type == REG_SZ) {
        return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>(data.size() + 1));
    }
    if (type == REG_DWORD) {
        char* end = nullptr;
        errno = 0;
        long long number = std::strtoll(data.c_str(), &end, 10);
        while (end != nullptr && *end == ' ') ++end;
        if (data.empty() || end == nullptr || *end != '\0' || errno == ERANGE || number < INT32_MIN ||
            number > UINT32_MAX)
            throw Failure("Type mismatch");
        DWORD value = static_cast<DWORD>(number);
        return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }
    return ERROR_SUCCESS;
}

void DeleteRegValue(HKEY root, const std::string& subKey, const std::string& name) {
    UniqueKey key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, kRunKeyAccess, key.put()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.get(), name.c_str());
}

}  // namespace RegStuff

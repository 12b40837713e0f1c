#include "ProgramPaths.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "Handles.h"

std::string SpecialFolderPath(int folder) {
    // Read from the shell's folder table: the item-list route gives the same path but starts COM
    // (ole32 and the RPC runtime) on the way, at every start of the program, before its window.
    char path[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return "";
    const std::string buffer = path;
    size_t first = buffer.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    size_t last = buffer.find_last_not_of(' ');
    return buffer.substr(first, last - first + 1);
}

std::string MakerFolderPath(const std::string& commonAppData) {
    return commonAppData + "\\" + kMakerName;
}

std::string DataFolderPath(const std::string& commonAppData) {
    return MakerFolderPath(commonAppData) + "\\" + kProductName;
}

std::string HostsBackupPath(const std::string& dataFolder) {
    return dataFolder + "\\hosts";
}

std::string BlockedEntriesPath(const std::string& dataFolder) {
    return dataFolder + "\\blocked";
}

std::string ScheduleFilePath(const std::string& dataFolder) {
    return dataFolder + "\\schedule";
}

std::string ScheduledEntriesPath(const std::string& dataFolder) {
    return dataFolder + "\\scheduled";
}

std::string LiftFilePath(const std::string& dataFolder) {
    return dataFolder + "\\lift";
}

std::string StartWithWindowsMarkerPath(const std::string& dataFolder) {
    return dataFolder + kStartWithWindowsMarkerSuffix;
}

namespace {

constexpr char kTcpipParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// The system's Windows folder (not the per-user one a terminal server may give, nor %windir%).
std::string SystemWindowsFolder() {
    char folder[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "C:\\Windows";
    return std::string(folder, length);
}

// Replaces every %name% (any letter case) by the text.
std::string ReplaceVariable(std::string text, const std::string& name, const std::string& by) {
    const std::string wanted = "%" + name + "%";
    for (size_t at = 0; at + wanted.size() <= text.size();) {
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.data() + at,
                           static_cast<int>(wanted.size()), wanted.data(),
                           static_cast<int>(wanted.size())) == CSTR_EQUAL) {
            text.replace(at, wanted.size(), by);
            at += by.size();
        } else {
            ++at;
        }
    }
    return text;
}

bool IsFullPath(const std::string& path) {
    bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                 path[2] == '\\';
    bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
    return drive || share;
}

}  // namespace

std::string HostsFolderFromDatabasePath(const std::string& value, const std::string& windowsFolder) {
    std::string folder =
        ReplaceVariable(ReplaceVariable(value, "SystemRoot", windowsFolder), "windir", windowsFolder);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (folder.find('%') != std::string::npos || !IsFullPath(folder))
        return windowsFolder + "\\system32\\drivers\\etc";
    return folder;
}

std::string SystemHostsFilePath() {
    std::string value;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTcpipParametersKey, 0, KEY_QUERY_VALUE, key.put()) ==
        ERROR_SUCCESS) {
        char data[MAX_PATH * 2] = "";
        DWORD size = sizeof data - 1;
        DWORD type = REG_NONE;
        // Read raw, so %SystemRoot% is expanded below from the system and not from this
        // process's environment.
        if (RegQueryValueExA(key.get(), "DataBasePath", nullptr, &type, reinterpret_cast<BYTE*>(data),
                             &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ))
            value.assign(data, strnlen(data, size));
    }
    std::string folder = HostsFolderFromDatabasePath(value, SystemWindowsFolder());
    return folder + (folder.back() == '\\' ? "" : "\\") + "hosts";
}

std::string ProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD got = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return "";
    std::string folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

std::string ProgramFolderFile(const std::string& relative) {
    std::string path = ProgramFolder();
    if (path.empty() || path.back() != '\\') path += '\\';
    return path + relative;
}

#include "core/HostsText.h"

#include <windows.h>

#include "core/Failure.h"
#include "core/FileHelpers.h"

namespace {
constexpr size_t kLineBreakSize = 2;
constexpr size_t kPrefixSize = sizeof kBlockLinePrefix - 1;
}  // namespace

std::string_view HostNameOfEntry(const std::string& entry) {
    std::string_view name = entry;
    return name.substr(0, name.find_first_of("\r\n"));
}

void AppendBlockLine(std::string& text, const std::string& entry) {
    text.append(kBlockLinePrefix, kPrefixSize);
    text.append(HostNameOfEntry(entry));
    text.append("\r\n", kLineBreakSize);
}

size_t BlockedHostsSize(size_t previousSize, const std::vector<std::string>& entries) {
    size_t size = previousSize + kLineBreakSize;
    for (const std::string& entry : entries) size += kPrefixSize + HostNameOfEntry(entry).size() + kLineBreakSize;
    return size;
}

HostsContent ReadHostsForBlocking(const std::string& hostsPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(hostsPath.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        // Only a file that is surely absent counts as missing; a file that cannot be looked at
        // may hold content that must not be written over.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, ""};
        ThrowWin32Error(error);
    }
    bool empty = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 &&
                 data.nFileSizeLow == 0;
    if (empty) return {true, ""};
    return {true, ReadFileText(hostsPath)};
}

#include "core/FileHelpers.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "core/Failure.h"
#include "core/Handles.h"
#include "ui/MessagePump.h"

std::string SpecialFolderPath(int folder) {
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, folder, &items) != S_OK || items == nullptr) return "";
    std::string buffer(512, ' ');
    BOOL ok = SHGetPathFromIDListA(items, buffer.data());
    CoTaskMemFree(items);
    if (!ok) return "";
    buffer.erase(std::remove(buffer.begin(), buffer.end(), '\0'), buffer.end());
    size_t first = buffer.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    size_t last = buffer.find_last_not_of(' ');
    return buffer.substr(first, last - first + 1);
}

bool FileExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

std::string ReadFileText(const std::string& path) {
    if (!FileExists(path)) return "";
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (!file) ThrowWin32Error();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) ThrowWin32Error();
    if (size.QuadPart <= 0) return "empty file";
    if (size.QuadPart > 0x7FFFFFFF) ThrowWin32Error(ERROR_NOT_ENOUGH_MEMORY);
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < text.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 24));
        DWORD got = 0;
        if (!ReadFile(file.get(), text.data() + done, chunk, &got, nullptr)) ThrowWin32Error();
        if (got == 0) break;  // the file shrank while we read it
        done += got;
    }
    text.resize(done);
    return text;
}

bool WriteFileText(const std::string& path, const std::string& text) {
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr)};
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
    return written == text.size() && FlushFileBuffers(file.get());
}

bool TryCopyFile(const std::string& source, const std::string& destination) {
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
}

void DeleteFileForced(const std::string& path) {
    ProcessPendingEvents();
    if (DeleteFileA(path.c_str())) return;
    // The forced delete: clear a read-only attribute, then delete again.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    SetFileAttributesA(path.c_str(), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                                    FILE_ATTRIBUTE_HIDDEN));
    DeleteFileA(path.c_str());
}

std::string HostsFilePath() {
    DWORD needed = GetEnvironmentVariableA("WINDIR", nullptr, 0);
    std::string windir;
    if (needed > 0) {
        windir.resize(needed);
        DWORD got = GetEnvironmentVariableA("WINDIR", windir.data(), needed);
        windir.resize(got < needed ? got : 0);
    }
    return windir + "\\system32\\drivers\\etc\\hosts";
}

namespace {
std::string& CommonAppDataOverride() {
    static std::string path;
    return path;
}
}  // namespace

std::string CommonAppDataPath() {
    const std::string& path = CommonAppDataOverride();
    return path.empty() ? SpecialFolderPath(kCommonAppDataFolder) : path;
}

void SetCommonAppDataPathForTests(const std::string& path) { CommonAppDataOverride() = path; }

#include "Registry.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "Failure.h"
#include "Handles.h"
#include "UserTexts.h"

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The key's longest value length
// (which for text is at least its ANSI length) sizes the buffer before the value is asked for,
// so a list of many megabytes is fetched once rather than once for its size and once for its
// bytes. The buffer is left uninitialised, so a short value beside a long one costs only an
// untouched allocation.
bool QueryValue(HKEY key, const std::string& name, DWORD& type, std::string& text) {
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longest, nullptr, nullptr) != ERROR_SUCCESS)
        longest = 0;  // the query below reports the size it needs
    DWORD capacity = longest;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
    if (!buffer) {
        // Another value of the section is too big to hold; this one may well be small.
        capacity = 256;
        buffer.reset(new char[capacity]);
    }
    for (;;) {
        DWORD size = capacity;
        LONG status =
            RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.get()), &size);
        if (status == ERROR_FILE_NOT_FOUND) return false;
        if (status == ERROR_MORE_DATA) {
            // The value is longer than measured: take the size it reports (and grow in any
            // case, so a system that reports nothing useful cannot keep this loop going).
            capacity = size > capacity ? size : capacity * 2 + 64;
            buffer.reset(new char[capacity]);
            continue;
        }
        CheckWin32Status(status);
        // Text ends at its first NUL (its terminator, or one stored inside by another writer);
        // the bytes of other kinds of value are of no use to the caller.
        if (!IsStringType(type)) size = 0;
        if (const void* end = std::memchr(buffer.get(), '\0', size))
            size = static_cast<DWORD>(static_cast<const char*>(end) - buffer.get());
        text.assign(buffer.get(), size);
        return true;
    }
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
            throw Failure(kTypeMismatch);
        DWORD value = static_cast<DWORD>(number);
        return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }
    return ERROR_SUCCESS;
}

void WriteRegValue(HKEY root, const std::string& subKey, REGSAM access, const std::string& name,
                   const std::string& data, DWORD type) {
    UniqueKey key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) return;
    SetValueData(key.get(), name, type, data);
}

void DeleteRegValue(HKEY root, const std::string& subKey, REGSAM access, const std::string& name) {
    UniqueKey key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.get(), name.c_str());
}

#include "app/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/Failure.h"
#include "core/Handles.h"

namespace {

struct SettingsRoot {
    HKEY root = HKEY_CURRENT_USER;
    std::string subKey = "Software\\VB and VBA Program Settings";
};

SettingsRoot& Root() {
    static SettingsRoot root;
    return root;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// Reads one value, in the common case with a single query: the key's longest value length
// (which for text is at least its ANSI length) sizes the buffer before the value is asked for,
// so a list of many megabytes is fetched once rather than once for its size and once for its
// bytes. The buffer is left uninitialised, so a short value beside a long one costs only an
// untouched allocation. Returns false when the value is absent; throws on any other refusal.
// `text` receives the value's text, or nothing when the value is not text.
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
        if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
        // Text ends at its first NUL (its terminator, or one stored inside by another writer);
        // the bytes of other kinds of value are of no use to the caller.
        if (!IsStringType(type)) size = 0;
        if (const void* end = std::memchr(buffer.get(), '\0', size))
            size = static_cast<DWORD>(static_cast<const char*>(end) - buffer.get());
        text.assign(buffer.get(), size);
        return true;
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string SettingsSectionPath() {
    return Root().subKey + "\\" + kSettingsApplication + "\\" + kSettingsSection;
}

namespace {

enum class OtherKind { GivesDefault, Fails };

std::string ReadSetting(const std::string& key, const std::string& defaultValue, OtherKind otherKind) {
    UniqueKey section;
    LONG status =
        RegOpenKeyExA(Root().root, SettingsSectionPath().c_str(), 0, KEY_QUERY_VALUE, section.put());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return defaultValue;
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));

    DWORD type = REG_NONE;
    std::string value;
    if (!QueryValue(section.get(), key, type, value)) return defaultValue;
    if (!IsStringType(type)) {
        if (otherKind == OtherKind::Fails) ThrowWin32Error(ERROR_DATATYPE_MISMATCH);
        // A value of another kind was not written by this program; its default is the sound answer.
        return defaultValue;
    }
    return value;
}

}  // namespace

std::string GetSetting(const std::string& key, const std::string& defaultValue) {
    return ReadSetting(key, defaultValue, OtherKind::GivesDefault);
}

std::string GetTextSetting(const std::string& key, const std::string& defaultValue) {
    return ReadSetting(key, defaultValue, OtherKind::Fails);
}

void SaveSetting(const std::string& key, const std::string& value) {
    // A NUL would end the stored text there and lose all that follows it (for the list, every
    // entry after one holding a NUL); no value of the program means anything by one.
    std::string withoutNuls;
    const std::string* text = &value;
    if (value.find('\0') != std::string::npos) {
        withoutNuls = value;
        withoutNuls.erase(std::remove(withoutNuls.begin(), withoutNuls.end(), '\0'), withoutNuls.end());
        text = &withoutNuls;
    }
    UniqueKey section;
    LONG status = RegCreateKeyExA(Root().root, SettingsSectionPath().c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, section.put(), nullptr);
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
    status =
        RegSetValueExA(section.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                       static_cast<DWORD>(text->size() + 1));
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
}

bool SettingIsOn(const std::string& key) {
    return GetSetting(key, kSettingOff) == kSettingOn;
}

double SettingTextAsNumber(const std::string& text) {
    // Checked by hand first, so only plain decimal text reaches strtod (which on its own would
    // also take "inf", "nan" and "0x..." forms, and stop quietly at the first stray character).
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    size_t at = begin;
    if (at < end && (text[at] == '+' || text[at] == '-')) ++at;
    size_t digits = 0;
    while (at < end && IsDigit(text[at])) ++at, ++digits;
    if (at < end && text[at] == '.') {
        ++at;
        while (at < end && IsDigit(text[at])) ++at, ++digits;
    }
    if (digits > 0 && at < end && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < end && (text[at] == '+' || text[at] == '-')) ++at;
        size_t exponentDigits = 0;
        while (at < end && IsDigit(text[at])) ++at, ++exponentDigits;
        if (exponentDigits == 0) digits = 0;
    }
    if (digits == 0 || at != end) throw Failure("Type mismatch");
    double number = std::strtod(text.substr(begin, end - begin).c_str(), nullptr);
    if (std::isinf(number)) throw Failure("Overflow");
    return number;
}

double ReadBlockOnStart() {
    return SettingTextAsNumber(GetSetting(kKeyBlockOnStart, "0"));
}

namespace {

template <class Entries>
std::string Encode(const Entries& entries) {
    constexpr size_t separatorLength = sizeof kWebsiteListSeparator - 1;
    size_t total = 0;
    for (const auto& entry : entries) total += entry.size() + separatorLength;
    std::string text;
    text.reserve(total);
    for (const auto& entry : entries) {
        text.append(entry);
        text.append(kWebsiteListSeparator, separatorLength);
    }
    return text;
}

}  // namespace

std::string EncodeWebsiteList(const std::vector<std::string>& entries) {
    return Encode(entries);
}

std::string EncodeWebsiteList(const std::vector<std::string_view>& entries) {
    return Encode(entries);
}

std::vector<std::string> DecodeWebsiteList(const std::string& text) {
    constexpr size_t separatorLength = sizeof kWebsiteListSeparator - 1;
    std::vector<std::string> entries;
    size_t start = 0;
    for (;;) {
        size_t found = text.find(kWebsiteListSeparator, start, separatorLength);
        size_t end = found == std::string::npos ? text.size() : found;
        if (end > start) entries.emplace_back(text, start, end - start);
        if (found == std::string::npos) break;
        start = found + separatorLength;
    }
    return entries;
}

void SaveWebsiteList(const std::vector<std::string>& entries) {
    SaveSetting(kKeyBlockedWebsites, EncodeWebsiteList(entries));
}

std::vector<std::string> LoadWebsiteList() {
    return DecodeWebsiteList(GetSetting(kKeyBlockedWebsites));
}

void SetSettingsRootForTests(HKEY root, const std::string& subKey) {
    Root() = SettingsRoot{root, subKey};
}

void ResetSettingsRoot() {
    Root() = SettingsRoot{};
}

#include "SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "Failure.h"
#include "Handles.h"
#include "Registry.h"
#include "UserTexts.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

SettingsStore::SettingsStore(HKEY root, std::string subKey) : root_(root), subKey_(std::move(subKey)) {}

std::string SettingsStore::SectionPath() const {
    return subKey_ + "\\" + kSettingsApplication + "\\" + kSettingsSection;
}

namespace {

enum class OtherKind { GivesDefault, Fails };

std::string ReadSetting(HKEY root, const std::string& sectionPath, const std::string& key,
                        const std::string& defaultValue, OtherKind otherKind) {
    UniqueKey section;
    LONG status = RegOpenKeyExA(root, sectionPath.c_str(), 0, KEY_QUERY_VALUE, section.put());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return defaultValue;
    CheckWin32Status(status);

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

std::string SettingsStore::Get(const std::string& key, const std::string& defaultValue) const {
    return ReadSetting(root_, SectionPath(), key, defaultValue, OtherKind::GivesDefault);
}

std::string SettingsStore::GetText(const std::string& key, const std::string& defaultValue) const {
    return ReadSetting(root_, SectionPath(), key, defaultValue, OtherKind::Fails);
}

void SettingsStore::Save(const std::string& key, const std::string& value) const {
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
    LONG status = RegCreateKeyExA(root_, SectionPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, section.put(), nullptr);
    CheckWin32Status(status);
    status = SetValueData(section.get(), key, REG_SZ, *text);
    CheckWin32Status(status);
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
    if (digits == 0 || at != end) throw Failure(kTypeMismatch);
    double number = std::strtod(text.substr(begin, end - begin).c_str(), nullptr);
    if (std::isinf(number)) throw Failure("Overflow");
    return number;
}

double SettingsStore::ReadBlockOnStart() const {
    return SettingTextAsNumber(Get(kKeyBlockOnStart, "0"));
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

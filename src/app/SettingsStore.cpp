#include "app/SettingsStore.h"

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

std::string SectionPath() {
    return Root().subKey + "\\" + kSettingsApplication + "\\" + kSettingsSection;
}

}  // namespace

std::string GetSetting(const std::string& key, const std::string& defaultValue) {
    UniqueKey section;
    LONG status = RegOpenKeyExA(Root().root, SectionPath().c_str(), 0, KEY_QUERY_VALUE, section.put());
    if (status == ERROR_FILE_NOT_FOUND) return defaultValue;
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));

    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExA(section.get(), key.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return defaultValue;
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
    if (type != REG_SZ && type != REG_EXPAND_SZ) return defaultValue;

    std::string value(size, '\0');
    for (;;) {
        status = RegQueryValueExA(section.get(), key.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(value.data()), &size);
        if (status != ERROR_MORE_DATA) break;
        value.resize(size);
    }
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
    value.resize(size);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

void SaveSetting(const std::string& key, const std::string& value) {
    UniqueKey section;
    LONG status = RegCreateKeyExA(Root().root, SectionPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, section.put(), nullptr);
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
    status = RegSetValueExA(section.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status));
}

std::string EncodeWebsiteList(const std::vector<std::string>& entries) {
    const std::string separator = kWebsiteListSeparator;
    size_t total = 0;
    for (const auto& entry : entries) total += entry.size() + separator.size();
    std::string text;
    text.reserve(total);
    for (const auto& entry : entries) {
        text += entry;
        text += separator;
    }
    return text;
}

std::vector<std::string> DecodeWebsiteList(const std::string& text) {
    const std::string separator = kWebsiteListSeparator;
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t found = text.find(separator, start);
        size_t end = found == std::string::npos ? text.size() : found;
        if (end > start) entries.emplace_back(text, start, end - start);
        if (found == std::string::npos) break;
        start = found + separator.size();
    }
    return entries;
}

void SetSettingsRootForTests(HKEY root, const std::string& subKey) { Root() = SettingsRoot{root, subKey}; }

void ResetSettingsRoot() { Root() = SettingsRoot{}; }

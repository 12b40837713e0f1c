#pragma once
// The per-user settings store: string values under application "Kelmarin", section "Parvalisk",
// kept in the registry at HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Kelmarin\Parvalisk
// as REG_SZ values. Values are read and written at the moment of use, never cached.

#include <windows.h>

#include <string>
#include <vector>

inline constexpr char kSettingsApplication[] = "Kelmarin";
inline constexpr char kSettingsSection[] = "Parvalisk";
inline constexpr char kWebsiteListSeparator[] = "||My_Separator||";

// The keys, spelt exactly as the program stores them.
inline constexpr char kKeyBlockedWebsites[] = "Blocked Websites";
inline constexpr char kKeyWindowsStartup[] = "Windows Startup";
inline constexpr char kKeyMinimized[] = "Minimized";
inline constexpr char kKeyBlockOnStart[] = "BlockOnStart";
inline constexpr char kKeyPassword[] = "Password";

// The stored value, or the default when the key (or its section) is absent.
// Throws Failure when the store itself cannot be read.
std::string GetSetting(const std::string& key, const std::string& defaultValue = "");
// Stores the value, creating the section as needed. Throws Failure when the store refuses.
void SaveSetting(const std::string& key, const std::string& value);

// Every entry followed by the separator, concatenated; "" for an empty list.
std::string EncodeWebsiteList(const std::vector<std::string>& entries);
// The pieces between separators, empty pieces dropped.
std::vector<std::string> DecodeWebsiteList(const std::string& text);

// Tests give the store a throwaway root: the settings then live under root\subKey\Kelmarin\Parvalisk.
void SetSettingsRootForTests(HKEY root, const std::string& subKey);
void ResetSettingsRoot();

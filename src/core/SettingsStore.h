#pragma once
// The per-user settings store: string values under application "Kelmarin", section "Parvalisk",
// kept in the registry at HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Kelmarin\Parvalisk
// as REG_SZ values written and read with the ANSI functions, one byte per character. Values are
// read and written at the moment of use, never cached.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

inline constexpr char kSettingsApplication[] = "Kelmarin";
inline constexpr char kSettingsSection[] = "Parvalisk";
inline constexpr char kWebsiteListSeparator[] = "||My_Separator||";

// The keys, spelt exactly as the program stores them, with what each holds and its default:
//   "Blocked Websites"  the encoded website list (EncodeWebsiteList)   default ""
//   "Windows Startup"   "On" or "Off"                                   default "Off"
//   "Minimized"         "On" or "Off"                                   default "Off"
//   "BlockOnStart"      "1" or "0" (decimal text of a number)           default 0 (ReadBlockOnStart)
//   "Password"          the password box's text as typed                default ""
inline constexpr char kKeyBlockedWebsites[] = "Blocked Websites";
inline constexpr char kKeyStartWithWindows[] = "Windows Startup";
inline constexpr char kKeyMinimized[] = "Minimized";
inline constexpr char kKeyBlockOnStart[] = "BlockOnStart";
inline constexpr char kKeyPassword[] = "Password";

// The two values of the yes/no options; anything but exactly "On" counts as "Off".
inline constexpr char kSettingOn[] = "On";
inline constexpr char kSettingOff[] = "Off";

// The store of one user's settings. The program's store is the user's own; a test gives a
// throwaway root.
class SettingsStore {
  public:
    SettingsStore() = default;
    SettingsStore(HKEY root, std::string subKey);

    // The stored value, or the default when the key (or its section) is absent or holds something
    // other than a string (a number or binary value put there by hand, say). A REG_SZ value ends at
    // its first NUL. Throws Failure when the store itself cannot be read.
    std::string Get(const std::string& key, const std::string& defaultValue = "") const;
    // Get for a value whose default must not stand in for a value of another kind: the
    // default when the key (or its section) is absent, the text when it is text, and Failure when it
    // holds something else. The password is read so, since "" would let anyone in.
    std::string GetText(const std::string& key, const std::string& defaultValue = "") const;
    // Stores the value as REG_SZ, creating the section as needed and replacing an existing value. A
    // NUL in the value is dropped, since the stored text would end at it. Throws Failure when the
    // store refuses.
    void Save(const std::string& key, const std::string& value) const;

    // "BlockOnStart" read as a number, 0 when absent. The stored text converts as a decimal number
    // typed by hand would: surrounding blanks, a sign, a fraction and an exponent are accepted. Text
    // that is not a number (the empty string included) throws Failure("Type mismatch"), a number too
    // large for a double throws Failure("Overflow"), so start-up's error report shows either one.
    // Callers test the result against 0.
    double ReadBlockOnStart() const;

    // The registry key that holds the section, below the store's root key.
    std::string SectionPath() const;

  private:
    HKEY root_ = HKEY_CURRENT_USER;
    std::string subKey_ = "Software\\VB and VBA Program Settings";
};

// The conversion ReadBlockOnStart applies to the stored text, with the same failures.
double SettingTextAsNumber(const std::string& text);

// Every entry followed by the separator, concatenated; "" for an empty list.
std::string EncodeWebsiteList(const std::vector<std::string>& entries);
std::string EncodeWebsiteList(const std::vector<std::string_view>& entries);
// The pieces between separators, left to right, empty pieces dropped. An entry that held the
// separator itself therefore comes back split at it.
std::vector<std::string> DecodeWebsiteList(const std::string& text);

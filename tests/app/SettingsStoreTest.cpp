#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SettingsStore.h"
#include "core/Failure.h"
#include "support/TempTree.h"

namespace {

using Entries = std::vector<std::string>;
const std::string kSep = "||My_Separator||";

class SettingsStoreTest : public TempTree {
  protected:
    std::string SectionKey() const { return settingsKey + "\\Kelmarin\\Parvalisk"; }

    // Writes a value behind the store's back, as another program or a hand edit would.
    void PutRaw(const std::string& name, DWORD type, const std::string& bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SectionKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        LONG status = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
        ASSERT_EQ(status, ERROR_SUCCESS);
    }

    // What the registry itself holds under the section: type and raw bytes, or type REG_NONE.
    std::pair<DWORD, std::string> GetRaw(const std::string& name) {
        DWORD type = REG_NONE, size = 0;
        if (RegGetValueA(HKEY_CURRENT_USER, SectionKey().c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                         &type, nullptr, &size) != ERROR_SUCCESS)
            return {REG_NONE, ""};
        std::string bytes(size, '\0');
        RegGetValueA(HKEY_CURRENT_USER, SectionKey().c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     bytes.data(), &size);
        bytes.resize(size);
        return {type, bytes};
    }
};

TEST(SettingsStorePath, ProgramSettingsLiveUnderTheConventionalPerUserKey) {
    ResetSettingsRoot();
    EXPECT_EQ(SettingsSectionPath(), "Software\\VB and VBA Program Settings\\Kelmarin\\Parvalisk");
}

TEST_F(SettingsStoreTest, AbsentSectionAndKeysGiveTheirDefaults) {
    ASSERT_EQ(GetRaw(kKeyBlockedWebsites).first, static_cast<DWORD>(REG_NONE))
        << "the section must start empty";
    EXPECT_EQ(GetSetting(kKeyBlockedWebsites), "");
    EXPECT_EQ(GetSetting(kKeyWindowsStartup, "Off"), "Off");
    EXPECT_EQ(GetSetting(kKeyPassword), "");
    EXPECT_FALSE(SettingIsOn(kKeyWindowsStartup));
    EXPECT_FALSE(SettingIsOn(kKeyMinimized));
    EXPECT_EQ(ReadBlockOnStart(), 0.0);
    EXPECT_TRUE(LoadWebsiteList().empty());

    // The section exists but the asked key does not.
    SaveSetting(kKeyPassword, "secret");
    EXPECT_EQ(GetSetting(kKeyMinimized, "Off"), "Off");
    EXPECT_EQ(ReadBlockOnStart(), 0.0);
}

TEST_F(SettingsStoreTest, SavedValuesAreAnsiStringsReadBackAsStored) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {kKeyPassword, "p\xE4ss w\xF6rd \xA3\xFF "},  // no trimming; one byte per character
        {kKeyWindowsStartup, "On"},
        {kKeyMinimized, "Off"},
        {kKeyBlockOnStart, "1"},
        {kKeyBlockedWebsites, "a.example" + kSep + "b.example" + kSep},
    };
    for (const auto& [key, value] : cases) SaveSetting(key, value);
    for (const auto& [key, value] : cases) {
        EXPECT_EQ(GetSetting(key, "default"), value) << key;
        auto [type, bytes] = GetRaw(key);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << key;
        EXPECT_EQ(bytes, value + '\0') << key << ": one byte per character and a terminating NUL";
    }

    // Replacing, and an empty string that is present rather than absent.
    SaveSetting(kKeyPassword, "");
    EXPECT_EQ(GetSetting(kKeyPassword, "default"), "");
    SaveSetting(kKeyPassword, "second");
    EXPECT_EQ(GetSetting(kKeyPassword), "second");

    // A NUL inside would end the stored text there: it is dropped, and the rest is kept.
    SaveSetting(kKeyPassword, std::string("\0ab\0c\0", 6));
    EXPECT_EQ(GetRaw(kKeyPassword).second, std::string("abc\0", 4));
    EXPECT_EQ(GetSetting(kKeyPassword), "abc");
}

TEST_F(SettingsStoreTest, ValuesAreReadAtTheMomentOfUseNotCached) {
    SaveSetting(kKeyMinimized, "On");
    EXPECT_TRUE(SettingIsOn(kKeyMinimized));
    PutRaw(kKeyMinimized, REG_SZ, std::string("Off") + '\0');
    EXPECT_FALSE(SettingIsOn(kKeyMinimized)) << "a change made outside the program shows at the next read";
    PutRaw(kKeyBlockOnStart, REG_SZ, std::string("1") + '\0');
    EXPECT_EQ(ReadBlockOnStart(), 1.0);
}

TEST_F(SettingsStoreTest, OnlyExactlyOnCountsAsOn) {
    const std::vector<std::pair<std::string, bool>> cases = {{"On", true},   {"on", false}, {"ON", false},
                                                             {"Off", false}, {"", false},   {" On", false},
                                                             {"On ", false}};
    for (const auto& [stored, on] : cases) {
        SaveSetting(kKeyWindowsStartup, stored);
        EXPECT_EQ(SettingIsOn(kKeyWindowsStartup), on) << "stored \"" << stored << "\"";
    }
}

TEST_F(SettingsStoreTest, StrangeStoredValuesGiveTheDefaultNotACrash) {
    const DWORD number = 1;
    PutRaw(kKeyMinimized, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number));
    EXPECT_EQ(GetSetting(kKeyMinimized, "Off"), "Off");
    EXPECT_FALSE(SettingIsOn(kKeyMinimized));

    PutRaw(kKeyBlockOnStart, REG_BINARY, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(ReadBlockOnStart(), 0.0) << "a number kept as binary is not the program's text: default 0";

    PutRaw(kKeyBlockedWebsites, REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    EXPECT_TRUE(LoadWebsiteList().empty());

    PutRaw(kKeyPassword, REG_BINARY, std::string(6 * 1024 * 1024, '\x7F'));
    EXPECT_EQ(GetSetting(kKeyPassword, "none"), "none");

    // Strings written by another program: without their terminator, or with a NUL inside.
    PutRaw(kKeyPassword, REG_SZ, "abc");
    EXPECT_EQ(GetSetting(kKeyPassword), "abc") << "the last character is kept when no NUL follows it";
    PutRaw(kKeyPassword, REG_SZ, std::string("abc\0def\0", 8));
    EXPECT_EQ(GetSetting(kKeyPassword), "abc");
    PutRaw(kKeyPassword, REG_EXPAND_SZ, std::string("%WINDIR%\0", 9));
    EXPECT_EQ(GetSetting(kKeyPassword), "%WINDIR%") << "text is returned as stored, never expanded";
}

TEST_F(SettingsStoreTest, ValuesOfSeveralMegabytesComeBackWhole) {
    std::string big(7 * 1024 * 1024 + 13, 'x');
    for (size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>('a' + i % 26);
    SaveSetting(kKeyBlockedWebsites, big);
    std::string back = GetSetting(kKeyBlockedWebsites);
    ASSERT_EQ(back.size(), big.size());
    EXPECT_TRUE(back == big);

    // A long value beside a short one: the short one is not padded to the long one's size.
    SaveSetting(kKeyMinimized, "On");
    EXPECT_EQ(GetSetting(kKeyMinimized), "On");
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeOpenedFailsToTheCaller) {
    SetSettingsRootForTests(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x5A5A5A58)), "Nowhere");
    EXPECT_THROW(GetSetting(kKeyPassword, "x"), Failure);
    EXPECT_THROW(SaveSetting(kKeyPassword, "x"), Failure);
    EXPECT_THROW(ReadBlockOnStart(), Failure);
}

TEST(SettingsNumber, StoredTextConvertsAsANumberOrFailsWithTypeMismatch) {
    const std::vector<std::pair<std::string, double>> numbers = {
        {"0", 0},      {"1", 1},      {"-1", -1},  {"+7", 7},        {" 1 ", 1},
        {"\t0\t", 0},  {"1.5", 1.5},  {".5", 0.5}, {"5.", 5},        {"1e3", 1000},
        {"2E-1", 0.2}, {"00012", 12}, {"-0", 0},   {"32767", 32767}, {"-32768", -32768}};
    for (const auto& [text, number] : numbers) {
        EXPECT_DOUBLE_EQ(SettingTextAsNumber(text), number) << "\"" << text << "\"";
    }
    for (const std::string text : {"", " ", "abc", "1a", "1 1", "--1", "+", ".", "e3", "1e", "1e+", "0x10",
                                   "inf", "nan", "On", "1,0"}) {
        try {
            SettingTextAsNumber(text);
            ADD_FAILURE() << "\"" << text << "\" converted";
        } catch (const Failure& failure) {
            EXPECT_STREQ(failure.what(), "Type mismatch") << "\"" << text << "\"";
        }
    }
    EXPECT_THROW(SettingTextAsNumber("1e999"), Failure);
}

TEST_F(SettingsStoreTest, BlockOnStartThatIsNotANumberFailsToTheCaller) {
    SaveSetting(kKeyBlockOnStart, "yes");
    try {
        ReadBlockOnStart();
        ADD_FAILURE() << "\"yes\" converted";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "Type mismatch");
    }
    SaveSetting(kKeyBlockOnStart, "0");
    EXPECT_EQ(ReadBlockOnStart(), 0.0);
    SaveSetting(kKeyBlockOnStart, "1");
    EXPECT_EQ(ReadBlockOnStart(), 1.0);
}

TEST(WebsiteListText, EncodingPutsTheSeparatorAfterEveryEntry) {
    const std::vector<std::pair<Entries, std::string>> cases = {
        {{}, ""},
        {{"A"}, "A" + kSep},
        {{"A", "B"}, "A" + kSep + "B" + kSep},
        {{""}, kSep},
        {{"a b ", " CASE.example", "a"}, "a b " + kSep + " CASE.example" + kSep + "a" + kSep},
        {{"x" + kSep + "y"}, "x" + kSep + "y" + kSep},
    };
    for (const auto& [entries, text] : cases) EXPECT_EQ(EncodeWebsiteList(entries), text);
}

TEST(WebsiteListText, DecodingSplitsAtEverySeparatorAndDropsEmptyPieces) {
    const std::vector<std::pair<std::string, Entries>> cases = {
        {"", {}},
        {kSep, {}},
        {kSep + kSep + kSep, {}},
        {"A" + kSep + kSep + "B" + kSep, {"A", "B"}},
        {"A", {"A"}},  // no separator after the last piece
        {kSep + "A" + kSep + "B", {"A", "B"}},
        {"x" + kSep + "y" + kSep, {"x", "y"}},                  // an entry that held the separator
        {"a|||My_Separator||b", {"a|", "b"}},                   // the leftmost match splits
        {"a||my_separator||b" + kSep, {"a||my_separator||b"}},  // case-sensitive
        {"a||My_Separator|b||My_Separator", {"a||My_Separator|b||My_Separator"}},
        {" a " + kSep + "A" + kSep + "A" + kSep, {" a ", "A", "A"}},  // kept as typed, duplicates too
    };
    for (const auto& [text, entries] : cases)
        EXPECT_EQ(DecodeWebsiteList(text), entries) << "\"" << text << "\"";
}

TEST_F(SettingsStoreTest, WebsiteListSurvivesTheStore) {
    Entries entries;
    for (int i = 0; i < 5000; ++i) entries.push_back("host" + std::to_string(i) + ".example\xE9");
    entries.push_back(std::string(300, 'w'));
    SaveWebsiteList(entries);
    EXPECT_EQ(GetRaw(kKeyBlockedWebsites).second, EncodeWebsiteList(entries) + '\0');
    EXPECT_EQ(LoadWebsiteList(), entries);

    // An entry holding a NUL loses the NUL, not the entries after it.
    SaveWebsiteList({"a.example", std::string("b\0.example", 10), "c.example"});
    EXPECT_EQ(LoadWebsiteList(), (Entries{"a.example", "b.example", "c.example"}));

    // Empty entries and entries holding the separator do not survive a reload unchanged.
    SaveWebsiteList({"a", "", "b" + kSep + "c", kSep + "d"});
    EXPECT_EQ(LoadWebsiteList(), (Entries{"a", "b", "c", "d"}));

    SaveWebsiteList({});
    EXPECT_EQ(GetSetting(kKeyBlockedWebsites, "absent"), "")
        << "a cleared list is stored as the empty string";
    EXPECT_TRUE(LoadWebsiteList().empty());
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsStore.h"
#include "Failure.h"
#include "support/TempTree.h"
#include "UserTexts.h"

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
    EXPECT_EQ(SettingsStore().SectionPath(), "Software\\VB and VBA Program Settings\\Kelmarin\\Parvalisk");
}

TEST_F(SettingsStoreTest, AbsentSectionAndKeysGiveTheirDefaults) {
    ASSERT_EQ(GetRaw(kKeyBlockedWebsites).first, static_cast<DWORD>(REG_NONE))
        << "the section must start empty";
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites), "");
    EXPECT_EQ(settings.Get(kKeyStartWithWindows, "Off"), "Off");
    EXPECT_EQ(settings.Get(kKeyPassword), "");
    EXPECT_FALSE((settings.Get(kKeyStartWithWindows) == kSettingOn));
    EXPECT_FALSE((settings.Get(kKeyMinimized) == kSettingOn));
    EXPECT_EQ(settings.ReadBlockOnStart(), 0.0);
    EXPECT_TRUE(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)).empty());

    // The section exists but the asked key does not.
    settings.Save(kKeyPassword, "secret");
    EXPECT_EQ(settings.Get(kKeyMinimized, "Off"), "Off");
    EXPECT_EQ(settings.ReadBlockOnStart(), 0.0);
}

TEST_F(SettingsStoreTest, SavedValuesAreAnsiStringsReadBackAsStored) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {kKeyPassword, "p\xE4ss w\xF6rd \xA3\xFF "},  // no trimming; one byte per character
        {kKeyStartWithWindows, "On"},
        {kKeyMinimized, "Off"},
        {kKeyBlockOnStart, "1"},
        {kKeyBlockedWebsites, "a.example" + kSep + "b.example" + kSep},
    };
    for (const auto& [key, value] : cases) settings.Save(key, value);
    for (const auto& [key, value] : cases) {
        EXPECT_EQ(settings.Get(key, "default"), value) << key;
        auto [type, bytes] = GetRaw(key);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << key;
        EXPECT_EQ(bytes, value + '\0') << key << ": one byte per character and a terminating NUL";
    }

    // Replacing, and an empty string that is present rather than absent.
    settings.Save(kKeyPassword, "");
    EXPECT_EQ(settings.Get(kKeyPassword, "default"), "");
    settings.Save(kKeyPassword, "second");
    EXPECT_EQ(settings.Get(kKeyPassword), "second");

    // A NUL inside would end the stored text there: it is dropped, and the rest is kept.
    settings.Save(kKeyPassword, std::string("\0ab\0c\0", 6));
    EXPECT_EQ(GetRaw(kKeyPassword).second, std::string("abc\0", 4));
    EXPECT_EQ(settings.Get(kKeyPassword), "abc");
}

TEST_F(SettingsStoreTest, ValuesAreReadAtTheMomentOfUseNotCached) {
    settings.Save(kKeyMinimized, "On");
    EXPECT_TRUE((settings.Get(kKeyMinimized) == kSettingOn));
    PutRaw(kKeyMinimized, REG_SZ, std::string("Off") + '\0');
    EXPECT_FALSE((settings.Get(kKeyMinimized) == kSettingOn))
        << "a change made outside the program shows at the next read";
    PutRaw(kKeyBlockOnStart, REG_SZ, std::string("1") + '\0');
    EXPECT_EQ(settings.ReadBlockOnStart(), 1.0);
}

TEST_F(SettingsStoreTest, OnlyExactlyOnCountsAsOn) {
    const std::vector<std::pair<std::string, bool>> cases = {{"On", true},   {"on", false}, {"ON", false},
                                                             {"Off", false}, {"", false},   {" On", false},
                                                             {"On ", false}};
    for (const auto& [stored, on] : cases) {
        settings.Save(kKeyStartWithWindows, stored);
        EXPECT_EQ((settings.Get(kKeyStartWithWindows) == kSettingOn), on) << "stored \"" << stored << "\"";
    }
}

TEST_F(SettingsStoreTest, StrangeStoredValuesGiveTheDefaultNotACrash) {
    const DWORD number = 1;
    PutRaw(kKeyMinimized, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number));
    EXPECT_EQ(settings.Get(kKeyMinimized, "Off"), "Off");
    EXPECT_FALSE((settings.Get(kKeyMinimized) == kSettingOn));

    PutRaw(kKeyBlockOnStart, REG_BINARY, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(settings.ReadBlockOnStart(), 0.0)
        << "a number kept as binary is not the program's text: default 0";

    PutRaw(kKeyBlockedWebsites, REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    EXPECT_TRUE(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)).empty());

    PutRaw(kKeyPassword, REG_BINARY, std::string(6 * 1024 * 1024, '\x7F'));
    EXPECT_EQ(settings.Get(kKeyPassword, "none"), "none");

    // Strings written by another program: without their terminator, or with a NUL inside.
    PutRaw(kKeyPassword, REG_SZ, "abc");
    EXPECT_EQ(settings.Get(kKeyPassword), "abc") << "the last character is kept when no NUL follows it";
    PutRaw(kKeyPassword, REG_SZ, std::string("abc\0def\0", 8));
    EXPECT_EQ(settings.Get(kKeyPassword), "abc");
    PutRaw(kKeyPassword, REG_EXPAND_SZ, std::string("%WINDIR%\0", 9));
    EXPECT_EQ(settings.Get(kKeyPassword), "%WINDIR%") << "text is returned as stored, never expanded";
}

TEST_F(SettingsStoreTest, ValuesOfSeveralMegabytesComeBackWhole) {
    std::string big(7 * 1024 * 1024 + 13, 'x');
    for (size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>('a' + i % 26);
    settings.Save(kKeyBlockedWebsites, big);
    std::string back = settings.Get(kKeyBlockedWebsites);
    ASSERT_EQ(back.size(), big.size());
    EXPECT_TRUE(back == big);

    // A long value beside a short one: the short one is not padded to the long one's size.
    settings.Save(kKeyMinimized, "On");
    EXPECT_EQ(settings.Get(kKeyMinimized), "On");
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeOpenedFailsToTheCaller) {
    settings = SettingsStore(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x5A5A5A58)), "Nowhere");
    EXPECT_THROW(settings.Get(kKeyPassword, "x"), Failure);
    EXPECT_THROW(settings.Save(kKeyPassword, "x"), Failure);
    EXPECT_THROW(settings.ReadBlockOnStart(), Failure);
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
            EXPECT_STREQ(failure.what(), kTypeMismatch) << "\"" << text << "\"";
        }
    }
    EXPECT_THROW(SettingTextAsNumber("1e999"), Failure);
}

TEST_F(SettingsStoreTest, BlockOnStartThatIsNotANumberFailsToTheCaller) {
    settings.Save(kKeyBlockOnStart, "yes");
    try {
        settings.ReadBlockOnStart();
        ADD_FAILURE() << "\"yes\" converted";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), kTypeMismatch);
    }
    settings.Save(kKeyBlockOnStart, "0");
    EXPECT_EQ(settings.ReadBlockOnStart(), 0.0);
    settings.Save(kKeyBlockOnStart, "1");
    EXPECT_EQ(settings.ReadBlockOnStart(), 1.0);
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
    settings.Save(kKeyBlockedWebsites, EncodeWebsiteList(entries));
    EXPECT_EQ(GetRaw(kKeyBlockedWebsites).second, EncodeWebsiteList(entries) + '\0');
    EXPECT_EQ(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)), entries);

    // An entry holding a NUL loses the NUL, not the entries after it.
    settings.Save(kKeyBlockedWebsites,
                  EncodeWebsiteList(Entries{"a.example", std::string("b\0.example", 10), "c.example"}));
    EXPECT_EQ(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)),
              (Entries{"a.example", "b.example", "c.example"}));

    // Empty entries and entries holding the separator do not survive a reload unchanged.
    settings.Save(kKeyBlockedWebsites, EncodeWebsiteList(Entries{"a", "", "b" + kSep + "c", kSep + "d"}));
    EXPECT_EQ(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)), (Entries{"a", "b", "c", "d"}));

    settings.Save(kKeyBlockedWebsites, EncodeWebsiteList(Entries{}));
    EXPECT_EQ(settings.Get(kKeyBlockedWebsites, "absent"), "")
        << "a cleared list is stored as the empty string";
    EXPECT_TRUE(DecodeWebsiteList(settings.Get(kKeyBlockedWebsites)).empty());
}

}  // namespace

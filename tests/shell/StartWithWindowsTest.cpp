#include <gtest/gtest.h>

#include "Failure.h"
#include "FileHelpers.h"
#include "MachineStartWithWindows.h"
#include "StartWithWindows.h"
#include "support/TempTree.h"
#include "Appearance.h"
#include "Registry.h"

namespace {

TEST(StartWithWindows, RunValueDataIsQuotedWhenThePathHoldsASpace) {
    struct Case {
        const char* path;
        const char* data;
    };
    const Case cases[] = {
        {"C:\\Parvalisk.exe", "C:\\Parvalisk.exe"},
        {"D:\\Apps\\Parvalisk.exe", "D:\\Apps\\Parvalisk.exe"},
        {"C:\\Program Files\\Kelmarin\\Parvalisk.exe", "\"C:\\Program Files\\Kelmarin\\Parvalisk.exe\""},
        {"C:\\Tools\\My Blocker.exe", "\"C:\\Tools\\My Blocker.exe\""},
    };
    for (const Case& c : cases) EXPECT_EQ(RunValueData(c.path), c.data) << c.path;
}

// The registry wrappers, on a throwaway key of the current user.
class RegistryWrappers : public TempTree {};

TEST_F(RegistryWrappers, SetValueDataWritesStringsNumbersAndNothingElse) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "text", REG_SZ, "C:\\Parvalisk.exe"), ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "number", REG_DWORD, "42"), ERROR_SUCCESS);
    EXPECT_EQ(SetValueData(key, "binary", REG_BINARY, "ignored"), ERROR_SUCCESS);
    EXPECT_THROW(SetValueData(key, "bad", REG_DWORD, "forty"), Failure);

    char text[64] = "";
    DWORD size = sizeof text, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof "C:\\Parvalisk.exe") << "the size counts the terminating NUL";
    EXPECT_STREQ(text, "C:\\Parvalisk.exe");
    DWORD number = 0;
    size = sizeof number;
    ASSERT_EQ(RegQueryValueExA(key, "number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(RegQueryValueExA(key, "binary", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "bad", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryWrappers, WriteAndDeleteOpenTheKeyThemselvesAndStaySilentWhenItIsMissing) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    WriteRegValue(HKEY_CURRENT_USER, settingsKey, KEY_SET_VALUE, "entry", "data", REG_SZ);
    EXPECT_EQ(RegQueryValueExA(key, "entry", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    DeleteRegValue(HKEY_CURRENT_USER, settingsKey, KEY_SET_VALUE, "entry");
    EXPECT_EQ(RegQueryValueExA(key, "entry", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    const std::string missing = settingsKey + "\\no such key";
    EXPECT_NO_THROW(WriteRegValue(HKEY_CURRENT_USER, missing, KEY_SET_VALUE, "entry", "data", REG_SZ));
    EXPECT_NO_THROW(DeleteRegValue(HKEY_CURRENT_USER, missing, KEY_SET_VALUE, "entry"));
    HKEY probe = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, missing.c_str(), 0, KEY_READ, &probe), ERROR_SUCCESS)
        << "a missing key is not created";
}

}  // namespace

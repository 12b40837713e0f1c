#pragma once
// A loaded main window in a fresh temporary tree, with scripted prompts and system answers, for
// the tests of the list commands. Start-up runs against the temporary tree only.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "MainWindow.h"
#include "support/MainWindowFixture.h"

class ListTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        WriteBytes(hostsPath, kHostsContent);
        StartMainWindow();
        // Whatever start-up put in the list, each test starts from an empty one.
        SetEntries({});
        prompts.boxes.clear();
        settingsAtStart = StoredSettings();
    }

    // What the list view itself shows: its row count and each row's text.
    std::vector<std::string> ShownRows() const {
        HWND view = ListWindow();
        std::vector<std::string> rows;
        int count = ListView_GetItemCount(view);
        for (int i = 0; i < count; ++i) {
            char text[1024] = {};
            ListView_GetItemText(view, i, 0, text, sizeof text);
            rows.emplace_back(text);
        }
        return rows;
    }

    // Every value in this test's settings section, as name=value lines.
    std::vector<std::string> StoredSettings() const {
        std::vector<std::string> values;
        HKEY key = nullptr;
        std::string section = settingsKey + "\\Kelmarin\\Parvalisk";
        if (RegOpenKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return values;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameLength = sizeof name;
            std::vector<char> data(1 << 16);
            DWORD dataLength = static_cast<DWORD>(data.size());
            if (RegEnumValueA(key, i, name, &nameLength, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS)
                break;
            values.push_back(std::string(name, nameLength) + "=" + std::string(data.data(), dataLength));
        }
        RegCloseKey(key);
        return values;
    }

    // Nothing written: the hosts file as the test made it, no backup of it, the settings as
    // start-up left them.
    void ExpectNothingPersisted() const {
        EXPECT_EQ(ReadBytes(hostsPath), kHostsContent) << "the hosts file must not change";
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>");
        EXPECT_EQ(StoredSettings(), settingsAtStart) << "no setting may be stored by a list command";
    }

    static constexpr char kHostsContent[] = "127.0.0.1 localhost\r\n";
    std::vector<std::string> settingsAtStart;
};

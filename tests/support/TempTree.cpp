#include "support/TempTree.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "SettingsStore.h"
#include "FileHelpers.h"

namespace {
std::atomic<int> counter{0};
}

void TempTree::SetUp() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::ostringstream name;
    name << temp << "parvalisk-test-" << GetCurrentProcessId() << "-" << counter++;
    root = name.str();
    RemoveTree(root);
    CreateDirectoryA(root.c_str(), nullptr);

    windir = root + "\\windows";
    for (const char* sub : {"", "\\system32", "\\system32\\drivers", "\\system32\\drivers\\etc"})
        CreateDirectoryA((windir + sub).c_str(), nullptr);
    hostsPath = windir + "\\system32\\drivers\\etc\\hosts";
    commonAppData = root + "\\ProgramData";
    CreateDirectoryA(commonAppData.c_str(), nullptr);
    dataFolder = commonAppData + "\\Kelmarin\\Parvalisk";

    settingsKey = "Software\\ParvaliskTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(counter++);
    RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
    settings = SettingsStore(HKEY_CURRENT_USER, settingsKey);
}

void TempTree::TearDown() {
    RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ParvaliskTests");  // only while no other test's key is in it
    RemoveTree(root);
}

void TempTree::WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << path;
}

// Shares everything while it reads, so a test that polls a file never makes the program's own
// replace of that file fail (a failure that the test did not mean to stage).
std::string TempTree::ReadBytes(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    CloseHandle(file);
    return content;
}

void TempTree::MakeDataFolder() {
    CreateDirectoryA((commonAppData + "\\Kelmarin").c_str(), nullptr);
    CreateDirectoryA(dataFolder.c_str(), nullptr);
}

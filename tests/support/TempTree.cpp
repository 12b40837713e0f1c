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

std::string TempTree::ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void TempTree::MakeDataFolder() {
    CreateDirectoryA((commonAppData + "\\Kelmarin").c_str(), nullptr);
    CreateDirectoryA(dataFolder.c_str(), nullptr);
}

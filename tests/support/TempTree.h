#pragma once
// A fresh temporary tree for one test: a Windows folder holding system32\drivers\etc\hosts (the
// hosts file the test hands to the blocker), an all-users
// application data folder (the data folder is made inside it) and a throwaway settings root in
// HKEY_CURRENT_USER. The real hosts file, data folder and settings are never touched; everything
// is removed and put back when the test ends.

#include <gtest/gtest.h>

#include <string>

#include "support/RemoveTree.h"

class TempTree : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string root;           // the tree itself
    std::string windir;         // stands in for the Windows folder
    std::string hostsPath;      // windir + "\system32\drivers\etc\hosts", given to the blocker
    std::string commonAppData;  // stands in for the all-users application data folder
    std::string dataFolder;     // commonAppData + "\Kelmarin\Parvalisk" (not created here)
    std::string settingsKey;    // HKCU sub-key that holds this test's settings

    // Helpers on the real file system.
    static void WriteBytes(const std::string& path, const std::string& bytes);
    static std::string ReadBytes(const std::string& path);  // "<missing>" when absent
    void MakeDataFolder();
};


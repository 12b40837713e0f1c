#pragma once
// A fresh temporary tree for one test: a Windows folder holding system32\drivers\etc\hosts (the
// hosts file the test hands to the blocker), an all-users application data folder (the data
// folder is made inside it), a throwaway settings root in HKEY_CURRENT_USER, and the test's own
// prompts, system answers and file owners, all handed to the windows the test makes. The real hosts file,
// data folder and settings are never touched; everything is removed and put back when the test ends.

#include <gtest/gtest.h>

#include <string>

#include "MainWindow.h"
#include "SettingsStore.h"
#include "support/RecordedBalloons.h"
#include "support/RemoveTree.h"
#include "support/ScriptedPrompts.h"
#include "support/TestOwnership.h"

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

    SettingsStore settings;                   // the throwaway settings root
    ScriptedPrompts prompts;                  // answers and records every prompt
    ScriptedSystemAnswersAndActions answers;  // the random draw, the home page, the administrator answer
    TestOwnership owners;                     // file owners and administrators the test names
    // Balloons end at once; a test that waits one out sets RecordBalloons.
    ShellNotifyIconFunction shellNotifyIcon = &RecordBalloonsEndingAtOnce;

    // What a main window made for this test is given: the tree's hosts file and data folder
    // root, this test's settings, prompts, answers, owners and shell call.
    MainWindowParts Parts() {
        return {prompts, answers, settings, hostsPath, commonAppData, shellNotifyIcon, &owners};
    }

    // Helpers on the real file system.
    static void WriteBytes(const std::string& path, const std::string& bytes);
    static std::string ReadBytes(const std::string& path);  // "<missing>" when absent
    void MakeDataFolder();
};

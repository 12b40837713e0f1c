// Start-up and the files it believes: the start-up marker counts only with a trusted owner, and
// the folders start-up makes (or finds open) end up closed to standard users.
#include <gtest/gtest.h>

#include "FileHelpers.h"
#include "support/MainWindowFixture.h"
#include "support/SecurityReadBack.h"

namespace {

class StartupSecurity : public MainWindowTest {
  protected:
    void TearDown() override {
        owners.Forget(dataFolder + "\\iStart");
        MainWindowTest::TearDown();
    }
    // Everyone may write in the folder (the open list a folder can carry from before).
    static void OpenUp(const std::string& folder) {
        PSECURITY_DESCRIPTOR open = FromSddl("D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BU)");
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        GetSecurityDescriptorDacl(open, &present, &list, &defaulted);
        SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr);
        LocalFree(open);
    }
};

}  // namespace

TEST_F(StartupSecurity, AMarkerWithAForeignOwnerAdoptsNothing) {
    struct Case {
        const char* owner;  // "" : the program wrote it
        bool adopts;
    } cases[] = {{"S-1-5-32-545", false}, {"S-1-5-21-1-2-3-1001", false}, {"", true}};
    answers.administrator = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("marker owner ") + (*c.owner ? c.owner : "the program"));
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
        DeleteRunValue();
        MakeDataFolder();
        WriteBytes(dataFolder + "\\iStart", " ");
        owners.Forget(dataFolder + "\\iStart");
        if (*c.owner) PlantOwner(owners, dataFolder + "\\iStart", c.owner);

        StartMainWindow();
        EXPECT_EQ(Caption(kIdStartStopButton), c.adopts ? "Stop Blocking" : "Start Blocking");
        EXPECT_EQ(Value(kIdStartWithWindowsBox), c.adopts ? 1 : 0);
        EXPECT_EQ(Setting(kKeyWindowsStartup), c.adopts ? "On" : "<absent>");
        EXPECT_EQ(Setting(kKeyBlockOnStart), c.adopts ? "1" : "<absent>");
        EXPECT_EQ(ReadBytes(dataFolder + "\\iStart"), " ") << "the marker itself is left alone";
        DropMainWindow();
    }
}

TEST_F(StartupSecurity, StartUpMakesClosedFoldersAndAnAdministratorsRunClosesOpenOnes) {
    const std::string maker = commonAppData + "\\Kelmarin";
    answers.administrator = false;
    StartMainWindow();
    for (const std::string& folder : {maker, dataFolder}) {
        ASSERT_TRUE(FileExists(folder)) << folder;
        for (const Entry& e : AccessEntriesOf(ReadBack(folder).dacl))
            EXPECT_NE(e.sid, "S-1-1-0") << folder << " was made open to everyone";
    }
    DropMainWindow();

    // Folders left open from before: a standard user's run leaves them, an administrator's closes them.
    for (bool administrator : {false, true}) {
        SCOPED_TRACE(administrator ? "administrator" : "standard user");
        OpenUp(maker);
        OpenUp(dataFolder);
        ASSERT_EQ(WritersOf(dataFolder).count("S-1-1-0"), 1u);
        answers.administrator = administrator;
        StartMainWindow();
        for (const std::string& folder : {maker, dataFolder})
            EXPECT_EQ(WritersOf(folder).count("S-1-1-0"), administrator ? 0u : 1u) << folder;
        DropMainWindow();
    }
}

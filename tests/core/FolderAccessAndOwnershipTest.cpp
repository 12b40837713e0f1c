// The data folder's access list (FolderAccess) and the owner test for the files in it
// (FileOwnership). What Wine can and cannot show: see support/SecurityReadBack.h.

#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <string>
#include <vector>

#include "Blocker.h"
#include "DataFolderGuard.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "FileOwnership.h"
#include "FolderAccess.h"
#include "ServiceProtocol.h"
#include "support/SecurityReadBack.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "Appearance.h"

namespace {

using FolderAccessAndOwnership = SecurityTree;

}  // namespace

TEST_F(FolderAccessAndOwnership, ProtectedDescriptorHoldsTheListAndIsProtected) {
    std::vector<BYTE> descriptor = ProtectedFolderDescriptor();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder must not inherit the parent's open list";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    EXPECT_EQ(AccessEntriesOf(dacl), kProtectedList);
    EXPECT_TRUE(AccessListIsTight(descriptor.data()));

    // A run without administrator rights may add sub-folders to the folder it made, and only to
    // that one; an administrator's run finds that looser than the protected list.
    const std::string user = CurrentUserSidText();
    PSID maker = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA(user.c_str(), &maker));
    std::vector<BYTE> forMaker = ProtectedFolderDescriptor(maker);
    LocalFree(maker);
    ASSERT_TRUE(GetSecurityDescriptorDacl(forMaker.data(), &present, &dacl, &defaulted));
    std::vector<Entry> expected = kProtectedList;
    expected.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ADD_SUBDIRECTORY, user});
    EXPECT_EQ(AccessEntriesOf(dacl), expected);
    EXPECT_FALSE(AccessListIsTight(forMaker.data()));
}

TEST_F(FolderAccessAndOwnership, CreatedFolderCarriesTheProtectedList) {
    std::string folder = commonAppData + "\\Kelmarin";
    // The tests run with administrator rights, so no entry for the maker is added. (Wine keeps
    // no access lists to read back; where the system keeps them, the list is checked below.)
    EXPECT_TRUE(CreateProtectedFolder(folder));
    DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    std::string plain = commonAppData + "\\plain";
    CreateDirectoryA(plain.c_str(), nullptr);

    ReadBack read(folder);
    ASSERT_EQ(read.status, static_cast<DWORD>(ERROR_SUCCESS));
    for (const char* open : {"S-1-1-0", "S-1-5-11", "S-1-5-32-545", "S-1-3-0"})
        EXPECT_EQ(WritersOf(folder).count(open), 0u) << open << " may write in the new folder";
    if (SystemKeepsAccessLists(commonAppData + "\\probe")) {
        // Without administrator rights the running account may also add sub-folders there.
        BYTE administrators[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof administrators;
        BOOL elevated = FALSE;
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
        CheckTokenMembership(nullptr, administrators, &elevated);
        std::vector<Entry> expected = kProtectedList;
        if (!elevated)
            expected.push_back({ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ADD_SUBDIRECTORY, CurrentUserSidText()});
        EXPECT_TRUE(read.Protected());
        EXPECT_EQ(AccessEntriesOf(read.dacl), expected);
        EXPECT_EQ(FolderAccessIsTight(folder), elevated != FALSE);
    } else {
        // Wine: the list became Unix mode bits; only the missing Everyone entry is visible.
        std::vector<Entry> entries = AccessEntriesOf(read.dacl);
        for (const Entry& e : entries)
            EXPECT_NE(e.sid, "S-1-1-0") << "the new folder must not be open to others";
        ReadBack plainRead(plain);
        bool plainShowsEveryone = false;
        for (const Entry& e : AccessEntriesOf(plainRead.dacl))
            plainShowsEveryone = plainShowsEveryone || e.sid == "S-1-1-0";
        EXPECT_TRUE(plainShowsEveryone) << "a folder made without the list is readable by others under Wine";
    }

    // The folder exists now, so making it again fails, as does a folder whose parent is missing.
    for (const std::string& path : {folder, commonAppData + "\\missing\\Parvalisk"}) {
        EXPECT_THROW(CreateProtectedFolder(path), Failure) << path;
    }
}

TEST_F(FolderAccessAndOwnership, AccessListJudgement) {
    const std::string user = CurrentUserSidText();
    const std::string tightList = "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    struct Case {
        std::string sddl;
        bool tight;
        const char* why;
    } cases[] = {
        {"D:P" + tightList, true, "the protected list itself"},
        {"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, "narrower than the protected list"},
        {"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GRGX;;;BU)", true, "generic read and execute for Users"},
        {"D:P" + tightList + "(D;OICI;FA;;;WD)", true, "a denial only narrows"},
        {"D:" + tightList, false, "not protected: the parent's entries flow in"},
        {"D:P" + tightList + "(A;CI;0x100116;;;BU)", false,
         "Users may create files (the all-users folder's default)"},
        {"D:P" + tightList + "(A;OICI;FA;;;WD)", false, "Everyone full control"},
        {"D:P" + tightList + "(A;OICI;0x1301bf;;;AU)", false, "Authenticated Users may modify"},
        {"D:P" + tightList + "(A;OICIIO;GA;;;CO)", false, "CREATOR OWNER full control on new files"},
        {"D:P" + tightList + "(A;;WD;;;BU)", false, "Users may change the list"},
        {"D:P" + tightList + "(A;OICI;FA;;;" + user + ")", false, "a single account, not the administrators"},
        {"O:BA", false, "no list at all"},
    };
    for (const Case& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = FromSddl(c.sddl);
        if (descriptor == nullptr) continue;
        EXPECT_EQ(AccessListIsTight(descriptor), c.tight) << c.why << ": " << c.sddl;
        LocalFree(descriptor);
    }
    EXPECT_FALSE(AccessListIsTight(nullptr));

    // A null list (present, but no list) lets everyone in, protected or not. Built by hand: Wine
    // reads "NO_ACCESS_CONTROL" as an empty list, which would deny everyone instead.
    SECURITY_DESCRIPTOR nullList;
    InitializeSecurityDescriptor(&nullList, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&nullList, TRUE, nullptr, FALSE);
    SetSecurityDescriptorControl(&nullList, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    EXPECT_FALSE(AccessListIsTight(&nullList)) << "a null list lets everyone in";
}

TEST_F(FolderAccessAndOwnership, OpenFolderGetsTightened) {
    MakeDataFolder();
    PSECURITY_DESCRIPTOR open =
        FromSddl("D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BU)(A;OICI;0x1301bf;;;AU)(A;OICIIO;GA;;;CO)");
    ASSERT_NE(open, nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL openList = nullptr;
    GetSecurityDescriptorDacl(open, &present, &openList, &defaulted);
    ASSERT_EQ(SetNamedSecurityInfoA(const_cast<char*>(dataFolder.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, openList, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(open);
    ASSERT_EQ(WritersOf(dataFolder).count("S-1-1-0"), 1u) << "the open list did not take";
    EXPECT_FALSE(FolderAccessIsTight(dataFolder));

    bool tight = TightenFolderAccess(dataFolder);

    for (const char* open : {"S-1-1-0", "S-1-5-11", "S-1-5-32-545", "S-1-3-0"})
        EXPECT_EQ(WritersOf(dataFolder).count(open), 0u) << open << " may still write in the data folder";
    if (SystemKeepsAccessLists(commonAppData + "\\probe")) {
        EXPECT_TRUE(tight);
        ReadBack read(dataFolder);
        EXPECT_TRUE(read.Protected());
        EXPECT_EQ(AccessEntriesOf(read.dacl), kProtectedList);
        EXPECT_TRUE(TightenFolderAccess(dataFolder)) << "a tight folder stays tight";
    } else {
        // Wine reports the owner's full control and no protected flag whatever was written, so it
        // can never show the folder as tight.
        EXPECT_FALSE(tight);
    }
    EXPECT_FALSE(TightenFolderAccess(commonAppData + "\\absent")) << "a missing folder is not tight";
}

TEST_F(FolderAccessAndOwnership, OwnerTrustByAccount) {
    struct Case {
        std::string sid;
        bool trusted;
    } cases[] = {
        {"S-1-5-18", true},              // SYSTEM
        {"S-1-5-32-544", true},          // Administrators
        {CurrentUserSidText(), true},    // the account running the program
        {"S-1-5-32-545", false},         // Users
        {"S-1-1-0", false},              // Everyone
        {"S-1-5-11", false},             // Authenticated Users
        {"S-1-3-0", false},              // CREATOR OWNER
        {"S-1-5-7", false},              // Anonymous
        {"S-1-5-21-1-2-3-1001", false},  // another account
        {kOtherAdministrator, true},     // another member of the Administrators group
    };
    for (const Case& c : cases) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(c.sid.c_str(), &sid)) << c.sid;
        EXPECT_EQ(IsTrustedSid(sid, owners), c.trusted) << c.sid;
        LocalFree(sid);
    }
    EXPECT_FALSE(IsTrustedSid(nullptr, owners));
}

TEST_F(FolderAccessAndOwnership, FileOwnerDecidesTrust) {
    MakeDataFolder();
    std::string own = dataFolder + "\\hosts";
    ASSERT_TRUE(WriteFileText(own, "127.0.0.1 localhost\r\n"));
    EXPECT_TRUE(IsTrustedOwner(own, owners)) << "a file the program wrote itself is always trusted";
    EXPECT_FALSE(IsTrustedOwner(dataFolder + "\\missing", owners))
        << "no owner can be read for a missing file";
    {
        // Another program holding the file open with no sharing at all does not hide its owner.
        HANDLE held = CreateFileA(own.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(IsTrustedOwner(own, owners))
            << "a held backup of the program's own passed for a planted one";
        EXPECT_FALSE(SetAsideIfUntrusted(own, owners));
        CloseHandle(held);
    }

    struct Case {
        const char* sid;
        bool trusted;
    } cases[] = {{"S-1-5-32-545", false}, {"S-1-1-0", false},     {"S-1-5-21-1-2-3-1001", false},
                 {"S-1-5-18", true},      {"S-1-5-32-544", true}, {kOtherAdministrator, true}};
    bool anyRecorded = false;
    for (const Case& c : cases) {
        std::string path = dataFolder + "\\iStart-" + std::to_string(&c - cases);
        ASSERT_TRUE(WriteFileText(path, " "));
        planted.push_back(path);
        anyRecorded = PlantOwner(owners, path, c.sid) || anyRecorded;
        EXPECT_EQ(IsTrustedOwner(path, owners), c.trusted) << "owner " << c.sid;
    }
    // A hard link reports the owner of the file it shares, so a second name is never trusted.
    std::string systemFile = commonAppData + "\\system-owned";
    ASSERT_TRUE(WriteFileText(systemFile, "10.0.0.66 bank.example\r\n"));
    std::string linked = dataFolder + "\\linked";
    EXPECT_TRUE(IsTrustedOwner(systemFile, owners)) << "the program wrote this file itself";
    ASSERT_TRUE(CreateHardLinkA(linked.c_str(), systemFile.c_str(), nullptr));
    EXPECT_FALSE(IsTrustedOwner(linked, owners))
        << "a hard link into the data folder passed for a trusted file";
    EXPECT_TRUE(IsTrustedOwner(dataFolder, owners)) << "a folder's link count says nothing";

    if (!anyRecorded)
        std::printf("  (Wine recorded none of the owners; they were named through the test hook)\n");
    EXPECT_TRUE(IsTrustedOwner(own, owners)) << "one file's owner says nothing about another's";
}

TEST_F(FolderAccessAndOwnership, SetAsideKeepsTheFileUnderATellingName) {
    MakeDataFolder();
    std::string backup = dataFolder + "\\hosts";
    WriteBytes(backup, "10.0.0.66 bank.example\r\n");
    planted.push_back(backup);
    PlantOwner(owners, backup, "S-1-5-32-545");

    std::string first = SetAsideUntrusted(backup);
    planted.push_back(first);
    EXPECT_EQ(first.rfind(backup + ".untrusted-", 0), 0u) << first;
    EXPECT_EQ(ReadBytes(first), "10.0.0.66 bank.example\r\n");
    EXPECT_EQ(ReadBytes(backup), "<missing>");
    EXPECT_FALSE(IsTrustedOwner(first, owners)) << "the set-aside file keeps its owner";

    // A second planted file within the same second gets a name of its own; the first one stays.
    WriteBytes(backup, "second\r\n");
    std::string second = SetAsideUntrusted(backup);
    planted.push_back(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(ReadBytes(second), "second\r\n");
    EXPECT_EQ(ReadBytes(first), "10.0.0.66 bank.example\r\n");

    // A fresh file the program writes in its place is its own again.
    ASSERT_TRUE(WriteFileText(backup, "clean\r\n"));
    EXPECT_TRUE(IsTrustedOwner(backup, owners));

    EXPECT_THROW(SetAsideUntrusted(dataFolder + "\\missing"), Failure);
}

TEST_F(FolderAccessAndOwnership, OnlyAnUntrustedFileIsSetAside) {
    MakeDataFolder();
    std::string backup = dataFolder + "\\hosts";
    EXPECT_FALSE(SetAsideIfUntrusted(backup, owners)) << "nothing stands there";

    ASSERT_TRUE(WriteFileText(backup, "clean\r\n"));
    EXPECT_FALSE(SetAsideIfUntrusted(backup, owners)) << "the program's own backup";
    EXPECT_EQ(ReadBytes(backup), "clean\r\n");

    planted.push_back(backup);
    PlantOwner(owners, backup, "S-1-1-0");
    EXPECT_TRUE(SetAsideIfUntrusted(backup, owners));
    EXPECT_EQ(ReadBytes(backup), "<missing>");
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((backup + ".untrusted-*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "the planted file was not kept";
    planted.push_back(dataFolder + "\\" + found.cFileName);
    FindClose(find);
    EXPECT_EQ(ReadBytes(dataFolder + "\\" + found.cFileName), "clean\r\n");

    // A planter who holds the file open without delete sharing keeps it from being moved: the
    // refusal is reported, and the file still stands there for the caller to refuse.
    WriteBytes(backup, "held\r\n");
    PlantOwner(owners, backup, "S-1-1-0");
    HANDLE held =
        CreateFileA(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_THROW(SetAsideIfUntrusted(backup, owners), Failure);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(backup), "held\r\n");
    EXPECT_FALSE(IsTrustedOwner(backup, owners));
}

TEST_F(FolderAccessAndOwnership, FoldersNotTheServicesOwnAreSetAsideAndMadeAfresh) {
    // Wine makes no junctions and records no owners: a folder reads as a reparse point, or as
    // another account's, through the test's owners. The renames and the new folders are real.
    const std::string maker = commonAppData + "\\Kelmarin";
    constexpr DWORD kJunction = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Row {
        const char* what;
        std::string folder;  // the folder named below; "" for none
        DWORD attributes;    // 0: as the system reads them
        const char* owner;   // nullptr: as the system reads it
        bool setAside;
    };
    const Row rows[] = {
        {"folders of the program's own", "", 0, nullptr, false},
        {"a maker folder that is a junction", maker, kJunction, nullptr, true},
        {"a data folder that is a junction", dataFolder, kJunction, nullptr, true},
        {"a maker folder a standard user made", maker, 0, "S-1-5-21-1-2-3-1001", true},
        {"a data folder of Users", dataFolder, 0, "S-1-5-32-545", true},
        {"a data folder of another administrator's account", dataFolder, 0, kOtherAdministrator, true},
        {"a data folder of the Administrators group", dataFolder, 0, "S-1-5-32-544", false},
        {"a data folder of SYSTEM", dataFolder, 0, "S-1-5-18", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MakeDataFolder();
        WriteBytes(dataFolder + "\\hosts", "planted\r\n");
        if (row.owner != nullptr) PlantOwner(owners, row.folder, row.owner);
        if (row.attributes != 0) owners.NameAttributes(row.folder, row.attributes);

        std::vector<std::pair<std::string, std::string>> told;
        TakeDataFolders(dataFolder, owners, [&](const std::string& folder, const std::string& aside) {
            told.emplace_back(folder, aside);
        });
        EXPECT_TRUE(FolderIsOwn(maker, owners));
        EXPECT_TRUE(FolderIsOwn(dataFolder, owners));
        if (!row.setAside) {
            EXPECT_TRUE(told.empty()) << told[0].second;
            EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "planted\r\n") << "a folder of ours was emptied";
        } else {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].first, row.folder);
            EXPECT_EQ(told[0].second.rfind(row.folder + ".untrusted-", 0), 0u) << told[0].second;
            const std::string movedHosts =
                told[0].second + (row.folder == maker ? "\\Parvalisk" : "") + "\\hosts";
            EXPECT_EQ(ReadBytes(movedHosts), "planted\r\n") << "what the folder held was not kept aside";
            EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "the folder was not made afresh";
            owners.Forget(told[0].second);
            RemoveTree(told[0].second);
        }
        owners.Forget(maker);
        owners.Forget(dataFolder);
        RemoveTree(maker);
    }
}

TEST_F(FolderAccessAndOwnership, AHeldDataFolderStaysPutAndLosesItsLinks) {
    const std::string maker = commonAppData + "\\Kelmarin";
    const std::string outside = commonAppData + "\\system-file";
    WriteBytes(outside, "10.0.0.66 bank.example\r\n");
    WriteBytes(hostsPath, "127.0.0.1 localhost\r\n");
    {
        HeldDataFolder held(dataFolder, owners, {});
        for (const std::string& folder : {dataFolder, maker})
            EXPECT_FALSE(MoveFileA(folder.c_str(), (folder + ".moved").c_str()))
                << folder << " was renamed underneath the service";

        // A second name of another file is removed, never written or read through; a plain file
        // stays.
        const std::string kept = dataFolder + "\\blocked";
        ASSERT_TRUE(CreateHardLinkA(kept.c_str(), outside.c_str(), nullptr));
        WriteBytes(dataFolder + "\\hosts", "clean\r\n");
        EXPECT_TRUE(held.Ready());
        EXPECT_EQ(ReadBytes(kept), "<missing>") << "a hard link stayed in the data folder";
        EXPECT_EQ(ReadBytes(outside), "10.0.0.66 bank.example\r\n");
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "clean\r\n");

        // A held folder that comes to read as a junction is no longer the service's: nothing is
        // done in it.
        DeleteFileA((dataFolder + "\\hosts").c_str());
        owners.NameAttributes(dataFolder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_FALSE(held.Ready());
        DirectBlocker blocker(BlockingPlace{hostsPath, dataFolder, &owners, true, &held});
        CollectedFailures report;
        const std::vector<std::string> entries = {"www.example.com"};
        EXPECT_EQ(blocker.Start(ListedEntries(entries), true, false, report), StartOutcome::Refused);
        EXPECT_EQ(ReadBytes(hostsPath), "127.0.0.1 localhost\r\n");
        EXPECT_EQ(ReadBytes(dataFolder + "\\hosts"), "<missing>") << "the clean copy was written there";
        owners.Forget(dataFolder);
    }
    EXPECT_TRUE(MoveFileA(dataFolder.c_str(), (dataFolder + ".moved").c_str())) << "still held after its end";
}

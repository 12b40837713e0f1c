// The data folder's access list and the owner test for the files in it.
//
// What Wine shows: it keeps no security descriptor on files. Every file and folder reports the
// account running the program as its owner, whatever SetNamedSecurityInfoA recorded, and its
// access list is rebuilt from the Unix mode bits: SYSTEM and the owner with full control, plus an
// Everyone entry for the "other" bits. So under Wine a list written on a folder can only be seen
// through the Everyone entry, the protected flag never comes back, and nothing is enforced (the
// tests all run as one Unix user). Where Windows would show more, the tests check it there and
// say what Wine cannot show.

#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <string>
#include <vector>

#include "support/BlockingForm.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "FileOwnership.h"
#include "FolderAccess.h"
#include "support/MainWindowFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempTree.h"
#include "Appearance.h"

namespace {

constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "<bad sid>";
    std::string result = text;
    LocalFree(text);
    return result;
}

std::string CurrentUserSidText() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// A descriptor read back from the file system, freed at the end.
struct ReadBack {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    DWORD status;
    explicit ReadBack(const std::string& path) {
        status = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                       nullptr, &dacl, nullptr, &descriptor);
    }
    ~ReadBack() {
        if (descriptor) LocalFree(descriptor);
    }
    bool Protected() const {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        return GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED);
    }
};

struct Entry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    std::string sid;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{type " << int(e.type) << ", flags " << int(e.flags) << ", mask 0x" << std::hex << e.mask
               << std::dec << ", " << e.sid << "}";
}

std::vector<Entry> EntriesOf(PACL dacl) {
    std::vector<Entry> entries;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        entries.push_back(
            {allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask, SidText(&allowed->SidStart)});
    }
    return entries;
}

// The accounts a read-back list lets do more than read and execute.
std::set<std::string> WritersOf(const std::string& path) {
    ReadBack read(path);
    std::set<std::string> writers;
    for (const Entry& e : EntriesOf(read.dacl))
        if (e.type == ACCESS_ALLOWED_ACE_TYPE &&
            (e.mask & ~(kReadAndExecute | GENERIC_READ | GENERIC_EXECUTE)) != 0)
            writers.insert(e.sid);
    return writers;
}

const std::vector<Entry> kProtectedList = {
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, "S-1-5-18"},
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, "S-1-5-32-544"},
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, kReadAndExecute, "S-1-5-32-545"},
};

// Whether this system keeps the access lists written on folders (Windows does, Wine does not).
// Asked with plain Win32 calls, not with the code under test.
bool SystemKeepsAccessLists(const std::string& scratch) {
    PSECURITY_DESCRIPTOR probe = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)", SDDL_REVISION_1, &probe, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, probe, FALSE};
    CreateDirectoryA(scratch.c_str(), &attributes);
    LocalFree(probe);
    ReadBack read(scratch);
    bool kept = false;
    for (const Entry& e : EntriesOf(read.dacl)) kept = kept || e.sid == "S-1-5-32-545";
    return read.status == ERROR_SUCCESS && read.Protected() && kept;
}

// Gives a file another owner. Windows records it with SetNamedSecurityInfoA (given the rights to
// name that owner); Wine answers success but keeps nothing, so the owner is then named through
// the test hook and the test says so. Answers whether the system itself recorded it.
bool PlantOwner(TestOwnership& owners, const std::string& path, const std::string& sidText) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(sidText.c_str(), &sid)) << sidText;
    SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid,
                          nullptr, nullptr, nullptr);
    LocalFree(sid);
    ReadBack read(path);
    bool recorded = read.status == ERROR_SUCCESS && SidText(read.owner) == sidText;
    if (!recorded) owners.NameOwner(path, sidText);
    return recorded;
}

PSECURITY_DESCRIPTOR FromSddl(const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << sddl;
    return descriptor;
}

// Another administrator: an account of its own that is a member of the Administrators group.
// Wine has one account and lists no members of the group at all, so the membership look-up is
// told through the test hook to count this one as a member; what Windows answers for a real
// second administrator cannot be shown here. Other accounts still go through the real look-up.
const char kOtherAdministrator[] = "S-1-5-21-1-2-3-1002";

class FileSecurityTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        owners.CountAsAdministrator(kOtherAdministrator);
    }
    void TearDown() override {
        for (const std::string& path : planted) owners.Forget(path);
        TempTree::TearDown();
    }
    std::vector<std::string> planted;
};

}  // namespace

TEST_F(FileSecurityTest, ProtectedDescriptorHoldsTheListAndIsProtected) {
    std::vector<BYTE> descriptor = ProtectedFolderDescriptor();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder must not inherit the parent's open list";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    EXPECT_EQ(EntriesOf(dacl), kProtectedList);
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
    EXPECT_EQ(EntriesOf(dacl), expected);
    EXPECT_FALSE(AccessListIsTight(forMaker.data()));
}

TEST_F(FileSecurityTest, CreatedFolderCarriesTheProtectedList) {
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
        EXPECT_EQ(EntriesOf(read.dacl), expected);
        EXPECT_EQ(FolderAccessIsTight(folder), elevated != FALSE);
    } else {
        // Wine: the list became Unix mode bits; only the missing Everyone entry is visible.
        std::vector<Entry> entries = EntriesOf(read.dacl);
        for (const Entry& e : entries)
            EXPECT_NE(e.sid, "S-1-1-0") << "the new folder must not be open to others";
        ReadBack plainRead(plain);
        bool plainShowsEveryone = false;
        for (const Entry& e : EntriesOf(plainRead.dacl))
            plainShowsEveryone = plainShowsEveryone || e.sid == "S-1-1-0";
        EXPECT_TRUE(plainShowsEveryone) << "a folder made without the list is readable by others under Wine";
    }

    // The folder exists now, so making it again fails, as does a folder whose parent is missing.
    for (const std::string& path : {folder, commonAppData + "\\missing\\Parvalisk"}) {
        EXPECT_THROW(CreateProtectedFolder(path), Failure) << path;
    }
}

TEST_F(FileSecurityTest, AccessListJudgement) {
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

TEST_F(FileSecurityTest, OpenFolderGetsTightened) {
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
        EXPECT_EQ(EntriesOf(read.dacl), kProtectedList);
        EXPECT_TRUE(TightenFolderAccess(dataFolder)) << "a tight folder stays tight";
    } else {
        // Wine reports the owner's full control and no protected flag whatever was written, so it
        // can never show the folder as tight.
        EXPECT_FALSE(tight);
    }
    EXPECT_FALSE(TightenFolderAccess(commonAppData + "\\absent")) << "a missing folder is not tight";
}

TEST_F(FileSecurityTest, OwnerTrustByAccount) {
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

TEST_F(FileSecurityTest, FileOwnerDecidesTrust) {
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

TEST_F(FileSecurityTest, SetAsideKeepsTheFileUnderATellingName) {
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

TEST_F(FileSecurityTest, OnlyAnUntrustedFileIsSetAside) {
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

// ---- the blocker and start-up believe only trusted files -----------------------------------

namespace {

const char kClean[] = "127.0.0.1 localhost\r\n";
const char kPlanted[] = "10.0.0.66 bank.example\r\n";
const std::string kUacAdvice =
    "Please check your UAC settings to make sure they are on 'Never Notify'. Please make sure you run this "
    "software "
    "as administrator by right clicking the desktop icon for this software and choosing 'Run as "
    "administrator'";

class PlantedBackup : public FileSecurityTest {
  protected:
    void SetUp() override {
        FileSecurityTest::SetUp();
        MakeDataFolder();
        SetApplicationTitle();
        backup = dataFolder + "\\hosts";
        WriteBytes(hostsPath, kClean);
    }
    void Plant(const std::string& owner) {
        WriteBytes(backup, kPlanted);
        planted.push_back(backup);
        if (!owner.empty()) PlantOwner(owners, backup, owner);
    }
    // The files moved aside in the data folder, with their content.
    std::vector<std::string> SetAside() {
        std::vector<std::string> contents;
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((backup + ".untrusted-*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return contents;
        do {
            std::string path = dataFolder + "\\" + found.cFileName;
            planted.push_back(path);
            contents.push_back(ReadBytes(path));
        } while (FindNextFileA(find, &found));
        FindClose(find);
        return contents;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const RecordedBox& box : prompts.boxes) texts.push_back(box.text);
        return texts;
    }

    std::string backup;
};

}  // namespace

TEST_F(PlantedBackup, StopRestoresOnlyATrustedBackup) {
    struct Case {
        const char* owner;  // "" : the program wrote it
        bool restored;
    } cases[] = {{"S-1-5-32-545", false}, {"S-1-1-0", false},     {"S-1-5-21-1-2-3-1001", false}, {"", true},
                 {"S-1-5-18", true},      {"S-1-5-32-544", true}, {kOtherAdministrator, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("backup owner ") + (*c.owner ? c.owner : "the program"));
        const std::string blocked = std::string(kClean) + "\r\n127.0.0.1          mail.example\r\n";
        WriteBytes(hostsPath, blocked);
        Plant(c.owner);
        BlockingForm window(Parts(), prompts, root);
        window.form->SetBlocking(true);
        prompts.boxes.clear();

        window.Stop();

        EXPECT_EQ(window.Caption(), "Start Blocking") << "the stop ends the block either way";
        EXPECT_TRUE(prompts.boxes.empty()) << (prompts.boxes.empty() ? "" : prompts.boxes[0].text);
        EXPECT_EQ(ReadBytes(backup), "<missing>");
        if (c.restored) {
            EXPECT_EQ(ReadBytes(hostsPath), kPlanted) << "a trusted backup is put back";
            EXPECT_TRUE(SetAside().empty());
        } else {
            EXPECT_EQ(ReadBytes(hostsPath), blocked) << "a planted backup reached the hosts file";
            EXPECT_EQ(SetAside(), std::vector<std::string>{kPlanted})
                << "the planted file must be kept aside";
        }
        for (const std::string& path : planted) {
            owners.Forget(path);
            DeleteFileA(path.c_str());
        }
        planted.clear();
    }
}

TEST_F(PlantedBackup, StartsSetAPlantedBackupAsideAndTakeAFreshOne) {
    for (bool atStartup : {false, true}) {
        SCOPED_TRACE(atStartup ? "start-up resume" : "user's start");
        WriteBytes(hostsPath, kClean);
        Plant("S-1-5-32-545");
        BlockingForm window(Parts(), prompts, root);
        window.SetEntries({"bank.example"});
        prompts.boxes.clear();

        atStartup ? window.ResumeAtStartup() : window.UserStart();

        EXPECT_TRUE(prompts.boxes.empty()) << (prompts.boxes.empty() ? "" : prompts.boxes[0].text);
        EXPECT_EQ(ReadBytes(backup), kClean) << "the fresh backup is the hosts file as it was";
        EXPECT_TRUE(IsTrustedOwner(backup, owners));
        EXPECT_EQ(SetAside(), std::vector<std::string>{kPlanted});
        EXPECT_EQ(ReadBytes(hostsPath), std::string(kClean) + "\r\n" + BlockLine("bank.example"));

        window.Stop();
        EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the stop puts back the hosts file, not the planted one";
        for (const std::string& path : planted) {
            owners.Forget(path);
            DeleteFileA(path.c_str());
        }
        planted.clear();
    }
}

TEST_F(PlantedBackup, APlantedBackupThatCannotBeMovedIsRefused) {
    // Its planter holds it open without delete sharing, so it cannot be set aside.
    Plant("S-1-5-32-545");
    HANDLE held =
        CreateFileA(backup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    BlockingForm window(Parts(), prompts, root);
    window.SetEntries({"bank.example"});

    window.UserStart();
    EXPECT_EQ(ReadBytes(hostsPath), kClean)
        << "the start wrote a block with only a planted copy to go back to";
    ASSERT_EQ(prompts.boxes.size(), 2u);
    EXPECT_NE(prompts.boxes[0].text.find("StartBlocking at line 106"), std::string::npos)
        << prompts.boxes[0].text;
    EXPECT_EQ(prompts.boxes[1].text, "Could not start blocking.\r\n" + kUacAdvice);
    EXPECT_EQ(window.Caption(), "Start Blocking");

    prompts.boxes.clear();
    window.form->SetBlocking(true);
    window.Stop();
    EXPECT_EQ(ReadBytes(hostsPath), kClean) << "the stop copied the planted backup";
    ASSERT_FALSE(prompts.boxes.empty());
    EXPECT_EQ(prompts.boxes.back().text, "Could not restore settings.\r\n" + kUacAdvice);
    CloseHandle(held);
    EXPECT_EQ(ReadBytes(backup), kPlanted) << "nothing is deleted";
}

// ---- start-up ------------------------------------------------------------------------------

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

        MainWindow& main = StartMainWindow();
        EXPECT_EQ(main.startStopButton_.Caption(), c.adopts ? "Stop Blocking" : "Start Blocking");
        EXPECT_EQ(main.startWithWindowsBox_.Value(), c.adopts ? 1 : 0);
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
        for (const Entry& e : EntriesOf(ReadBack(folder).dacl))
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

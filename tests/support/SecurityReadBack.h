#pragma once
// Security descriptors as the file system gives them back, and files given another owner, for
// the tests of the data folder's access list and of the owners the program believes.
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

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/TempTree.h"
#include "support/TestOwnership.h"

inline constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

inline std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "<bad sid>";
    std::string result = text;
    LocalFree(text);
    return result;
}

inline std::string CurrentUserSidText() {
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

inline std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{type " << int(e.type) << ", flags " << int(e.flags) << ", mask 0x" << std::hex << e.mask
               << std::dec << ", " << e.sid << "}";
}

inline std::vector<Entry> AccessEntriesOf(PACL dacl) {
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
inline std::set<std::string> WritersOf(const std::string& path) {
    ReadBack read(path);
    std::set<std::string> writers;
    for (const Entry& e : AccessEntriesOf(read.dacl))
        if (e.type == ACCESS_ALLOWED_ACE_TYPE &&
            (e.mask & ~(kReadAndExecute | GENERIC_READ | GENERIC_EXECUTE)) != 0)
            writers.insert(e.sid);
    return writers;
}

inline const std::vector<Entry> kProtectedList = {
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, "S-1-5-18"},
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, "S-1-5-32-544"},
    {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, kReadAndExecute, "S-1-5-32-545"},
};

// Whether this system keeps the access lists written on folders (Windows does, Wine does not).
// Asked with plain Win32 calls, not with the code under test.
inline bool SystemKeepsAccessLists(const std::string& scratch) {
    PSECURITY_DESCRIPTOR probe = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)", SDDL_REVISION_1, &probe, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, probe, FALSE};
    CreateDirectoryA(scratch.c_str(), &attributes);
    LocalFree(probe);
    ReadBack read(scratch);
    bool kept = false;
    for (const Entry& e : AccessEntriesOf(read.dacl)) kept = kept || e.sid == "S-1-5-32-545";
    return read.status == ERROR_SUCCESS && read.Protected() && kept;
}

// Gives a file another owner. Windows records it with SetNamedSecurityInfoA (given the rights to
// name that owner); Wine answers success but keeps nothing, so the owner is then named through
// the test hook and the test says so. Answers whether the system itself recorded it.
inline bool PlantOwner(TestOwnership& owners, const std::string& path, const std::string& sidText) {
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

inline PSECURITY_DESCRIPTOR FromSddl(const std::string& sddl) {
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
inline constexpr char kOtherAdministrator[] = "S-1-5-21-1-2-3-1002";

class SecurityTree : public TempTree {
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

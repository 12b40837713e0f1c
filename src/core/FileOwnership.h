#pragma once
// Whose files in the data folder the program believes. A file there is believed only when its
// owner is SYSTEM, the Administrators group, a member of that group (another administrator of the
// computer, whose backup is as sound as one of the program's own) or the account running the
// program; any other file was planted, and is moved aside instead of believed.

#include <windows.h>

#include <string>
#include <vector>

#include "Handles.h"

// Who owns a file, and who belongs to the local Administrators group: the system's answers, or a
// test's own (Wine records no owner on files and knows a single account).
struct Ownership {
    // The file's owner as a copy of its SID; empty when it cannot be read (a missing file too).
    virtual std::vector<BYTE> OwnerOf(const std::string& path) = 0;
    // True when the account is a member of the local Administrators group. The system's answer
    // looks the group up at every call (the network management library is loaded at the first);
    // a failed look-up answers false.
    virtual bool AccountIsInAdministratorsGroup(PSID sid) = 0;
    // The attributes of the file or folder itself, a reparse point's own and never those of what
    // it leads to (INVALID_FILE_ATTRIBUTES when it cannot be read, a missing one too).
    virtual DWORD AttributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

  protected:
    ~Ownership() = default;
};

// The system's answers.
Ownership& SystemOwnership();

// True for SYSTEM, the Administrators group, the account running the program and any member of
// the local Administrators group.
bool IsTrustedSid(PSID sid, Ownership& ownership);

// A file's security information as the system gives it, freed when it goes out of scope.
struct ReadSecurity {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = ERROR_SUCCESS;

    UniqueLocalMemory owned;  // frees the descriptor, which the other pointers point into

    ReadSecurity(const std::string& path, SECURITY_INFORMATION what);
};

// Gives the file or folder a new owner; the system's error code (ERROR_SUCCESS when done).
DWORD SetFileOwner(const std::string& path, PSID owner);

// True when the file's owner is one IsTrustedSid trusts. False for any other owner, when the
// owner cannot be read (a missing file too), and for a file reached through a reparse point or
// holding a second name (a hard link), which report the owner of another file. Never throws.
bool IsTrustedOwner(const std::string& path, Ownership& ownership = SystemOwnership());

// Moves a file whose owner is not trusted out of the way, never deleting it, under a name that
// says why: path + ".untrusted-YYYYMMDD-HHMMSS" (with "-2", "-3" ... added when that name is
// taken). Returns the new path. Throws Failure when the file cannot be moved.
std::string SetAsideUntrusted(const std::string& path);

// For a file the program is about to believe (the hosts backup): when a file stands at the path
// and its owner is not trusted, moves it aside with SetAsideUntrusted and answers true, so the
// caller treats the path as free; answers false when nothing stands there or the file is trusted.
// Throws Failure when an untrusted file cannot be moved aside (it then still stands there).
bool SetAsideIfUntrusted(const std::string& path, Ownership& ownership = SystemOwnership());

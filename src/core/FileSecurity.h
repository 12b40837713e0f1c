#pragma once
// Who may write into the data folder, and whose files in it the program believes.
//
// The data folder lies in the all-users application data folder, where every user may create
// files. A hosts backup planted there by a standard user would be copied over the system hosts
// file by the next administrator's stop, so the folder is given an access list that only SYSTEM
// and administrators can write through, and a file in it is believed only when its owner is
// SYSTEM, the Administrators group, a member of that group (another administrator of the
// computer, whose backup is as sound as one of the program's own) or the account running the
// program.

#include <windows.h>

#include <string>
#include <vector>

// Who owns a file, and who belongs to the local Administrators group: the system's answers, or a
// test's own (Wine records no owner on files and knows a single account).
struct Ownership {
    // The file's owner as a copy of its SID; empty when it cannot be read (a missing file too).
    virtual std::vector<BYTE> OwnerOf(const std::string& path) = 0;
    // True when the account is a member of the local Administrators group. The system's answer
    // looks the group up at every call (the network management library is loaded at the first);
    // a failed look-up answers false.
    virtual bool IsAdministratorsMember(PSID sid) = 0;

  protected:
    ~Ownership() = default;
};

// The system's answers.
Ownership& SystemOwnership();

// Creates the folder with a protected access list: full control for SYSTEM and the
// Administrators group, read and execute for Users, nothing inherited from the parent, every
// entry passed on to the files and folders made inside it. A run without administrator rights
// (a standard user's first run, or an administrator's that is not elevated) also lets its own
// account add sub-folders to this one folder, so it can still make the data folder inside the
// maker folder; an administrator's run removes that entry when it tightens the folder. True
// when the folder was made without that entry, so it needs no tightening. Throws Failure when the
// folder cannot be created (also when something already exists at the path).
bool CreateProtectedFolder(const std::string& path);

// The security descriptor (self-relative) the data folders are given: the list above, marked
// protected so nothing of the parent's list is inherited, with the entry for a folder maker
// (nullptr for none) last. It names no owner.
std::vector<BYTE> ProtectedFolderDescriptor(PSID folderMaker = nullptr);

// True when the descriptor's access list is present, protected from inheritance and lets nobody
// but SYSTEM and the Administrators group write, create, delete or change rights (deny entries
// and read and execute rights for others are fine). The owner is not looked at.
bool AccessListIsTight(PSECURITY_DESCRIPTOR descriptor);

// True for SYSTEM, the Administrators group, the account running the program and any member of
// the local Administrators group.
bool IsTrustedSid(PSID sid, Ownership& ownership);

// True when the folder's access list is protected from inheritance, lets nobody but SYSTEM and
// the Administrators group write, create, delete or change rights in it, and its owner is one the
// program trusts (an untrusted owner could loosen the list again at any time).
bool FolderAccessIsTight(const std::string& path);

// For an administrator's run: when the folder's access list is looser than the protected one (a
// write or create right for Users, Everyone, Authenticated Users, CREATOR OWNER ..., inheritance
// from the parent, or an owner that is not trusted), writes the protected list (and hands the
// folder to the Administrators group when its owner is not trusted). Answers whether the folder
// holds a tight list afterwards; never throws.
bool TightenFolderAccess(const std::string& path);

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

#pragma once
// Who may write into the data folder.
//
// The data folder lies in the all-users application data folder, where every user may create
// files. A hosts backup planted there by a standard user would be copied over the system hosts
// file by the next administrator's stop, so the folder is given an access list that only SYSTEM
// and administrators can write through.

#include <windows.h>

#include <string>
#include <vector>

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

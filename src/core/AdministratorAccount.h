#pragma once
// Membership of the local Administrators group, looked up in the machine's account database (not
// in a token): whether the owner of a file is another administrator of the computer.

#include <windows.h>

// True when the account is a member of the local Administrators group. The network management
// library is loaded at the first look-up; any failure of the look-up answers false.
bool AccountIsInAdministratorsGroup(PSID sid);

#pragma once
// The security identifiers the program's trust rules name: the well-known accounts and groups,
// and the account the program runs as.

#include <windows.h>

#include <vector>

// A SID, copied into memory of its own.
using Sid = std::vector<BYTE>;

// The SID of a well-known account or group. Throws Failure when the system cannot make it.
Sid WellKnownSid(WELL_KNOWN_SID_TYPE type);

// The user the program runs as, from the process token. Throws Failure when it cannot be read.
Sid CurrentUserSid();

// True when the SID is the well-known one of that type.
bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type);

// True for SYSTEM and the built-in Administrators group.
bool IsSystemOrAdministrators(PSID sid);

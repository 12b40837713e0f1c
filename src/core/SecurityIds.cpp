#include "SecurityIds.h"

#include "Failure.h"
#include "Handles.h"

Sid WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    Sid sid(size);
    CheckWin32(CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

// The user the program runs as, from the process token.
Sid CurrentUserSid() {
    UniqueKernelHandle token;
    CheckWin32(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    CheckWin32(size != 0 && GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size));
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* first = static_cast<const BYTE*>(user);
    return Sid(first, first + GetLengthSid(user));
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof known;
    return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

bool IsSystemOrAdministrators(PSID sid) {
    return IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid);
}

#pragma once
// Who sent a request on the pipe, as the caller's own token tells: the groups the rule of who may
// do what (CallerGroups, AdministratorsGroupAttributes) is decided from.

#include <windows.h>

#include "AdministratorToken.h"

// The groups of the calling thread's impersonation token, read while the thread impersonates a
// client. Throws Failure when the thread has no token or its groups cannot be read.
TokenGroupList ImpersonatedTokenGroups();

// The calls by which the pipe server learns a caller, in one place so a test can make any of them
// fail (Wine lets every client be impersonated and read). Each defaults to the real call.
struct ImpersonationCalls {
    virtual BOOL ImpersonateNamedPipeClient(HANDLE pipe);
    virtual TokenGroupList ImpersonatedTokenGroups();
    virtual BOOL RevertToSelf();
    virtual ~ImpersonationCalls() = default;
};

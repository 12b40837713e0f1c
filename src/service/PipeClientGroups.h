#pragma once
// Who sent a request on the pipe, as the caller's own token tells: the groups the rule of who may
// do what is decided from.

#include <windows.h>

#include <vector>

#include "SecurityIds.h"

struct PipeClientGroup {
    Sid sid;
    DWORD attributes = 0;  // SE_GROUP_ENABLED, SE_GROUP_USE_FOR_DENY_ONLY ... as the token holds it
};

// The caller of one request. The pipe server hands the token's groups it read while it
// impersonated the client; a test hands the groups it needs (a standard user, an administrator
// whose Administrators group is for deny only).
struct PipeClientGroups {
    virtual const std::vector<PipeClientGroup>& Groups() const = 0;

  protected:
    ~PipeClientGroups() = default;
};

// The groups of the calling thread's impersonation token, read while the thread impersonates a
// client. Throws Failure when the thread has no token or its groups cannot be read.
std::vector<PipeClientGroup> ImpersonatedTokenGroups();

// The calls by which the pipe server learns a caller, in one place so a test can make any of them
// fail (Wine lets every client be impersonated and read). Each defaults to the real call.
struct ImpersonationCalls {
    virtual BOOL ImpersonateNamedPipeClient(HANDLE pipe);
    virtual std::vector<PipeClientGroup> ImpersonatedTokenGroups();
    virtual BOOL RevertToSelf();
    virtual ~ImpersonationCalls() = default;
};

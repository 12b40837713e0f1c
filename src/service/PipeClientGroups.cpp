#include "PipeClientGroups.h"

#include "Failure.h"
#include "Handles.h"

TokenGroupList ImpersonatedTokenGroups() {
    // Opened as the service itself: a client connected at identification level gives a token
    // that can be read, not one the thread may act with.
    UniqueKernelHandle token;
    CheckWin32(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()));
    TokenCalls calls;
    TokenGroupList groups;
    if (!ReadTokenGroups(token.get(), calls, groups))
        ThrowWin32Error(GetLastError() == ERROR_SUCCESS ? ERROR_INVALID_DATA : GetLastError());
    return groups;
}

BOOL ImpersonationCalls::ImpersonateNamedPipeClient(HANDLE pipe) {
    return ::ImpersonateNamedPipeClient(pipe);
}

TokenGroupList ImpersonationCalls::ImpersonatedTokenGroups() {
    return ::ImpersonatedTokenGroups();
}

BOOL ImpersonationCalls::RevertToSelf() {
    return ::RevertToSelf();
}

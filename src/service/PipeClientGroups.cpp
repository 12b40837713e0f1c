#include "PipeClientGroups.h"

#include "Failure.h"
#include "Handles.h"

std::vector<PipeClientGroup> ImpersonatedTokenGroups() {
    // Opened as the service itself: a client connected at identification level gives a token
    // that can be read, not one the thread may act with.
    UniqueKernelHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) ThrowWin32Error();
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        ThrowWin32Error(GetLastError() == ERROR_SUCCESS ? ERROR_INVALID_DATA : GetLastError());
    // DWORD-aligned storage for the TOKEN_GROUPS table.
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) ThrowWin32Error();
    const auto* table = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    std::vector<PipeClientGroup> groups;
    groups.reserve(table->GroupCount);
    for (DWORD i = 0; i < table->GroupCount; ++i) {
        PSID sid = table->Groups[i].Sid;
        if (sid == nullptr || !IsValidSid(sid)) ThrowWin32Error(ERROR_INVALID_SID);
        const BYTE* first = static_cast<const BYTE*>(sid);
        groups.push_back({Sid(first, first + GetLengthSid(sid)), table->Groups[i].Attributes});
    }
    return groups;
}

BOOL ImpersonationCalls::ImpersonateNamedPipeClient(HANDLE pipe) {
    return ::ImpersonateNamedPipeClient(pipe);
}

std::vector<PipeClientGroup> ImpersonationCalls::ImpersonatedTokenGroups() {
    return ::ImpersonatedTokenGroups();
}

BOOL ImpersonationCalls::RevertToSelf() {
    return ::RevertToSelf();
}

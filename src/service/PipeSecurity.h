#pragma once
// Who may open the service's pipe: SYSTEM and the Administrators group with full access, an
// authenticated user to send requests and read answers only (never to make an instance of the
// pipe, so no other program can serve in the service's name), nobody else. The same owners hold
// the signal by which the service tells programs of a change, which a user may only wait on.

#include <windows.h>

#include <vector>

// The rights an authenticated user is given: reading and writing data, without
// FILE_CREATE_PIPE_INSTANCE (which shares its bit with FILE_APPEND_DATA).
inline constexpr DWORD kPipeClientAccess =
    (FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_CREATE_PIPE_INSTANCE;

// The pipe's security descriptor (self-relative), its access list protected from inheritance.
// Throws Failure when the system cannot build it.
std::vector<BYTE> PipeSecurityDescriptor();

// The change signal's security descriptor (self-relative): an authenticated user may wait on the
// event, never set or reset it.
std::vector<BYTE> ChangeSignalSecurityDescriptor();

#pragma once
// The one failure type that reaches a procedure's error report. It carries the system's own
// wording of what went wrong (the FormatMessage text of a Win32 error, for example).

#include <windows.h>

#include <stdexcept>
#include <string>

class Failure : public std::runtime_error {
  public:
    explicit Failure(const std::string& description, DWORD code = 0)
        : std::runtime_error(description), code_(code) {}
    DWORD code() const { return code_; }

  private:
    DWORD code_;
};

// The system's description of a Win32 error code, without the trailing line break.
std::string SystemErrorText(DWORD code);

// Throws a Failure for the given Win32 error (by default the thread's last error).
[[noreturn]] void ThrowWin32Error(DWORD code = GetLastError());

// Throws a Failure for a failed HRESULT (COM and shell calls).
[[noreturn]] void ThrowHResult(HRESULT hr);

#pragma once
// The one failure type that reaches a procedure's error report. It carries the system's own
// wording of what went wrong (the FormatMessage text of a Win32 error, for example), and the
// source line that threw it, for the places that show technical details.

#include <windows.h>

#include <source_location>
#include <stdexcept>
#include <string>

class Failure : public std::runtime_error {
  public:
    explicit Failure(const std::string& description, DWORD code = 0,
                     std::source_location where = std::source_location::current())
        : std::runtime_error(description), code_(code), where_(where) {}
    DWORD code() const { return code_; }
    // "File.cpp:123": the file's name (without its folders) and line that threw.
    std::string Where() const;

  private:
    DWORD code_;
    std::source_location where_;
};

// The system's description of a Win32 error code, without the trailing line break.
std::string SystemErrorText(DWORD code);

// Throws a Failure for the given Win32 error (by default the thread's last error).
[[noreturn]] void ThrowWin32Error(DWORD code = GetLastError(),
                                  std::source_location where = std::source_location::current());

// The one-line checks of a Win32 call's answer. CheckWin32 throws the thread's last error when
// `ok` is false (a FALSE BOOL, a null pointer or handle, an empty owning handle); CheckWin32Status
// throws `status` itself when it is not ERROR_SUCCESS (the registry's calls answer their error).
template <class Answer>
void CheckWin32(const Answer& ok, std::source_location where = std::source_location::current()) {
    if (!ok) ThrowWin32Error(GetLastError(), where);
}
inline void CheckWin32Status(LONG status, std::source_location where = std::source_location::current()) {
    if (status != ERROR_SUCCESS) ThrowWin32Error(static_cast<DWORD>(status), where);
}

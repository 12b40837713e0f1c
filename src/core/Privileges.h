#pragma once
// A privilege of the process token, turned on for as long as an object lives.

#include <windows.h>

#include "Handles.h"

// Turns on one privilege of the process token for as long as the object lives.
class EnabledPrivilege {
  public:
    explicit EnabledPrivilege(const char* name) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put()))
            return;
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid)) return;
        DWORD size = sizeof previous_;
        if (AdjustTokenPrivileges(token_.get(), FALSE, &wanted, sizeof previous_, &previous_, &size) &&
            GetLastError() == ERROR_SUCCESS)
            adjusted_ = true;
    }
    EnabledPrivilege(const EnabledPrivilege&) = delete;
    EnabledPrivilege& operator=(const EnabledPrivilege&) = delete;
    ~EnabledPrivilege() {
        if (adjusted_) AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    }

  private:
    UniqueKernelHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool adjusted_ = false;
};

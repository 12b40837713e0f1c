#pragma once
// The pipe server's callers with the elevation a test stages. Wine knows no elevation and gives
// no real group attributes (every program in it runs with the Administrators group enabled), so
// these calls read the caller's real token and give its Administrators group the attributes a
// test asks for: enabled (an elevated program) or for deny only (an administrator's program that
// was not elevated).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "PipeClientGroups.h"

// The pipe server's way to learn a caller, with the Administrators group of every caller's real
// token given `administrators` as its attributes (kAsTheTokenHasThem: left as they are).
class AdministratorsAttributesCalls final : public ImpersonationCalls {
  public:
    static constexpr DWORD kAsTheTokenHasThem = 0xFFFFFFFF;

    TokenGroupList ImpersonatedTokenGroups() override {
        TokenGroupList groups = ImpersonationCalls::ImpersonatedTokenGroups();
        const DWORD wanted = administrators;
        if (wanted == kAsTheTokenHasThem) return groups;
        BYTE known[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof known;
        EXPECT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, known, &size));
        auto* table = reinterpret_cast<TOKEN_GROUPS*>(groups.table.data());
        for (size_t i = 0; i < groups.Count(); ++i)
            if (EqualSid(table->Groups[i].Sid, known)) table->Groups[i].Attributes = wanted;
        return groups;
    }

    std::atomic<DWORD> administrators{kAsTheTokenHasThem};
};

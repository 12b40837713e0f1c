#include "AdministratorAccount.h"

#include <lm.h>

#include "Failure.h"
#include "SecurityIds.h"
#include "SystemLibrary.h"

namespace {

// The network management library's functions, bound at the first look-up of a member rather
// than at every start: most runs never need them.
struct NetApi {
    decltype(&NetLocalGroupGetMembers) LocalGroupGetMembers =
        SystemFunction<decltype(&NetLocalGroupGetMembers)>("netapi32.dll", "NetLocalGroupGetMembers");
    decltype(&NetApiBufferFree) ApiBufferFree =
        SystemFunction<decltype(&NetApiBufferFree)>("netapi32.dll", "NetApiBufferFree");
};

const NetApi& Netapi32() {
    static const NetApi functions;
    return functions;
}

}  // namespace

// Any failure of the look-up answers false, so a file whose owner cannot be placed is still set
// aside.
bool AccountIsInAdministratorsGroup(PSID sid) {
    try {
        // The group is named by the system's language; its SID is the same everywhere.
        Sid administrators = WellKnownSid(WinBuiltinAdministratorsSid);
        char name[256], domain[256];
        DWORD nameLength = sizeof name, domainLength = sizeof domain;
        SID_NAME_USE use;
        if (!LookupAccountSidA(nullptr, administrators.data(), name, &nameLength, domain, &domainLength,
                               &use))
            return false;
        // The group functions take the name in UTF-16 only.
        wchar_t group[256];
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, group, 256) == 0) return false;

        const NetApi& net = Netapi32();
        DWORD_PTR resume = 0;
        for (;;) {
            LOCALGROUP_MEMBERS_INFO_0* members = nullptr;
            DWORD read = 0, total = 0;
            NET_API_STATUS status =
                net.LocalGroupGetMembers(nullptr, group, 0, reinterpret_cast<BYTE**>(&members),
                                         MAX_PREFERRED_LENGTH, &read, &total, &resume);
            bool found = false;
            if (status == NERR_Success || status == ERROR_MORE_DATA) {
                for (DWORD i = 0; i < read && !found; ++i)
                    found = members[i].lgrmi0_sid != nullptr && EqualSid(members[i].lgrmi0_sid, sid);
            }
            if (members != nullptr) net.ApiBufferFree(members);
            if (found) return true;
            if (status != ERROR_MORE_DATA || read == 0) return false;
        }
    } catch (const Failure&) {
        return false;
    }
}

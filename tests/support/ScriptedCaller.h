#pragma once
// A caller of the service's pipe as its token would show it. Wine knows no elevation and gives no
// real group attributes (every account in it is an administrator), so a test stages the groups
// itself: a scripted caller whose token holds the groups given.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "ServiceRequests.h"

inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";
inline constexpr DWORD kGroupEnabled = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;

struct ScriptedGroup {
    const char* sid;
    DWORD attributes;
};

// A caller whose token holds these groups, laid out as GetTokenInformation lays them out; or a
// caller whose token cannot be had.
class ScriptedCaller final : public CallerGroups {
  public:
    explicit ScriptedCaller(std::optional<std::vector<ScriptedGroup>> groups) : groups_(std::move(groups)) {}

    const TokenGroupList* Groups() override {
        ++asked;
        if (!groups_) return nullptr;
        std::vector<std::vector<BYTE>> sids;
        size_t length = offsetof(TOKEN_GROUPS, Groups) + groups_->size() * sizeof(SID_AND_ATTRIBUTES);
        for (const ScriptedGroup& group : *groups_) {
            PSID sid = nullptr;
            EXPECT_TRUE(ConvertStringSidToSidA(group.sid, &sid)) << group.sid;
            const BYTE* bytes = static_cast<const BYTE*>(sid);
            sids.emplace_back(bytes, bytes + GetLengthSid(sid));
            LocalFree(sid);
            length += sids.back().size();
        }
        TokenGroupList list;
        list.table.assign((length + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR), 0);
        list.length = length;
        auto* table = reinterpret_cast<TOKEN_GROUPS*>(list.table.data());
        table->GroupCount = static_cast<DWORD>(groups_->size());
        BYTE* at = reinterpret_cast<BYTE*>(&table->Groups[groups_->size()]);
        for (size_t i = 0; i < sids.size(); ++i) {
            std::memcpy(at, sids[i].data(), sids[i].size());
            table->Groups[i].Sid = at;
            table->Groups[i].Attributes = (*groups_)[i].attributes;
            at += sids[i].size();
        }
        list_ = std::move(list);
        return &list_;
    }

    int asked = 0;

  private:
    std::optional<std::vector<ScriptedGroup>> groups_;
    TokenGroupList list_;
};

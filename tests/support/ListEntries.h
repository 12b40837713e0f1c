#pragma once
// Every entry of a website list, copied, in order.
#include <string>
#include <string_view>
#include <vector>

#include "WebsiteList.h"

inline std::vector<std::string> EntriesOf(const WebsiteList& list) {
    std::vector<std::string> entries;
    for (std::string_view entry : list) entries.emplace_back(entry);
    return entries;
}

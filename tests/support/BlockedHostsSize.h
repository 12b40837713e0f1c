#pragma once
// The length of the blocked hosts text (the previous content, CR LF, one block line per entry) for
// a previous content of the given size: what a write must produce, worked out independently.
#include <string_view>

#include "HostsText.h"

template <typename Entries>
size_t BlockedHostsSize(size_t previousSize, const Entries& entries) {
    constexpr size_t kLineBreakSize = 2;
    size_t size = previousSize + kLineBreakSize;
    for (std::string_view entry : entries)
        size += sizeof kBlockLinePrefix - 1 + HostNameOfEntry(entry).size() + kLineBreakSize;
    return size;
}

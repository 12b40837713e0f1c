#pragma once
// The text the blocker writes into the hosts file: the content the file had, CR LF, then one
// block line per list entry, in list order.

#include <string>
#include <string_view>
#include <vector>

#include "core/FileHelpers.h"

// The loopback address and ten spaces that begin every block line.
inline constexpr char kBlockLinePrefix[] = "127.0.0.1          ";

// The host name an entry stands for: its text exactly as the list holds it, up to its first CR
// or LF, so that one entry never yields more than one hosts line.
std::string_view HostNameOfEntry(std::string_view entry);

// Gives the blocked hosts text to a sink: the previous content, CR LF, then for each entry in
// list order the prefix, its host name and CR LF. The lines are gathered in one buffer of a
// fixed size that is handed on whenever it is full, so a list of a million entries goes to the
// file at the speed of a copy and needs no memory in proportion to its length.
void PutBlockedHosts(ContentSink& sink, const std::string& previous, const std::vector<std::string_view>& entries);

// The length of that text for a previous content of the given size.
size_t BlockedHostsSize(size_t previousSize, const std::vector<std::string_view>& entries);

// The hosts file as the blocker finds it.
struct HostsContent {
    bool exists = false;
    std::string text;
};

// Reads the hosts file for blocking: a missing file gives "" (exists false); a file of length 0
// gives "", not the "empty file" of ReadFileText, so an empty hosts file never gains that line;
// any other file gives ReadFileText's result. Throws Failure when the file exists but cannot be
// read, and when it cannot even be told whether the file exists.
HostsContent ReadHostsForBlocking(const std::string& hostsPath);

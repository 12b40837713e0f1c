#pragma once
// The text the blocker writes into the hosts file: the content the file had, CR LF, then one
// block line per list entry, in list order.

#include <string>
#include <string_view>
#include <vector>

// The loopback address and ten spaces that begin every block line.
inline constexpr char kBlockLinePrefix[] = "127.0.0.1          ";

// The host name an entry stands for: its text exactly as the list holds it, up to its first CR
// or LF, so that one entry never yields more than one hosts line.
std::string_view HostNameOfEntry(const std::string& entry);

// Appends the block line of one entry: the prefix, the host name, CR LF.
void AppendBlockLine(std::string& text, const std::string& entry);

// The length of a previous content of the given size followed by CR LF and every block line,
// so the whole text is reserved once.
size_t BlockedHostsSize(size_t previousSize, const std::vector<std::string>& entries);

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

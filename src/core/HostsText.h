#pragma once
// The text the blocker writes into the hosts file: the content the file had, CR LF, then one
// block line per list entry, in list order.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileHelpers.h"

// The loopback address and ten spaces that begin every block line.
inline constexpr char kBlockLinePrefix[] = "127.0.0.1          ";

// The host name an entry stands for: its text exactly as the list holds it, up to its first CR
// or LF, so that one entry never yields more than one hosts line.
std::string_view HostNameOfEntry(std::string_view entry);

// Gathers block lines in a buffer of a fixed size and hands it to a sink whenever it is full, so
// a list of a million entries goes to the file at the speed of a copy and needs no memory in
// proportion to its length.
class BlockLineWriter {
  public:
    explicit BlockLineWriter(ContentSink& sink);
    BlockLineWriter(const BlockLineWriter&) = delete;
    BlockLineWriter& operator=(const BlockLineWriter&) = delete;

    // Adds the block line of one entry: the prefix, its host name and CR LF.
    void Add(std::string_view entry);
    // Hands on what is still gathered. Nothing may be added afterwards.
    void Finish();

  private:
    // An entry whose line is longer than the buffer goes to the sink in pieces of its own.
    void AddOnItsOwn(std::string_view entry);

    ContentSink& sink_;
    std::unique_ptr<char[]> buffer_;
    char* const begin_;
    char* const end_;
    char* at_;
};

// Gives the blocked hosts text to a sink: the previous content, CR LF, then for each entry in
// list order the prefix, its host name and CR LF. The entries are any range of texts that
// convert to std::string_view (a vector of them, or the website list itself, walked in place).
template <typename Entries>
void PutBlockedHosts(ContentSink& sink, const std::string& previous, const Entries& entries) {
    sink.Put(previous.data(), previous.size());
    sink.Put("\r\n", 2);
    BlockLineWriter lines(sink);
    for (std::string_view entry : entries) lines.Add(entry);
    lines.Finish();
}

// The length of that text for a previous content of the given size.
template <typename Entries>
size_t BlockedHostsSize(size_t previousSize, const Entries& entries) {
    constexpr size_t kLineBreakSize = 2;
    size_t size = previousSize + kLineBreakSize;
    for (std::string_view entry : entries)
        size += sizeof kBlockLinePrefix - 1 + HostNameOfEntry(entry).size() + kLineBreakSize;
    return size;
}

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

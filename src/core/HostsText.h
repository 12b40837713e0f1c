#pragma once
// The text the blocker writes into the hosts file: the content the file had, CR LF, then one
// block line per list entry, in list order.

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FileHelpers.h"

// The loopback address and ten spaces that begin every block line.
inline constexpr char kBlockLinePrefix[] = "127.0.0.1          ";

// The host name an entry stands for, a part of the entry's text. The text counts up to its first
// CR or LF, so that one entry never yields more than one hosts line. A web address (a text that
// holds "://") stands for its host: what follows the "://", up to the first "/", "?" or "#", and
// without a ":port" (a colon followed by digits alone) at its end; a hosts line naming the whole
// address would block nothing. Every other text is its own host name, exactly as the list holds it.
std::string_view HostNameOfEntry(std::string_view entry);

// Writes an entry's host name at `to` and gives its length. Uses up to `size` bytes at `to` and
// reads nothing past the entry.
using HostNameCopier = size_t (*)(const char* from, size_t size, char* to);
// The copier for this processor: sixteen bytes at a time where the processor has SSE2 (every
// processor that runs Windows 8 or later), four at a time otherwise. Both give the same result.
HostNameCopier FastestHostNameCopier();
size_t CopyHostNameByWords(const char* from, size_t size, char* to);
size_t CopyHostNameBySse2(const char* from, size_t size, char* to);

// Gathers block lines in a buffer of a fixed size and hands it to a sink whenever it is full, so
// a list of a million entries goes to the file at the speed of a copy and needs no memory in
// proportion to its length.
class BlockLineWriter {
  public:
    explicit BlockLineWriter(ContentSink& sink, HostNameCopier copyHostName = FastestHostNameCopier());
    BlockLineWriter(const BlockLineWriter&) = delete;
    BlockLineWriter& operator=(const BlockLineWriter&) = delete;

    // Adds the block line of one entry: the prefix, its host name and CR LF.
    void Add(std::string_view entry) {
        const std::string_view one[] = {entry};
        AddAll(one);
    }
    // Adds the block lines of every entry in order. Inline, with the write position held in a
    // local: a million short names would otherwise spend much of their time on the bookkeeping.
    template <typename Entries>
    void AddAll(const Entries& entries) {
        constexpr size_t kPrefixSize = sizeof kBlockLinePrefix - 1;
        char* at = at_;
        char* const end = end_;
        const HostNameCopier copyHostName = copyHostName_;
        for (std::string_view entry : entries) {
            // Room for the longest line the entry can give; the name is cut after it is copied.
            if (static_cast<size_t>(end - at) < kPrefixSize + entry.size() + 2) {
                at_ = at;
                AddToNextPiece(entry);
                at = at_;
                continue;
            }
            std::memcpy(at, kBlockLinePrefix, kPrefixSize);
            at += kPrefixSize;
            at += copyHostName(entry.data(), entry.size(), at);
            at[0] = '\r';
            at[1] = '\n';
            at += 2;
        }
        at_ = at;
    }
    // Hands on what is still gathered. Nothing may be added afterwards.
    void Finish();

  private:
    // Hands on the full piece, then adds the entry to the emptied buffer, or on its own when its
    // line is longer than the buffer.
    void AddToNextPiece(std::string_view entry);
    void AddOnItsOwn(std::string_view entry);

    ContentSink& sink_;
    const HostNameCopier copyHostName_;
    std::unique_ptr<char[]> buffer_;
    char* const begin_;
    char* const end_;
    char* at_;
};

// Adds the block lines of the listed entries, in list order (lines.AddAll(list) for a list).
using BlockEntries = std::function<void(BlockLineWriter&)>;

// Gives the blocked hosts text to a sink: the previous content, CR LF, then for each entry in
// list order the prefix, its host name and CR LF.
void PutBlockedHosts(ContentSink& sink, const std::string& previous, const BlockEntries& entries);

// The hosts file as the blocker finds it.
struct HostsContent {
    bool exists = false;
    std::string text;
};

// Whether the text holds the complete set of the entries' block lines, one after the other in
// list order, each a whole line. True for no entries.
bool HoldsBlockLines(std::string_view text, const BlockEntries& entries);

// The text without the block lines a start writes for these entries: every run of whole lines
// that are each the block line of one of the entries goes, and with it the line break a start
// puts before its lines: an empty line (CR LF alone) just before the run, or, for a run that ends
// the text, the CR LF that ends the line before it (a start after content without a final line
// break). Everything else stays byte for byte, and no two lines are ever joined, so the text of a
// hosts file a start blocked comes back as it was before.
std::string WithoutBlockLines(std::string_view text, const BlockEntries& entries);

// Reads the hosts file for blocking: a missing file gives "" (exists false); a file of length 0
// gives "", not the "empty file" of ReadFileText, so an empty hosts file never gains that line;
// any other file gives ReadFileText's result. Throws Failure when the file exists but cannot be
// read, and when it cannot even be told whether the file exists.
HostsContent ReadHostsForBlocking(const std::string& hostsPath);

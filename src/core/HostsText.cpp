#include "core/HostsText.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "core/Failure.h"
#include "core/FileHelpers.h"

namespace {
constexpr size_t kLineBreakSize = 2;
constexpr size_t kPrefixSize = sizeof kBlockLinePrefix - 1;
constexpr size_t kPieceSize = 256 * 1024;
// True when one of the four bytes of the word is the given byte.
inline bool HoldsByte(uint32_t word, unsigned char byte) {
    uint32_t x = word ^ (0x01010101u * byte);
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

// Copies the entry up to its first CR or LF to the buffer and returns the end of the copy. Four
// bytes at a time while no word holds a line break, then byte by byte: a million short names
// go faster so than through a call per name.
char* CopyUpToLineBreak(std::string_view entry, char* at) {
    const char* from = entry.data();
    const size_t size = entry.size();
    size_t done = 0;
    for (; done + 4 <= size; done += 4) {
        uint32_t word;
        std::memcpy(&word, from + done, 4);
        if (HoldsByte(word, '\r') || HoldsByte(word, '\n')) break;
        std::memcpy(at, &word, 4);
        at += 4;
    }
    for (; done < size; ++done) {
        char c = from[done];
        if (c == '\r' || c == '\n') break;
        *at++ = c;
    }
    return at;
}

}  // namespace

std::string_view HostNameOfEntry(std::string_view entry) {
    size_t length = 0;
    while (length < entry.size() && entry[length] != '\r' && entry[length] != '\n') ++length;
    return std::string_view(entry.data(), length);
}

void PutBlockedHosts(ContentSink& sink, const std::string& previous,
                     const std::vector<std::string_view>& entries) {
    sink.Put(previous.data(), previous.size());
    sink.Put("\r\n", kLineBreakSize);
    std::unique_ptr<char[]> piece(new char[kPieceSize]);
    char* const begin = piece.get();
    char* const end = begin + kPieceSize;
    char* at = begin;
    for (std::string_view entry : entries) {
        // Room for the longest line the entry can give; the name is cut while it is copied.
        const size_t most = kPrefixSize + entry.size() + kLineBreakSize;
        if (static_cast<size_t>(end - at) < most) {
            sink.Put(begin, static_cast<size_t>(at - begin));
            at = begin;
        }
        if (most > kPieceSize) {  // an entry too long for the buffer goes on its own
            std::string_view name = HostNameOfEntry(entry);
            sink.Put(kBlockLinePrefix, kPrefixSize);
            sink.Put(name.data(), name.size());
            sink.Put("\r\n", kLineBreakSize);
            continue;
        }
        std::memcpy(at, kBlockLinePrefix, kPrefixSize);
        at += kPrefixSize;
        at = CopyUpToLineBreak(entry, at);
        *at++ = '\r';
        *at++ = '\n';
    }
    sink.Put(begin, static_cast<size_t>(at - begin));
}

size_t BlockedHostsSize(size_t previousSize, const std::vector<std::string_view>& entries) {
    size_t size = previousSize + kLineBreakSize;
    for (std::string_view entry : entries)
        size += kPrefixSize + HostNameOfEntry(entry).size() + kLineBreakSize;
    return size;
}

HostsContent ReadHostsForBlocking(const std::string& hostsPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(hostsPath.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        // Only a file that is surely absent counts as missing; a file that cannot be looked at
        // may hold content that must not be written over.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, ""};
        ThrowWin32Error(error);
    }
    bool empty = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 &&
                 data.nFileSizeLow == 0;
    if (empty) return {true, ""};
    return {true, ReadFileText(hostsPath)};
}

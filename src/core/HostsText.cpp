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
constexpr size_t kPieceSize = 1024 * 1024;

// The top bit of each byte of the word that is below 0x0E, the byte after CR (exact in telling
// whether there are any). CR and LF are both below it; so are a few other control characters,
// which a host name does not hold either.
inline uint32_t LowBytes(uint32_t word) {
    return (word - 0x0E0E0E0Eu) & ~word & 0x80808080u;
}

// Copies the entry to `to`, a word at a time and without a call per entry (a million short
// names go much faster so). False when it surely holds no CR or LF; true when it may hold one
// (it holds a byte below 0x0E) and must be searched. The last word of an entry of four bytes
// or more is copied over its last four bytes, so nothing is read past the entry.
inline bool CopyAndLookForLineBreak(const char* from, size_t size, char* to) {
    if (size < 4) {
        bool found = false;
        for (size_t k = 0; k < size; ++k) {
            to[k] = from[k];
            found |= from[k] == '\r' || from[k] == '\n';
        }
        return found;
    }
    uint32_t low = 0;
    uint32_t word;
    for (size_t done = 0; done + 4 <= size; done += 4) {
        std::memcpy(&word, from + done, 4);
        std::memcpy(to + done, &word, 4);
        low |= LowBytes(word);
    }
    std::memcpy(&word, from + size - 4, 4);
    std::memcpy(to + size - 4, &word, 4);
    low |= LowBytes(word);
    return low != 0;
}

}  // namespace

std::string_view HostNameOfEntry(std::string_view entry) {
    size_t length = 0;
    while (length < entry.size() && entry[length] != '\r' && entry[length] != '\n') ++length;
    return std::string_view(entry.data(), length);
}

BlockLineWriter::BlockLineWriter(ContentSink& sink)
    : sink_(sink), buffer_(new char[kPieceSize]), begin_(buffer_.get()), end_(begin_ + kPieceSize), at_(begin_) {}

void BlockLineWriter::Add(std::string_view entry) {
    const char* const from = entry.data();
    const size_t size = entry.size();
    // Room for the longest line the entry can give; the name is cut after it is copied.
    if (static_cast<size_t>(end_ - at_) < kPrefixSize + size + kLineBreakSize) {
        sink_.Put(begin_, static_cast<size_t>(at_ - begin_));
        at_ = begin_;
        if (kPrefixSize + size + kLineBreakSize > kPieceSize) {  // too long for the buffer
            AddOnItsOwn(entry);
            return;
        }
    }
    std::memcpy(at_, kBlockLinePrefix, kPrefixSize);
    char* const name = at_ + kPrefixSize;
    // The whole entry is copied and looked at once; only an entry that may hold a line break (a
    // rare thing, only a stored list can carry one) is searched for where to cut.
    if (CopyAndLookForLineBreak(from, size, name)) {
        at_ = name + HostNameOfEntry(entry).size();
    } else {
        at_ = name + size;
    }
    at_[0] = '\r';
    at_[1] = '\n';
    at_ += kLineBreakSize;
}

void BlockLineWriter::AddOnItsOwn(std::string_view entry) {
    std::string_view name = HostNameOfEntry(entry);
    sink_.Put(kBlockLinePrefix, kPrefixSize);
    sink_.Put(name.data(), name.size());
    sink_.Put("\r\n", kLineBreakSize);
}

void BlockLineWriter::Finish() {
    sink_.Put(begin_, static_cast<size_t>(at_ - begin_));
    at_ = begin_;
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

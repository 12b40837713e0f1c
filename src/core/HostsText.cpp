#include "HostsText.h"

#include <windows.h>
#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "Failure.h"
#include "FileHelpers.h"

namespace {
constexpr size_t kLineBreakSize = 2;
constexpr size_t kPrefixSize = sizeof kBlockLinePrefix - 1;
constexpr size_t kPieceSize = 1024 * 1024;

// The top bit of each byte of the word that is below 0x0E, the byte after CR (exact in telling
// whether there are any). CR and LF are both below it; so are a few other control characters,
// which a host name does not hold either. An entry with such a byte is searched for where to cut
// it; every other entry is copied whole without a byte-by-byte look.
inline uint32_t LowBytes(uint32_t word) {
    return (word - 0x0E0E0E0Eu) & ~word & 0x80808080u;
}

inline uint32_t Copy4(const char* from, char* to) {
    uint32_t word;
    std::memcpy(&word, from, 4);
    std::memcpy(to, &word, 4);
    return LowBytes(word);
}

// The length to keep of an entry that holds a byte below 0x0E.
inline size_t CutLength(const char* from, size_t size, bool hasLowByte) {
    return hasLowByte ? HostNameOfEntry(std::string_view(from, size)).size() : size;
}

// Bytes below 0x0E among the sixteen, one bit each.
__attribute__((target("sse2"))) inline int LowBytes16(__m128i bytes) {
    const __m128i kCarriageReturn = _mm_set1_epi8(0x0D);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(bytes, kCarriageReturn), _mm_setzero_si128()));
}

__attribute__((target("sse2"))) inline int Copy16(const char* from, char* to) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
    return LowBytes16(bytes);
}

__attribute__((target("sse2"))) inline int Copy8(const char* from, char* to) {
    __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
    return LowBytes16(bytes) & 0xFF;  // the upper eight bytes are zeros, not entry bytes
}

}  // namespace

// Both copiers copy the entry in whole words, the last one laid over the entry's last bytes, so
// nothing is read or written past it.
size_t CopyHostNameByWords(const char* from, size_t size, char* to) {
    if (size < 4) {
        bool low = false;
        for (size_t k = 0; k < size; ++k) {
            to[k] = from[k];
            low |= static_cast<unsigned char>(from[k]) < 0x0E;
        }
        return CutLength(from, size, low);
    }
    uint32_t low = 0;
    for (size_t done = 0; done + 4 <= size; done += 4) low |= Copy4(from + done, to + done);
    low |= Copy4(from + size - 4, to + size - 4);
    return CutLength(from, size, low != 0);
}

__attribute__((target("sse2"))) size_t CopyHostNameBySse2(const char* from, size_t size, char* to) {
    int low;
    if (size >= 16) {
        low = 0;
        for (size_t done = 0; done + 16 <= size; done += 16) low |= Copy16(from + done, to + done);
        low |= Copy16(from + size - 16, to + size - 16);
    } else if (size >= 8) {
        low = Copy8(from, to) | Copy8(from + size - 8, to + size - 8);
    } else if (size >= 4) {
        low = static_cast<int>(Copy4(from, to) | Copy4(from + size - 4, to + size - 4));
    } else {
        return CopyHostNameByWords(from, size, to);
    }
    return CutLength(from, size, low != 0);
}

HostNameCopier FastestHostNameCopier() {
    static const HostNameCopier fastest = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)
                                              ? CopyHostNameBySse2
                                              : CopyHostNameByWords;
    return fastest;
}

std::string_view HostNameOfEntry(std::string_view entry) {
    size_t length = 0;
    while (length < entry.size() && entry[length] != '\r' && entry[length] != '\n') ++length;
    return std::string_view(entry.data(), length);
}

BlockLineWriter::BlockLineWriter(ContentSink& sink, HostNameCopier copyHostName)
    : sink_(sink),
      copyHostName_(copyHostName),
      buffer_(new char[kPieceSize]),
      begin_(buffer_.get()),
      end_(begin_ + kPieceSize),
      at_(begin_) {}

void BlockLineWriter::AddToNextPiece(std::string_view entry) {
    Finish();
    if (kPrefixSize + entry.size() + kLineBreakSize > kPieceSize)
        AddOnItsOwn(entry);
    else
        Add(entry);
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

void PutBlockedHosts(ContentSink& sink, const std::string& previous, const BlockEntries& entries) {
    sink.Put(previous.data(), previous.size());
    sink.Put("\r\n", 2);
    BlockLineWriter lines(sink);
    entries(lines);
    lines.Finish();
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

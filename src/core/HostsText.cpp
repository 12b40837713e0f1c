#include "HostsText.h"

#include <windows.h>
#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "Failure.h"
#include "FileHelpers.h"

namespace {
constexpr size_t kLineBreakSize = 2;
constexpr size_t kPrefixSize = sizeof kBlockLinePrefix - 1;
constexpr size_t kPieceSize = 1024 * 1024;

// The top bit of each byte of the word that is below 0x0E, the byte after CR, or a colon (exact
// in telling whether there are any). CR and LF cut an entry; a few other control characters are
// below 0x0E too, which a host name does not hold either; a colon is part of every web address
// ("://"). An entry with such a byte is looked at byte by byte for its host name; every other
// entry is its own host name and is copied whole without a byte-by-byte look.
inline uint32_t BytesToLookAt(uint32_t word) {
    const uint32_t colons = word ^ 0x3A3A3A3Au;  // a zero byte where the word holds a colon
    return ((word - 0x0E0E0E0Eu) & ~word & 0x80808080u) | ((colons - 0x01010101u) & ~colons & 0x80808080u);
}

inline bool IsByteToLookAt(char c) {
    return static_cast<unsigned char>(c) < 0x0E || c == ':';
}

inline uint32_t Copy4(const char* from, char* to) {
    uint32_t word;
    std::memcpy(&word, from, 4);
    std::memcpy(to, &word, 4);
    return BytesToLookAt(word);
}

// The length of the host name of an entry already copied whole to `to`. Only an entry with a
// byte to look at can have a host name other than its whole text; that name is moved to the
// front. Read from the copy, never from the entry again: an entry may lie in memory another
// process can change, and what is written must be the name of what was copied.
inline size_t PlaceHostName(char* to, size_t size, bool hasByteToLookAt) {
    if (!hasByteToLookAt) return size;
    const std::string_view name = HostNameOfEntry(std::string_view(to, size));
    if (name.data() != to) std::memmove(to, name.data(), name.size());
    return name.size();
}

// Bytes below 0x0E, and colons, among the sixteen, one bit each.
__attribute__((target("sse2"))) inline int BytesToLookAt16(__m128i bytes) {
    const __m128i kCarriageReturn = _mm_set1_epi8(0x0D);
    const __m128i low = _mm_cmpeq_epi8(_mm_subs_epu8(bytes, kCarriageReturn), _mm_setzero_si128());
    return _mm_movemask_epi8(_mm_or_si128(low, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(':'))));
}

__attribute__((target("sse2"))) inline int Copy16(const char* from, char* to) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
    return BytesToLookAt16(bytes);
}

__attribute__((target("sse2"))) inline int Copy8(const char* from, char* to) {
    __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
    return BytesToLookAt16(bytes) & 0xFF;  // the upper eight bytes are zeros, not entry bytes
}

}  // namespace

// Both copiers copy the entry in whole words, the last one laid over the entry's last bytes, so
// nothing is read or written past it.
size_t CopyHostNameByWords(const char* from, size_t size, char* to) {
    if (size < 4) {
        bool look = false;
        for (size_t k = 0; k < size; ++k) {
            const char byte = from[k];  // read once: what is looked at is what was copied
            to[k] = byte;
            look |= IsByteToLookAt(byte);
        }
        return PlaceHostName(to, size, look);
    }
    uint32_t low = 0;
    for (size_t done = 0; done + 4 <= size; done += 4) low |= Copy4(from + done, to + done);
    low |= Copy4(from + size - 4, to + size - 4);
    return PlaceHostName(to, size, low != 0);
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
    return PlaceHostName(to, size, low != 0);
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
    const std::string_view line(entry.data(), length);
    const size_t scheme = line.find("://");
    if (scheme == std::string_view::npos) return line;
    std::string_view host = line.substr(scheme + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    const size_t colon = host.rfind(':');
    if (colon != std::string_view::npos &&
        host.find_first_not_of("0123456789", colon + 1) == std::string_view::npos)
        host = host.substr(0, colon);
    return host;
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
    // Looked at in a copy of its own, for the same reason as PlaceHostName.
    const std::string copy(entry);
    const std::string_view name = HostNameOfEntry(copy);
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

namespace {

// Compares what it is given with a text from a position on, without keeping any of it.
class MatchingSink final : public ContentSink {
  public:
    MatchingSink(std::string_view text, size_t at) : text_(text), at_(at) {}
    void Put(const char* data, size_t size) override {
        same_ = same_ && at_ + size <= text_.size() &&
                text_.compare(at_, size, std::string_view(data, size)) == 0;
        at_ += size;
    }
    bool Same() const { return same_; }

  private:
    std::string_view text_;
    size_t at_;
    bool same_ = true;
};

// Keeps the first line it is given and then stops the entries: a long list is not gone through
// only to learn where its lines would begin.
class FirstLineSink final : public ContentSink {
  public:
    struct Enough {};
    void Put(const char* data, size_t size) override {
        line_.append(data, size);
        const size_t end = line_.find('\n');
        if (end == std::string::npos) return;
        line_.resize(end + 1);
        throw Enough{};
    }
    const std::string& Line() const { return line_; }

  private:
    std::string line_;
};

struct CollectingSink final : ContentSink {
    void Put(const char* data, size_t size) override { text.append(data, size); }
    std::string text;
};

}  // namespace

bool HoldsBlockLines(std::string_view text, const BlockEntries& entries) {
    FirstLineSink firstLine;
    try {
        BlockLineWriter writer(firstLine);
        entries(writer);
        writer.Finish();
    } catch (const FirstLineSink::Enough&) {
    }
    const std::string& first = firstLine.Line();
    if (first.empty()) return true;  // no entries: nothing to hold
    // The set is made again piece by piece and compared where each copy of its first line
    // stands, so a long list needs no second copy of its lines in memory.
    for (size_t at = text.find(first); at != std::string_view::npos; at = text.find(first, at + 1)) {
        if (at > 0 && text[at - 1] != '\n') continue;  // not the start of a line
        MatchingSink matching(text, at);
        BlockLineWriter writer(matching);
        entries(writer);
        writer.Finish();
        if (matching.Same()) return true;
    }
    return false;
}

std::string WithoutBlockLines(std::string_view text, const BlockEntries& entries) {
    CollectingSink lines;
    {
        BlockLineWriter writer(lines);
        entries(writer);
        writer.Finish();
    }
    std::unordered_set<std::string_view> blockLines;
    for (size_t at = 0; at < lines.text.size();) {
        const size_t end = lines.text.find('\n', at) + 1;  // every block line ends with CR LF
        blockLines.insert(std::string_view(lines.text).substr(at, end - at));
        at = end;
    }
    std::string kept;
    kept.reserve(text.size());
    bool inRun = false;
    bool runTookEmptyLine = false;
    size_t lastKeptLine = std::string::npos;  // where the last line kept begins in `kept`
    for (size_t at = 0; at < text.size();) {
        const size_t lineFeed = text.find('\n', at);
        const size_t end = lineFeed == std::string_view::npos ? text.size() : lineFeed + 1;
        const std::string_view line = text.substr(at, end - at);
        if (blockLines.count(line) != 0) {
            // A start writes CR LF after the content it found: after content that ended with a
            // line break that is an empty line of its own, which goes with the set. The CR LF
            // that ends an ordinary line stays, or the lines before and after the set would join.
            if (!inRun) {
                runTookEmptyLine = lastKeptLine != std::string::npos &&
                                   kept.compare(lastKeptLine, std::string::npos, "\r\n") == 0;
                if (runTookEmptyLine) {
                    kept.resize(lastKeptLine);
                    lastKeptLine = std::string::npos;
                }
            }
            inRun = true;
        } else {
            lastKeptLine = kept.size();
            kept.append(line);
            inRun = false;
        }
        at = end;
    }
    // A set at the very end after content without a final line break: the CR LF before it is the
    // one the start wrote to end that content's last line, and nothing follows that could join.
    if (inRun && !runTookEmptyLine && kept.size() >= 2 && kept.compare(kept.size() - 2, 2, "\r\n") == 0)
        kept.resize(kept.size() - 2);
    return kept;
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

#include "ListFileReader.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "Failure.h"
#include "FileHelpers.h"
#include "Handles.h"

namespace {

constexpr DWORD kReadChunk = 1 << 20;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// True when one of the four bytes is below 14, the only ones that can be CR or LF.
bool HasByteBelow14(uint32_t word) {
    return ((word - 0x0E0E0E0Eu) & ~word & 0x80808080u) != 0;
}

// The index of the first CR or LF at or after `i`, or `count`. Host names hold no control
// characters, so the text is skipped four bytes at a time and only words that hold a byte
// below 14 are looked at byte by byte.
size_t NextLineEnd(const char* text, size_t i, size_t count) {
    for (;;) {
        uint32_t word;
        while (i + 4 <= count && (std::memcpy(&word, text + i, 4), !HasByteBelow14(word))) i += 4;
        size_t stop = std::min(i + 4, count);
        while (i < stop && !IsLineEnd(text[i])) ++i;
        if (i < stop || i == count) return i;
    }
}

// Splits list-file text into entries as it arrives. A line ends at CR, at CR LF or at the end
// of the file; inside a line every LF ends one entry, and the piece after the last LF is an
// entry even when empty. So a CR or CR LF at the very end starts no further entry, but an LF
// at the very end gives an empty last one.
//
// The text lies in the list's own store (read straight into it), so each entry is just the
// stretch of the store between two line ends: nothing is copied.
class LineSplitter {
  public:
    explicit LineSplitter(WebsiteList& list) : list_(list), pieceStart_(list.StoredSize()) {}

    // The `count` characters at `text` are the store's newest, starting at offset `base`.
    void Feed(const char* text, size_t count, size_t base) {
        size_t i = 0;
        while (i < count) {
            size_t run = i;
            i = NextLineEnd(text, i, count);
            if (i > run) {
                pending_ = true;
                skipLf_ = false;
            }
            if (i == count) break;
            size_t at = base + i;
            if (text[i] == '\r') {
                list_.AppendStored(pieceStart_, at - pieceStart_);
                pending_ = false;
                skipLf_ = true;
            } else if (skipLf_) {
                skipLf_ = false;  // the LF of a CR LF pair
            } else {
                list_.AppendStored(pieceStart_, at - pieceStart_);
                pending_ = true;
            }
            pieceStart_ = at + 1;
            ++i;
        }
    }

    // The end of the file at store offset `end`: the unfinished line, if any, is an entry.
    void Finish(size_t end) {
        if (pending_) list_.AppendStored(pieceStart_, end - pieceStart_);
        pending_ = false;
    }

  private:
    WebsiteList& list_;
    size_t pieceStart_;
    bool pending_ = false;  // characters (or an LF) since the last CR: a line is open
    bool skipLf_ = false;   // the previous character was a CR
};

// Drops the NUL bytes from a piece of text in place and answers its new length. A NUL is no
// part of a host name, and an entry holding one would cut the stored list short at the next
// start (the registry's string ends at it); a "Unicode" file saved without a mark so reads as
// its text. Text without a NUL costs only the memchr.
size_t DropNuls(char* text, size_t count) {
    char* out = static_cast<char*>(std::memchr(text, '\0', count));
    if (out == nullptr) return count;
    for (const char* in = out + 1, *end = text + count; in < end; ++in)
        if (*in != '\0') *out++ = *in;
    return static_cast<size_t>(out - text);
}

enum class ByteOrderMark { None, Utf8, Utf16Le, Utf16Be };

ByteOrderMark DetectMark(const unsigned char* head, DWORD got) {
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return ByteOrderMark::Utf8;
    if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) return ByteOrderMark::Utf16Le;
    if (got >= 2 && head[0] == 0xFE && head[1] == 0xFF) return ByteOrderMark::Utf16Be;
    return ByteOrderMark::None;
}

// Text saved as "Unicode" or as UTF-8 with a mark, turned into the system code page the rest
// of the program (and the hosts file) speaks, without its mark.
std::string DecodeMarkedText(const std::string& bytes, ByteOrderMark mark) {
    std::wstring wide;
    if (mark == ByteOrderMark::Utf8) {
        const char* text = bytes.data() + 3;
        size_t length = bytes.size() - 3;
        if (length > 0x3FFFFFFF) ThrowWin32Error(ERROR_NOT_ENOUGH_MEMORY);
        int needed = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0);
        CheckWin32(length == 0 || needed > 0);
        wide.resize(static_cast<size_t>(needed));
        if (needed > 0) MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length), wide.data(), needed);
    } else {
        size_t units = (bytes.size() - 2) / 2;  // an odd last byte is no character
        wide.resize(units);
        const unsigned char* raw = reinterpret_cast<const unsigned char*>(bytes.data()) + 2;
        bool bigEndian = mark == ByteOrderMark::Utf16Be;
        for (size_t i = 0; i < units; ++i) {
            unsigned first = raw[2 * i], second = raw[2 * i + 1];
            wide[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
        }
    }
    if (wide.empty()) return "";
    if (wide.size() > 0x3FFFFFFF) ThrowWin32Error(ERROR_NOT_ENOUGH_MEMORY);
    int count = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
    CheckWin32(needed > 0);
    std::string text(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), count, text.data(), needed, nullptr, nullptr);
    return text;
}

// Reads the rest of an open list file into the list, in big chunks straight into its store.
void AppendPlainText(HANDLE file, WebsiteList& list, LONGLONG fileSize) {
    if (fileSize > 0 && fileSize < 0x40000000) {
        // One growth of the store for the whole file (and the one byte the read that finds its
        // end asks for); without it the chunks grow the store as they come.
        try {
            list.ReserveRaw(static_cast<size_t>(fileSize) + 1);
        } catch (const std::bad_alloc&) {
        }
    }
    LineSplitter splitter{list};
    bool estimated = false;
    for (;;) {
        DWORD want = list.SpareRaw() > 0 ? static_cast<DWORD>(std::min<size_t>(list.SpareRaw(), kReadChunk))
                                         : kReadChunk;
        char* room = list.ReserveRaw(want);
        DWORD got = 0;
        CheckWin32(ReadFile(file, room, want, &got, nullptr));
        if (got == 0) break;
        size_t kept = DropNuls(room, got);
        size_t base = list.StoredSize();
        list.CommitRaw(kept);
        size_t entriesBefore = list.Count();
        splitter.Feed(room, kept, base);
        if (!estimated && fileSize > static_cast<LONGLONG>(got)) {
            // Room in the index for the whole file, judged by its first piece, so that a big
            // file does not copy the index again and again as it grows.
            estimated = true;
            double perByte = static_cast<double>(list.Count() - entriesBefore) / got;
            double expected = perByte * static_cast<double>(fileSize - got) * 1.05 + 16;
            if (expected < 1e8) {
                try {
                    list.ReserveEntries(static_cast<size_t>(expected));
                } catch (const std::bad_alloc&) {
                }
            }
        }
    }
    splitter.Finish(list.StoredSize());
}

void AppendDecodedText(const std::string& text, WebsiteList& list) {
    char* room = list.ReserveRaw(text.size());
    std::memcpy(room, text.data(), text.size());
    size_t kept = DropNuls(room, text.size());  // a NUL character decodes to a NUL byte
    LineSplitter splitter{list};                // starts at the store's end, where the text now goes
    size_t base = list.StoredSize();
    list.CommitRaw(kept);
    splitter.Feed(room, kept, base);
    splitter.Finish(list.StoredSize());
}

// Replaces each "\\" by "\" in one left-to-right pass; what a replacement produces is not
// scanned again, so three backslashes become two.
std::string CollapseDoubledBackslashes(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        result.push_back(text[i]);
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
    }
    return result;
}

}  // namespace

std::string NormalizePath(const std::string& path) {
    if (path.empty() || path[0] != '\\') return CollapseDoubledBackslashes(path);
    // A network path: whatever run of backslashes it starts with, it keeps exactly two.
    size_t first = path.find_first_not_of('\\');
    return "\\\\" + CollapseDoubledBackslashes(first == std::string::npos ? "" : path.substr(first));
}

bool ReadListFile(WebsiteList& list, const std::string& path) {
    if (!FileExists(path)) return false;
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    CheckWin32(file);
    BY_HANDLE_FILE_INFORMATION info{};
    CheckWin32(GetFileInformationByHandle(file.get(), &info));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ThrowWin32Error(ERROR_ACCESS_DENIED);
    LONGLONG fileSize = (static_cast<LONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;

    // Whatever happens below, the entries appended so far show in the list.
    ScopeExit showAppended{[&] { list.ShowAppended(); }};

    unsigned char head[3] = {};
    DWORD got = 0;
    CheckWin32(ReadFile(file.get(), head, sizeof head, &got, nullptr));
    ByteOrderMark mark = DetectMark(head, got);
    if (mark == ByteOrderMark::None) {
        LARGE_INTEGER start{};
        CheckWin32(SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN));
        AppendPlainText(file.get(), list, fileSize);
        return true;
    }
    std::string bytes(reinterpret_cast<const char*>(head), got);
    CheckWin32(ReadToEnd(file.get(), bytes));
    AppendDecodedText(DecodeMarkedText(bytes, mark), list);
    return true;
}

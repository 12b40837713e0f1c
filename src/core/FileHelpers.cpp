#include "FileHelpers.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "Failure.h"
#include "Handles.h"

namespace {

// Large transfers go through ReadFile/WriteFile in pieces a DWORD can count.
constexpr size_t kTransferChunk = size_t{1} << 24;
// Read-back comparisons use a buffer of this size, not a second copy of the content.
constexpr size_t kCompareChunk = size_t{1} << 20;

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The program's own files beside a target while it replaces it: the new content until it takes
// the target's place, and the replaced original until the new content stands there. Their names
// are fixed per target, so what a write cut short (a crash, a power cut) leaves behind is known
// for the program's own and is cleared by the next write of the same target.
constexpr char kNewContentSuffix[] = ".parvalisk-new";
constexpr char kReplacedOriginalSuffix[] = ".parvalisk-old";

// Clears what a write cut short left beside the target. A stale new file goes. A stale original
// goes when the target stands; when the target is missing, the original is the user's file left
// between the two moves of a replace, and it takes the target's place again. A folder at either
// name is never removed: false then, and the write cannot go on.
bool ClearLeftoversOfACutWrite(const std::string& path) {
    const std::string fresh = path + kNewContentSuffix;
    const std::string original = path + kReplacedOriginalSuffix;
    DWORD freshAttributes = GetFileAttributesA(fresh.c_str());
    DWORD originalAttributes = GetFileAttributesA(original.c_str());
    if (IsFolder(freshAttributes) || IsFolder(originalAttributes)) return false;
    if (freshAttributes != INVALID_FILE_ATTRIBUTES) DeleteFileA(fresh.c_str());
    if (originalAttributes == INVALID_FILE_ATTRIBUTES) return true;
    DWORD target = GetFileAttributesA(path.c_str());
    if (target == INVALID_FILE_ATTRIBUTES) {
        if (IsMissingError(GetLastError()))
            MoveFileExA(original.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    } else if (!(target & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(original.c_str());
    }
    return true;
}

// Writes what it is given at the handle's position. After the first refused write it takes
// nothing more and the whole write counts as failed.
class FileSink : public ContentSink {
  public:
    explicit FileSink(HANDLE file) : file_(file) {}
    void Put(const char* data, size_t size) override {
        while (ok_ && size > 0) {
            DWORD chunk = static_cast<DWORD>(std::min(size, kTransferChunk));
            DWORD written = 0;
            ok_ = WriteFile(file_, data, chunk, &written, nullptr) && written > 0;
            data += written;
            size -= written;
            total_ += written;
        }
    }
    bool ok() const { return ok_; }
    size_t total() const { return total_; }

  private:
    HANDLE file_;
    bool ok_ = true;
    size_t total_ = 0;
};

// Compares what it is given with the file behind the handle, read from its position.
class CompareSink : public ContentSink {
  public:
    explicit CompareSink(HANDLE file) : file_(file), buffer_(kCompareChunk) {}
    void Put(const char* data, size_t size) override {
        while (same_ && size > 0) {
            DWORD chunk = static_cast<DWORD>(std::min(size, buffer_.size()));
            DWORD got = 0;
            same_ = ReadFile(file_, buffer_.data(), chunk, &got, nullptr) && got > 0 &&
                    std::memcmp(buffer_.data(), data, got) == 0;
            data += got;
            size -= got;
        }
    }
    // True when every byte matched and nothing follows them in the file.
    bool SameToTheEnd() {
        char extra;
        DWORD got = 0;
        return same_ && ReadFile(file_, &extra, 1, &got, nullptr) && got == 0;
    }

  private:
    HANDLE file_;
    std::vector<char> buffer_;
    bool same_ = true;
};

bool Rewind(HANDLE file) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

// Writes the whole content at the handle's position, then flushes it to the disk. Sets the
// number of bytes written.
bool WriteAllAndFlush(HANDLE file, const ContentProducer& produce, size_t& written) {
    FileSink sink(file);
    produce(sink);
    written = sink.total();
    return sink.ok() && FlushFileBuffers(file) != 0;
}

// Reads the whole file behind the handle from its start.
bool ReadAll(HANDLE file, std::string& content) {
    content.clear();
    return Rewind(file) && ReadToEnd(file, content);
}

// True when the file behind the handle, read from its start, holds exactly the content.
bool HandleHoldsExactly(HANDLE file, const ContentProducer& produce) {
    if (!Rewind(file)) return false;
    CompareSink sink(file);
    produce(sink);
    return sink.SameToTheEnd();
}

bool FileLengthIs(const std::string& path, size_t length) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           ((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == length;
}

// The sound way: the content goes into a new file beside the target, is flushed, and then takes
// the target's place in one step (ReplaceFileA, which on Windows keeps the target's attributes
// and security), so the target is never seen empty or half-written. The replaced original is
// kept under a name of its own until the new file stands in its place: should the last move
// fail, the original is moved back. False when any step is refused; the target is then as it
// was and nothing is left beside it. Sets the number of bytes written.
bool WriteBesideAndReplace(const std::string& path, const ContentProducer& produce, DWORD targetAttributes,
                           size_t& written) {
    const bool targetExists = targetAttributes != INVALID_FILE_ATTRIBUTES;
    const std::string fresh = path + kNewContentSuffix;
    bool ok = false;
    bool made = false, moved = false;
    // Also when the content cannot be made and the producer throws.
    ScopeExit removeFresh([&] {
        if (made && !moved) DeleteFileA(fresh.c_str());
    });
    {
        // Only a name that is free is taken: whatever still stands there is not this write's.
        UniqueFile file{CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
        if (!file) return false;
        made = true;
        ok = WriteAllAndFlush(file.get(), produce, written);
    }
    if (!ok) return false;
    if (!targetExists) {
        // No replace-existing: a file that appeared meanwhile is not overwritten blindly.
        moved = MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        return moved;
    }
    const std::string original = path + kReplacedOriginalSuffix;
    if (GetFileAttributesA(original.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    moved = ReplaceFileA(path.c_str(), fresh.c_str(), original.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr) != 0;
    if (!moved) {
        // Refused part-way: the original may already stand under its own name; put it back.
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetFileAttributesA(original.c_str()) != INVALID_FILE_ATTRIBUTES)
            MoveFileExA(original.c_str(), path.c_str(), 0);
        return false;
    }
    DeleteFileA(original.c_str());
    // The new file keeps the attributes the replaced one had (not every system merges them).
    DWORD now = GetFileAttributesA(path.c_str());
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != (targetAttributes & kept))
        SetFileAttributesA(path.c_str(), (now & ~kept) | (targetAttributes & kept));
    return true;
}

// The fallback when the one-step replace is refused although the file itself can be written
// (another program holds it open without delete sharing): write over it in place, flush and
// read it back. A write that does not read back exactly is undone with the original content.
bool RewriteInPlace(const std::string& path, const ContentProducer& produce) {
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)};
    if (!file) return false;
    std::string original;
    if (!ReadAll(file.get(), original)) return false;
    auto overwrite = [&](const ContentProducer& content) {
        size_t written = 0;
        return Rewind(file.get()) && WriteAllAndFlush(file.get(), content, written) &&
               SetEndOfFile(file.get()) && FlushFileBuffers(file.get());
    };
    if (overwrite(produce) && HandleHoldsExactly(file.get(), produce)) return true;
    overwrite([&](ContentSink& sink) { sink.Put(original.data(), original.size()); });
    return false;
}

// Creates a file that did not exist, when the file beside it could not be made. A failed
// write removes what it created.
bool WriteNewInPlace(const std::string& path, const ContentProducer& produce) {
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) return false;
    size_t written = 0;
    if (WriteAllAndFlush(file.get(), produce, written) && HandleHoldsExactly(file.get(), produce))
        return true;
    file.reset();
    DeleteFileA(path.c_str());
    return false;
}

}  // namespace

bool FileExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

bool ReadToEnd(HANDLE file, std::string& into) {
    LARGE_INTEGER size{}, at{}, none{};
    if (GetFileSizeEx(file, &size) && SetFilePointerEx(file, none, &at, FILE_CURRENT) &&
        size.QuadPart > at.QuadPart && size.QuadPart - at.QuadPart < 0x7FFFFFFF)
        into.reserve(into.size() + static_cast<size_t>(size.QuadPart - at.QuadPart));
    for (;;) {
        // Pieces a DWORD can count; the size read above is a guess, since the file may grow or
        // shrink while it is read.
        const size_t start = into.size();
        const size_t piece = std::max<size_t>(into.capacity() - start, size_t{1} << 16);
        into.resize(start + std::min(piece, kTransferChunk));
        DWORD got = 0;
        const BOOL read =
            ReadFile(file, into.data() + start, static_cast<DWORD>(into.size() - start), &got, nullptr);
        into.resize(start + got);
        if (!read) return false;
        if (got == 0) return true;
    }
}

std::string ReadFileText(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return "";
    // A file of length 0 is not opened at all. A folder is: opening it fails, and that failure
    // goes to the caller like any other file that exists but cannot be read.
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 &&
        data.nFileSizeLow == 0)
        return "empty file";
    UniqueFile file{CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    CheckWin32(file);
    LARGE_INTEGER size{};
    CheckWin32(GetFileSizeEx(file.get(), &size));
    if (size.QuadPart <= 0) return "empty file";
    if (size.QuadPart > 0x7FFFFFFF) ThrowWin32Error(ERROR_NOT_ENOUGH_MEMORY);
    std::string text;
    CheckWin32(ReadToEnd(file.get(), text));
    return text;
}

bool WriteFileText(const std::string& path, const std::string& text) {
    return WriteFileContent(path, [&](ContentSink& sink) { sink.Put(text.data(), text.size()); });
}

bool WriteFileContent(const std::string& path, const ContentProducer& produce) {
    // First what a write of this file cut short left beside it: an original put back is then
    // the file this write replaces.
    if (!ClearLeftoversOfACutWrite(path)) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && !IsMissingError(GetLastError())) return false;  // cannot even tell whether it is there
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A write-protected file is refused as a whole, before anything is written beside it, so
    // the outcome does not hang on how the one-step replace treats the attribute (Wine's
    // refuses a read-only target outright; the in-place fallback must never overwrite one).
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return false;

    // The replaced file is the one just written in full and flushed, so its length is all that
    // is left to confirm; the in-place write has no such guarantee and is read back.
    size_t written = 0;
    if (WriteBesideAndReplace(path, produce, attributes, written)) return FileLengthIs(path, written);
    return exists ? RewriteInPlace(path, produce) : WriteNewInPlace(path, produce);
}

void DeleteFileForced(const std::string& path) {
    if (DeleteFileA(path.c_str())) return;
    // The forced delete: a read-only (or hidden or system) file loses those attributes and is
    // deleted again. A folder is never removed here. When even that delete is refused, the
    // file keeps the attributes it had.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    DWORD cleared = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    if (cleared == attributes) return;
    if (!SetFileAttributesA(path.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) return;
    if (!DeleteFileA(path.c_str())) SetFileAttributesA(path.c_str(), attributes);
}

#pragma once
// A long list's start handed to the blocking service through a temporary file of the program's
// instead of through the pipe, so that a list of a million entries is not copied through the pipe
// and the service writes the first block lines while the program still puts in the last entries.
//
// This is the program's side and the file's layout; the service's side, which reads the file, is
// SharedListView.
//
// The program writes the start request exactly as the pipe would carry it
// (EncodeStartBlockRequest) into the file, after a small header that tells when it is complete;
// the file grows as the entries go in, and the pipe carries only the file's handle in the program and the
// start's switch (EncodeSharedStartBlockRequest). The service duplicates that handle for reading only and
// reads the file with ReadFile, which answers an error where the file cannot be read: the service never
// touches memory that the program controls, so nothing the program does to the file (a full
// volume, a file cut short) can fault it. The program can still change the file at any time, so
// the service trusts nothing in it: every length is read once and checked, and every entry is
// read into the service's own memory before it is looked at.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Blocker.h"
#include "Handles.h"
#include "ServiceProtocol.h"

// Start requests at least this long go through a shared file; shorter ones are sent whole,
// which is quicker for them.
inline constexpr size_t kSharedListThreshold = 256 * 1024;
// How long the program has, from the service's opening of its file, to complete the request.
// The service reads the list while it serves nobody else: a program that takes longer (stopped,
// or writing a byte now and then) has its start refused, and keeps others waiting no longer than
// the five seconds a silent client may. A list of a million entries takes a few tens of
// milliseconds.
inline constexpr DWORD kSharedListWriteMs = 4000;
// The header before the request: the request's length once it is complete (a 32-bit number), and
// whether it is (another).
inline constexpr size_t kSharedListHeaderSize = 64;
// The header's fields: the request's length and whether it is complete (1), each written whole.
struct SharedListHeader {
    LONG written;   // the request's length, once it is complete
    LONG complete;  // 1 once the request is whole, header and all
};
// Where the entries start in a start request: after its header, its switch and its count.
inline constexpr size_t kSharedListEntriesAt = kServiceMessageHeaderSize + 1 + MessageWriter::kCountBytes;

// Writes `size` bytes of `data` at `at` in the program's temporary file; true when all went in.
// The program writes with WriteFile; a test hands in a write that refuses, as a full volume does.
using SharedListWrite = std::function<bool(HANDLE file, ULONGLONG at, const char* data, DWORD size)>;

// The program's side: a temporary file of its own that holds one start request, which only this
// process opens and which is deleted when the last handle to it goes (the service's included).
// The entries come first, as the service reads them; the request's header, switch and count,
// which tell how many there were, last, once the request is complete.
class SharedListWriter {
  public:
    // Makes the file, its header written. Throws Failure when it cannot be made (no temporary
    // folder on a local disk, a full disk): the request then goes through the pipe. `write`:
    // how the file is written (WriteFile when empty).
    explicit SharedListWriter(SharedListWrite write = {});
    SharedListWriter(const SharedListWriter&) = delete;
    SharedListWriter& operator=(const SharedListWriter&) = delete;

    // The file's handle in this process: what the pipe request names.
    std::uint32_t File() const { return HandleToULong(file_.get()); }

    enum class Filled {
        Complete,
        TooLong,      // more than one message may carry
        WriteFailed,  // the file refused a write
    };
    // Writes the start request of `entries`, the entries as they come, and at last tells the
    // reader that it is complete. A request that is not Complete is left spoilt, so the
    // service refuses it; what is said to be written never goes past what the file took. Never
    // throws.
    Filled Fill(const BlockList& entries, bool atStartup);

  private:
    bool WriteAt(size_t requestOffset, const char* data, size_t size);

    SharedListWrite write_;
    UniqueFile file_;
    std::unique_ptr<char[]> gathered_;  // entries not yet in the file
};

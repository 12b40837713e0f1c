#pragma once
// A long list's start handed to the blocking service through a temporary file of the program's
// instead of through the pipe, so that a list of a million entries is not copied through the pipe
// and the service writes the first block lines while the program still puts in the last entries.
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

// The service's side: a caller's file, read through a handle of the service's own that may only
// read it.
class SharedListView {
  public:
    // Opens the file the pipe's client holds as `file`. Throws Failure when the client's process
    // or its handle cannot be had, or the handle is not of a file on a local disk (a pipe, say,
    // whose read could wait for ever).
    static std::unique_ptr<SharedListView> FromPipeClient(HANDLE pipe, std::uint32_t file);
    SharedListView(const SharedListView&) = delete;
    SharedListView& operator=(const SharedListView&) = delete;

    // The program's file grows as it is written: what a read finds there is written. The header
    // says when the request is complete, and then how long it is (its header, switch and count
    // mean nothing before).
    struct Progress {
        size_t written = 0;
        bool complete = false;
    };
    Progress Now() const;
    // Waits a little for the program (the `round`th time in a row). Throws Failure:
    // ERROR_TIMEOUT past kSharedListWriteMs from the opening, ERROR_OPERATION_ABORTED as soon as
    // `stop` (when given) is set.
    void Pause(int round, HANDLE stop) const;
    // Reads up to `size` bytes of the request from `at` into `into`: fewer where the file ends.
    // Throws Failure when the file cannot be read.
    size_t ReadSome(size_t at, char* into, size_t size) const;
    // Reads `size` bytes of the request from `at` into `into`. Throws Failure (ERROR_INVALID_DATA
    // when the file ends before them).
    void Read(size_t at, char* into, size_t size) const;
    // The whole request, once the program has completed it (Pause's time limit), read into memory
    // of the service's own.
    std::string Complete() const;

  private:
    SharedListView(UniqueFile file, ULONGLONG deadline) : file_(std::move(file)), deadline_(deadline) {}
    bool ReadFileAt(ULONGLONG at, char* into, DWORD size, DWORD& read) const;

    UniqueFile file_;
    ULONGLONG deadline_;  // when the request must be complete (GetTickCount64)
};

// The entries of the start request in a caller's file, read while the program writes them.
class SharedEntries final : public BlockList {
  public:
    // `atStartup`: the switch the pipe request carried, which the complete request must repeat.
    // `stop`: set when the service is told to stop, which ends any wait for the program at once.
    SharedEntries(const SharedListView& view, bool atStartup, HANDLE stop = nullptr)
        : view_(view), atStartup_(atStartup), stop_(stop) {}

    // Both throw Failure: ERROR_INVALID_DATA for an entry longer than the request can hold, or a
    // complete request that is not the start request of the entries read; the errors of
    // SharedListView::Pause when the program is late or the service stops; the read's own error
    // when the file cannot be read.
    void AddLines(BlockLineWriter& lines) const override;
    void ForEach(const std::function<void(std::string_view)>& visit) const override;

  private:
    // Hands the entries on in batches (spans of texts read into the service's memory), in list
    // order.
    template <typename Visit>
    void Walk(const Visit& visitBatch) const;

    const SharedListView& view_;
    bool atStartup_;
    HANDLE stop_;
    // What a walk reads into, kept for the next (a start walks the list more than once).
    mutable std::unique_ptr<char[]> buffer_;
    mutable size_t capacity_ = 0;
};

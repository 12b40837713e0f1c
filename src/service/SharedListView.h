#pragma once
// The service's side of a long list's start handed over through a file of the program's (see
// SharedList.h): the file read through a handle of the service's own, and the entries read from
// it while the program still writes them. The program can change the file at any time, so
// nothing in it is trusted: every length is read once and checked, and every entry is read into
// the service's own memory before it is looked at.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Blocker.h"
#include "Handles.h"
#include "SharedList.h"

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

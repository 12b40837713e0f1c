#pragma once
// A long list's start handed to the blocking service through a section both sides map instead of
// through the pipe, so that a list of a million entries is not copied through the system and
// the service writes the first block lines while the program still puts in the last entries.
//
// The program makes a section that holds the start request exactly as the pipe would carry it
// (EncodeStartBlockRequest), after a small header that tells how far it is written; the pipe
// carries only the section's handle in the program and the start's switch
// (EncodeSharedStartBlockRequest). The service maps the section read-only out of the program's
// process and reads no byte before the program has said it is there. The program can change
// that memory at any time, so the service trusts nothing in it: every length is read once and
// checked against the section's size, and every entry is copied before it is looked at (the
// block line writer works on its own copy).

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Blocker.h"
#include "Handles.h"
#include "ServiceProtocol.h"

// Start requests at least this long go through shared memory; shorter ones are sent whole,
// which is quicker for them.
inline constexpr size_t kSharedListThreshold = 256 * 1024;
// How long the program has, from the service's opening of its section, to complete the request.
// The service reads the list while it serves nobody else: a program that takes longer (stopped,
// or writing a byte now and then) has its start refused, and keeps others waiting no longer than
// the five seconds a silent client may. A list of a million entries takes a few tens of
// milliseconds.
inline constexpr DWORD kSharedListWriteMs = 4000;
// The header before the request: how far the request is written (a 32-bit number), and whether
// it is complete (another).
inline constexpr size_t kSharedListHeaderSize = 64;
// The section's size: room for the header and the longest request.
inline constexpr size_t kSharedListSectionSize = kSharedListHeaderSize + kMaxServiceMessageSize;

// The program's side: a section of its own that holds one start request. The section lies over
// a temporary file that only this process holds open, deleted when the last handle goes, and the
// entries are written into that file through the file system's cache: writing them into fresh
// memory of a section page by page costs several times as much. The entries come first, as the
// service reads them; the request's header, switch and count, which tell how many there were,
// last, once the request is complete.
class SharedListWriter {
  public:
    // Makes the file and the section. Throws Failure when either cannot be made (no temporary
    // folder on a local disk, a full disk): the request then goes through the pipe.
    SharedListWriter();
    ~SharedListWriter();
    SharedListWriter(const SharedListWriter&) = delete;
    SharedListWriter& operator=(const SharedListWriter&) = delete;

    // The section's handle in this process: what the pipe request names.
    std::uint32_t Section() const { return HandleToULong(section_.get()); }

    enum class Filled {
        Complete,
        TooLong,      // more than one message may carry
        WriteFailed,  // the file refused a write
    };
    // Writes the start request of `entries`, telling the reader each time another part is there,
    // and at last that it is complete. A request that is not Complete is left spoilt, so the
    // service refuses it. Never throws.
    Filled Fill(const BlockList& entries, bool atStartup);

  private:
    bool WriteAt(size_t requestOffset, const char* data, size_t size);
    void Publish(size_t written, bool complete);

    UniqueFile file_;
    UniqueKernelHandle section_;
    char* view_ = nullptr;              // the header and the request's first bytes, mapped
    std::unique_ptr<char[]> gathered_;  // entries not yet in the file
};

// The service's side: a caller's section, mapped read-only.
class SharedListView {
  public:
    // Maps the section the pipe's client holds as `section`. Throws Failure when the client's
    // process, its handle or the section cannot be had, or the section is smaller than the
    // program's always is.
    static std::unique_ptr<SharedListView> FromPipeClient(HANDLE pipe, std::uint32_t section);
    ~SharedListView();
    SharedListView(const SharedListView&) = delete;
    SharedListView& operator=(const SharedListView&) = delete;

    // How far the program has written: the request's bytes so far (of which the header, switch
    // and count mean nothing until it is complete), and whether that is all.
    struct Progress {
        std::string_view written;
        bool complete = false;
    };
    // Waits until at least `bytes` are written, or the request is complete. Throws Failure
    // (ERROR_TIMEOUT) when it would wait past kSharedListWriteMs from the opening.
    Progress WaitFor(size_t bytes) const;
    // The whole request, once the program has completed it (WaitFor's limits).
    std::string_view Complete() const;

  private:
    SharedListView(const char* base, ULONGLONG deadline) : base_(base), deadline_(deadline) {}
    Progress Now() const;

    const char* base_;
    ULONGLONG deadline_;  // when the request must be complete (GetTickCount64)
};

// The entries of the start request in a view, read while the program writes them.
class SharedEntries final : public BlockList {
  public:
    // `atStartup`: the switch the pipe request carried, which the complete request must repeat.
    SharedEntries(const SharedListView& view, bool atStartup) : view_(view), atStartup_(atStartup) {}

    // Both throw Failure: ERROR_INVALID_DATA for an entry longer than the request can hold, or a
    // complete request that is not the start request of the entries read; ERROR_TIMEOUT when the
    // program is late (SharedListView::WaitFor).
    void AddLines(BlockLineWriter& lines) const override;
    void ForEach(const std::function<void(std::string_view)>& visit) const override;

  private:
    // Hands the entries on in batches (spans of texts in the view), in list order.
    template <typename Visit>
    void Walk(const Visit& visitBatch) const;

    const SharedListView& view_;
    bool atStartup_;
};

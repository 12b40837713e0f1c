#include "SharedListView.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "Failure.h"

namespace {

// The service reads this much at first, and twice as much each time after up to the most: each
// read has a cost of its own, whatever its size, but a walk that needs only the first entries
// (whether the hosts file holds the block already) reads only them.
constexpr size_t kFirstRead = 64 * 1024;
constexpr size_t kMostRead = 1024 * 1024;
// A walk hands the block line writer this many entries at a time.
constexpr size_t kBatch = 1024;

[[noreturn]] void ThrowMalformed() {
    ThrowWin32Error(ERROR_INVALID_DATA);
}

// Whether the service is told to stop, waiting for it up to `ms` (a pause of that length when
// there is nothing to tell).
bool Stopped(HANDLE stop, DWORD ms) {
    if (stop != nullptr) return WaitForSingleObject(stop, ms) == WAIT_OBJECT_0;
    Sleep(ms);
    return false;
}

}  // namespace

std::unique_ptr<SharedListView> SharedListView::FromPipeClient(HANDLE pipe, std::uint32_t file) {
    ULONG clientId = 0;
    CheckWin32(GetNamedPipeClientProcessId(pipe, &clientId));
    UniqueKernelHandle client(OpenProcess(PROCESS_DUP_HANDLE, FALSE, clientId));
    CheckWin32(client);
    // Read access only: the service never writes the caller's file.
    HANDLE duplicate = nullptr;
    CheckWin32(DuplicateHandle(client.get(), ULongToHandle(file), GetCurrentProcess(), &duplicate,
                               FILE_READ_DATA | FILE_READ_ATTRIBUTES, FALSE, 0));
    UniqueFile own(duplicate);
    // Only a file on a local disk: a read of a pipe, a device or a network's file may wait as long
    // as the other end likes. Only a file has a file's information (a section's handle has none),
    // and only a network's file has a remote protocol.
    FILE_REMOTE_PROTOCOL_INFO remote;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(own.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(own.get(), &information) ||
        GetFileInformationByHandleEx(own.get(), FileRemoteProtocolInfo, &remote, sizeof remote))
        ThrowWin32Error(ERROR_INVALID_HANDLE);
    return std::unique_ptr<SharedListView>(
        new SharedListView(std::move(own), GetTickCount64() + kSharedListWriteMs));
}

bool SharedListView::ReadFileAt(ULONGLONG at, char* into, DWORD size, DWORD& read) const {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    read = 0;
    BOOL done = ReadFile(file_.get(), into, size, &read, &place);
    // A handle the program opened for overlapped work may finish later: its end is waited for, so
    // `place` is never left to the system.
    if (!done && GetLastError() == ERROR_IO_PENDING)
        done = GetOverlappedResult(file_.get(), &place, &read, TRUE);
    if (done) return true;
    // Nothing there to read.
    read = 0;
    return GetLastError() == ERROR_HANDLE_EOF;
}

SharedListView::Progress SharedListView::Now() const {
    SharedListHeader header{};
    DWORD read = 0;
    CheckWin32(ReadFileAt(0, reinterpret_cast<char*>(&header), sizeof header, read));
    if (read != sizeof header) return {};
    const size_t written =
        header.written < 0 ? 0 : std::min(static_cast<size_t>(header.written), kMaxServiceMessageSize);
    return {written, header.complete == 1};
}

void SharedListView::Pause(int round, HANDLE stop) const {
    // A program that is late (stopped, or writing a byte now and then) is not waited for, now or
    // by a later walk.
    if (GetTickCount64() >= deadline_) ThrowWin32Error(ERROR_TIMEOUT);
    // The program is normally ahead: the processor is given up a while, then the wait sleeps a
    // millisecond at a time. A stop of the service ends it within a few rounds either way: the
    // service manager waits for the stop no longer than its hint.
    bool stopped = false;
    if (round < 200) {
        SwitchToThread();
        stopped = round % 16 == 15 && Stopped(stop, 0);
    } else {
        stopped = Stopped(stop, 1);
    }
    if (stopped) ThrowWin32Error(ERROR_OPERATION_ABORTED);
}

size_t SharedListView::ReadSome(size_t at, char* into, size_t size) const {
    DWORD read = 0;
    CheckWin32(ReadFileAt(kSharedListHeaderSize + at, into, static_cast<DWORD>(size), read));
    return read;
}

void SharedListView::Read(size_t at, char* into, size_t size) const {
    if (ReadSome(at, into, size) != size) ThrowMalformed();
}

std::string SharedListView::Complete() const {
    Progress progress = Now();
    for (int round = 0; !progress.complete; ++round) {
        Pause(round, nullptr);
        progress = Now();
    }
    std::string request(progress.written, '\0');
    Read(0, request.data(), request.size());
    return request;
}

template <typename Visit>
void SharedEntries::Walk(const Visit& visitBatch) const {
    std::string_view batch[kBatch];
    size_t inBatch = 0;
    std::uint32_t count = 0;
    // The request's bytes from `bufferAt` are read into `buffer` (`filled` of them); `at` is where
    // the next entry begins in the request.
    // The buffer is the walk's own, kept for the next walk.
    std::unique_ptr<char[]>& buffer = buffer_;
    size_t& capacity = capacity_;
    if (!buffer) {
        buffer.reset(new char[kMostRead]);
        capacity = kMostRead;
    }
    size_t readSize = kFirstRead;
    size_t bufferAt = kSharedListEntriesAt, filled = 0, at = kSharedListEntriesAt;
    SharedListView::Progress progress;  // the request's length, once it is complete
    const auto handOn = [&] {
        if (inBatch > 0) visitBatch(std::span<const std::string_view>(batch, inBatch));
        inBatch = 0;
    };
    // Whether the request's bytes up to `end` are in the buffer: read as far as the file holds them
    // (and the buffer takes them), waiting for them unless the request is complete. The entries
    // read so far are handed on first: the first of them may be all the reader needs, and the
    // buffer is then free to take the next bytes.
    const auto have = [&](size_t end) {
        if (bufferAt + filled >= end) return true;
        handOn();
        // What is left of the last read moves to the buffer's start; an entry longer than the
        // buffer makes it grow (never past the request's limit, which `end` was checked against).
        const size_t kept = bufferAt + filled - at;
        if (end - at > capacity) {
            std::unique_ptr<char[]> larger(new char[end - at]);
            std::memcpy(larger.get(), buffer.get() + (at - bufferAt), kept);
            buffer = std::move(larger);
            capacity = end - at;
        } else {
            std::memmove(buffer.get(), buffer.get() + (at - bufferAt), kept);
        }
        bufferAt = at;
        filled = kept;
        for (int round = 0;; ++round) {
            // Never past the request's end, once that is known.
            const size_t from = bufferAt + filled;
            const size_t until = std::min({from + std::max(readSize, end - from), bufferAt + capacity,
                                           progress.complete ? progress.written : kMaxServiceMessageSize});
            const size_t got = until > from ? view_.ReadSome(from, buffer.get() + filled, until - from) : 0;
            filled += got;
            if (got > 0) readSize = std::min(readSize * 2, kMostRead);
            if (bufferAt + filled >= end) return true;
            if (progress.complete) return false;
            // Nothing more in the file yet: the request is complete (and the next round reads its
            // last bytes), or the program is still writing.
            if (got == 0) {
                progress = view_.Now();
                if (!progress.complete) view_.Pause(round, stop_);
            }
        }
    };
    while (have(at + MessageWriter::kCountBytes)) {
        // The length is read once, into the service's memory, and checked before it is used
        // (little-endian, as on every processor Windows runs on).
        std::uint32_t length;
        std::memcpy(&length, buffer.get() + (at - bufferAt), sizeof length);
        at += MessageWriter::kCountBytes;
        if (length > kMaxServiceMessageSize - at || !have(at + length)) ThrowMalformed();
        batch[inBatch++] = std::string_view(buffer.get() + (at - bufferAt), length);
        at += length;
        ++count;
        if (inBatch == kBatch) handOn();
    }
    // Complete: nothing may follow the last entry, and the request must be the start of these.
    if (progress.written != at) ThrowMalformed();
    char fields[kSharedListEntriesAt];
    view_.Read(0, fields, kSharedListEntriesAt);
    std::uint32_t announced;  // the count, read as the lengths are
    std::memcpy(&announced, fields + kServiceMessageHeaderSize + 1, sizeof announced);
    MessageHeader header;
    if (ReadMessageHeader(std::string_view(fields, kServiceMessageHeaderSize), header) !=
            MessageProblem::None ||
        header.kind != MessageKind::StartBlockRequest ||
        header.bodyLength != at - kServiceMessageHeaderSize ||
        fields[kServiceMessageHeaderSize] != (atStartup_ ? 1 : 0) || announced != count)
        ThrowMalformed();
    handOn();
}

void SharedEntries::AddLines(BlockLineWriter& lines) const {
    Walk([&](std::span<const std::string_view> entries) { lines.AddAll(entries); });
}

void SharedEntries::ForEach(const std::function<void(std::string_view)>& visit) const {
    Walk([&](std::span<const std::string_view> entries) {
        for (std::string_view entry : entries) visit(entry);
    });
}

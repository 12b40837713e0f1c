#include "SharedList.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "Failure.h"

namespace {

// The program writes in pieces of this size: often enough that the service never waits long,
// seldom enough that the writes cost little.
constexpr size_t kPieceSize = 1024 * 1024;
// The service reads this much at first, and twice as much each time after up to the most: each
// read has a cost of its own, whatever its size, but a walk that needs only the first entries
// (whether the hosts file holds the block already) reads only them.
constexpr size_t kFirstRead = 64 * 1024;
constexpr size_t kMostRead = 1024 * 1024;
// Where the entries start in a start request: after its header, its switch and its count.
constexpr size_t kEntriesAt = kServiceMessageHeaderSize + 1 + MessageWriter::kCountBytes;
// A walk hands the block line writer this many entries at a time.
constexpr size_t kBatch = 1024;

struct SharedHeader {
    LONG written;   // the request's length, once it is complete
    LONG complete;  // 1 once the request is whole, header and all
};

[[noreturn]] void ThrowMalformed() {
    ThrowWin32Error(ERROR_INVALID_DATA);
}

bool WriteWhole(HANDLE file, ULONGLONG at, const char* data, DWORD size) {
    // At the given place, so the file's position is of no account.
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD written = 0;
    return WriteFile(file, data, size, &written, &place) && written == size;
}

// Whether the service is told to stop, waiting for it up to `ms` (a pause of that length when
// there is nothing to tell).
bool Stopped(HANDLE stop, DWORD ms) {
    if (stop != nullptr) return WaitForSingleObject(stop, ms) == WAIT_OBJECT_0;
    Sleep(ms);
    return false;
}

}  // namespace

SharedListWriter::SharedListWriter(SharedListWrite write)
    : write_(write ? std::move(write) : WriteWhole), gathered_(new char[kPieceSize]) {
    // A temporary folder elsewhere than on a local disk is not used: the service reads only a
    // file on a local disk, whose reads cannot be kept waiting by whoever serves a network's.
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        ThrowWin32Error(length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW);
    const std::string root = std::string(folder).substr(0, 3);
    const UINT drive = GetDriveTypeA(root.c_str());
    if (drive != DRIVE_FIXED && drive != DRIVE_RAMDISK) ThrowWin32Error(ERROR_NOT_SUPPORTED);
    char name[MAX_PATH];
    CheckWin32(GetTempFileNameA(folder, "pvk", 0, name));
    // Opened by nobody else while this process holds it; the service's handle keeps it until the
    // service is done with it.
    file_.reset(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file_) {
        const DWORD error = GetLastError();
        DeleteFileA(name);
        ThrowWin32Error(error);
    }
    // The header and the request's own fields are there from the start: writing them again later
    // replaces bytes the file holds, which even a full volume takes, so a spoilt request can
    // always be said to be complete.
    const char zeros[kSharedListHeaderSize + kEntriesAt] = {};
    if (!write_(file_.get(), 0, zeros, sizeof zeros)) ThrowWin32Error(ERROR_WRITE_FAULT);
}

bool SharedListWriter::WriteAt(size_t requestOffset, const char* data, size_t size) {
    return write_(file_.get(), kSharedListHeaderSize + requestOffset, data, static_cast<DWORD>(size));
}

SharedListWriter::Filled SharedListWriter::Fill(const BlockList& entries, bool atStartup) {
    // Entries are gathered in a piece of memory, and each full piece written into the file at
    // once: one write per piece, and the loop over a million entries keeps its state in locals.
    char* const begin = gathered_.get();
    char* const end = begin + kPieceSize;
    char* at = begin;
    size_t inFile = kEntriesAt;  // the request's bytes the file took
    std::uint32_t count = 0;
    bool tooLong = false, writeFailed = false;
    const auto handOn = [&] {
        if (at == begin || writeFailed) return;
        const auto size = static_cast<size_t>(at - begin);
        if (!WriteAt(inFile, begin, size)) {
            writeFailed = true;
            return;
        }
        inFile += size;
        at = begin;
    };
    entries.ForEach([&](std::string_view entry) {
        const size_t bytes = MessageWriter::kCountBytes + entry.size();
        tooLong = tooLong || kMaxServiceMessageSize - inFile - static_cast<size_t>(at - begin) < bytes;
        if (tooLong || writeFailed) return;
        const auto length = static_cast<std::uint32_t>(entry.size());
        ++count;
        if (static_cast<size_t>(end - at) < bytes) {
            handOn();
            if (writeFailed) return;
            if (bytes > kPieceSize) {
                // Longer than a piece: written on its own, straight from the list.
                char prefix[MessageWriter::kCountBytes];
                std::memcpy(prefix, &length, sizeof prefix);
                if (!WriteAt(inFile, prefix, sizeof prefix) ||
                    !WriteAt(inFile + sizeof prefix, entry.data(), entry.size())) {
                    writeFailed = true;
                    return;
                }
                inFile += bytes;
                return;
            }
        }
        // The length as the protocol has it, little-endian like every processor Windows runs on.
        std::memcpy(at, &length, sizeof length);
        std::memcpy(at + sizeof length, entry.data(), entry.size());
        at += bytes;
        // The first entry at once: the service looks at it before it writes anything.
        if (count == 1) handOn();
    });
    handOn();
    // A spoilt request keeps its fields of zeros, which no reader takes for a request.
    Filled filled = tooLong ? Filled::TooLong : writeFailed ? Filled::WriteFailed : Filled::Complete;
    if (filled == Filled::Complete) {
        char fields[kEntriesAt];
        MessageWriter::PutHeader(fields, MessageKind::StartBlockRequest, inFile - kServiceMessageHeaderSize);
        fields[kServiceMessageHeaderSize] = atStartup ? 1 : 0;
        MessageWriter::PutCount(fields + kServiceMessageHeaderSize + 1, count);
        if (!WriteAt(0, fields, sizeof fields)) filled = Filled::WriteFailed;
    }
    // Only what the file took is said to be there. Should even this write fail, the service
    // gives the request up when its time is over.
    const SharedHeader header{static_cast<LONG>(inFile), 1};
    write_(file_.get(), 0, reinterpret_cast<const char*>(&header), sizeof header);
    return filled;
}

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
    SharedHeader header{};
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
    size_t bufferAt = kEntriesAt, filled = 0, at = kEntriesAt;
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
    char fields[kEntriesAt];
    view_.Read(0, fields, kEntriesAt);
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

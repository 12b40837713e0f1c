#include "SharedList.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <span>
#include <string>

#include "Failure.h"

namespace {

// The program writes and tells the reader in pieces of this size: often enough that the service
// never waits long, seldom enough that writing and telling cost little.
constexpr size_t kPieceSize = 1024 * 1024;
// Where the entries start in a start request: after its header, its switch and its count.
constexpr size_t kEntriesAt = kServiceMessageHeaderSize + 1 + MessageWriter::kCountBytes;
// A walk hands the block line writer this many entries at a time.
constexpr size_t kBatch = 1024;

struct SharedHeader {
    volatile LONG written;   // the request's bytes up to here are there
    volatile LONG complete;  // 1 once the request is whole, header and all
};

[[noreturn]] void ThrowMalformed() {
    ThrowWin32Error(ERROR_INVALID_DATA);
}

}  // namespace

SharedListWriter::SharedListWriter() : gathered_(new char[kPieceSize]) {
    // A temporary folder elsewhere than on a local disk is not used: a network file's mapped view
    // need not show what is written to the file.
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        ThrowWin32Error(length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW);
    const std::string root = std::string(folder).substr(0, 3);
    const UINT drive = GetDriveTypeA(root.c_str());
    if (drive != DRIVE_FIXED && drive != DRIVE_RAMDISK) ThrowWin32Error(ERROR_NOT_SUPPORTED);
    char name[MAX_PATH];
    if (GetTempFileNameA(folder, "pvk", 0, name) == 0) ThrowWin32Error();
    // Opened by nobody else while this process holds it; the section keeps it until the service
    // lets its view go.
    file_.reset(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file_) {
        const DWORD error = GetLastError();
        DeleteFileA(name);
        ThrowWin32Error(error);
    }
    LARGE_INTEGER size;
    size.QuadPart = kSharedListSectionSize;
    if (!SetFilePointerEx(file_.get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get()))
        ThrowWin32Error();
    section_.reset(CreateFileMappingA(file_.get(), nullptr, PAGE_READWRITE, 0, 0, nullptr));
    if (!section_) ThrowWin32Error();
    view_ = static_cast<char*>(
        MapViewOfFile(section_.get(), FILE_MAP_WRITE, 0, 0, kSharedListHeaderSize + kEntriesAt));
    if (view_ == nullptr) ThrowWin32Error();
}

SharedListWriter::~SharedListWriter() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
}

bool SharedListWriter::WriteAt(size_t requestOffset, const char* data, size_t size) {
    // At the given place, so the file's position is of no account.
    const ULONGLONG at = kSharedListHeaderSize + requestOffset;
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD written = 0;
    return WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, &place) && written == size;
}

void SharedListWriter::Publish(size_t written, bool complete) {
    auto* header = reinterpret_cast<SharedHeader*>(view_);
    // The bytes before the count, the count before the word that says it is final.
    InterlockedExchange(&header->written, static_cast<LONG>(written));
    if (complete) InterlockedExchange(&header->complete, 1);
}

SharedListWriter::Filled SharedListWriter::Fill(const BlockList& entries, bool atStartup) {
    // Entries are gathered in a piece of memory, and each full piece written into the file at
    // once: one write per piece, and the loop over a million entries keeps its state in locals.
    char* const begin = gathered_.get();
    char* const end = begin + kPieceSize;
    char* at = begin;
    size_t inFile = kEntriesAt;  // the request's bytes in the file
    std::uint32_t count = 0;
    bool tooLong = false, writeFailed = false;
    const auto handOn = [&] {
        if (at == begin || writeFailed) return;
        writeFailed = !WriteAt(inFile, begin, static_cast<size_t>(at - begin));
        inFile += static_cast<size_t>(at - begin);
        at = begin;
        if (!writeFailed) Publish(inFile, false);
    };
    entries.ForEach([&](std::string_view entry) {
        const size_t bytes = MessageWriter::kCountBytes + entry.size();
        tooLong = tooLong || kMaxServiceMessageSize - inFile - static_cast<size_t>(at - begin) < bytes;
        if (tooLong || writeFailed) return;
        const auto length = static_cast<std::uint32_t>(entry.size());
        if (static_cast<size_t>(end - at) < bytes) {
            handOn();
            if (bytes > kPieceSize) {
                // Longer than a piece: written on its own.
                char count[MessageWriter::kCountBytes];
                std::memcpy(count, &length, sizeof count);
                writeFailed = writeFailed || !WriteAt(inFile, count, sizeof count) ||
                              !WriteAt(inFile + sizeof count, entry.data(), entry.size());
                inFile += bytes;
                return;
            }
        }
        // The length as the protocol has it, little-endian like every processor Windows runs on.
        std::memcpy(at, &length, sizeof length);
        std::memcpy(at + sizeof length, entry.data(), entry.size());
        at += bytes;
        // The first entry at once: the service looks at it before it writes anything.
        if (++count == 1) handOn();
    });
    handOn();
    // A spoilt request keeps a header of zeros, which no reader takes for a request.
    char* const request = view_ + kSharedListHeaderSize;
    const Filled filled = tooLong ? Filled::TooLong : writeFailed ? Filled::WriteFailed : Filled::Complete;
    if (filled == Filled::Complete) {
        MessageWriter::PutHeader(request, MessageKind::StartBlockRequest, inFile - kServiceMessageHeaderSize);
        request[kServiceMessageHeaderSize] = atStartup ? 1 : 0;
        MessageWriter::PutCount(request + kServiceMessageHeaderSize + 1, count);
    }
    Publish(inFile, true);
    return filled;
}

std::unique_ptr<SharedListView> SharedListView::FromPipeClient(HANDLE pipe, std::uint32_t section) {
    ULONG clientId = 0;
    if (!GetNamedPipeClientProcessId(pipe, &clientId)) ThrowWin32Error();
    UniqueKernelHandle client(OpenProcess(PROCESS_DUP_HANDLE, FALSE, clientId));
    if (!client) ThrowWin32Error();
    // Read access only: the service never writes into the caller's memory.
    UniqueKernelHandle mapping;
    if (!DuplicateHandle(client.get(), ULongToHandle(section), GetCurrentProcess(), mapping.put(),
                         FILE_MAP_READ, FALSE, 0))
        ThrowWin32Error();
    // A view past the end of a smaller section is refused here, so nothing the service reads
    // later can lie beyond it.
    void* base = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kSharedListSectionSize);
    if (base == nullptr) ThrowWin32Error();
    return std::unique_ptr<SharedListView>(
        new SharedListView(static_cast<const char*>(base), GetTickCount64() + kSharedListWriteMs));
}

SharedListView::~SharedListView() {
    UnmapViewOfFile(base_);
}

SharedListView::Progress SharedListView::Now() const {
    const auto* header = reinterpret_cast<const SharedHeader*>(base_);
    // Read in the reverse of their writing: a complete request's count is then its last.
    const bool complete = header->complete == 1;
    const LONG written = header->written;
    // The bytes the count covers are read after it.
    std::atomic_thread_fence(std::memory_order_acquire);
    const size_t bytes = written < 0 ? 0 : std::min(static_cast<size_t>(written), kMaxServiceMessageSize);
    return {std::string_view(base_ + kSharedListHeaderSize, bytes), complete};
}

SharedListView::Progress SharedListView::WaitFor(size_t bytes) const {
    Progress progress = Now();
    for (int round = 0; progress.written.size() < bytes && !progress.complete; ++round) {
        // A program that is late (stopped, or writing a byte now and then) is not waited for,
        // now or by a later walk.
        if (GetTickCount64() >= deadline_) ThrowWin32Error(ERROR_TIMEOUT);
        // The program is normally ahead: a short spin, then the processor given up, then sleeps
        // once the wait grows long.
        if (round < 100)
            YieldProcessor();
        else if (round < 2000)
            SwitchToThread();
        else
            Sleep(1);
        progress = Now();
    }
    return progress;
}

std::string_view SharedListView::Complete() const {
    return WaitFor(kMaxServiceMessageSize + 1).written;
}

template <typename Visit>
void SharedEntries::Walk(const Visit& visitBatch) const {
    std::string_view batch[kBatch];
    size_t inBatch = 0;
    std::uint32_t count = 0;
    size_t at = kEntriesAt;
    SharedListView::Progress progress = view_.WaitFor(at);
    const char* const data = progress.written.data();
    size_t written = progress.written.size();
    const auto handOn = [&] {
        if (inBatch > 0) visitBatch(std::span<const std::string_view>(batch, inBatch));
        inBatch = 0;
    };
    // Whether `bytes` are there, waiting for them unless the request is complete. The entries
    // read so far are handed on first: the first of them may be all the reader needs.
    const auto have = [&](size_t bytes) {
        if (written >= bytes) return true;
        if (!progress.complete) {
            handOn();
            progress = view_.WaitFor(bytes);
            written = progress.written.size();
        }
        return written >= bytes;
    };
    while (have(at + MessageWriter::kCountBytes)) {
        // The length is read once, into this function, and checked before it is used (little-
        // endian, as on every processor Windows runs on).
        std::uint32_t length;
        std::memcpy(&length, data + at, sizeof length);
        at += MessageWriter::kCountBytes;
        if (length > kMaxServiceMessageSize - at || !have(at + length)) ThrowMalformed();
        batch[inBatch++] = std::string_view(data + at, length);
        at += length;
        ++count;
        if (inBatch == kBatch) handOn();
    }
    // Complete: nothing may follow the last entry, and the request must be the start of these.
    if (written != at) ThrowMalformed();
    char fields[kEntriesAt];
    std::memcpy(fields, data, kEntriesAt);
    std::uint32_t announced;  // the count, read as the lengths are
    std::memcpy(&announced, fields + kServiceMessageHeaderSize + 1, sizeof announced);
    MessageHeader header;
    if (ReadMessageHeader(std::string_view(fields, kServiceMessageHeaderSize), header) !=
            MessageProblem::None ||
        header.kind != MessageKind::StartBlockRequest ||
        header.bodyLength != written - kServiceMessageHeaderSize ||
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

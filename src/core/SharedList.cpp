#include "SharedList.h"

#include <cstring>
#include <string>

#include "Failure.h"

namespace {

// The program writes in pieces of this size: often enough that the service never waits long,
// seldom enough that the writes cost little.
constexpr size_t kPieceSize = 1024 * 1024;
bool WriteWhole(HANDLE file, ULONGLONG at, const char* data, DWORD size) {
    // At the given place, so the file's position is of no account.
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD written = 0;
    return WriteFile(file, data, size, &written, &place) && written == size;
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
    const char zeros[kSharedListHeaderSize + kSharedListEntriesAt] = {};
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
    size_t inFile = kSharedListEntriesAt;  // the request's bytes the file took
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
        char fields[kSharedListEntriesAt];
        MessageWriter::PutHeader(fields, MessageKind::StartBlockRequest, inFile - kServiceMessageHeaderSize);
        fields[kServiceMessageHeaderSize] = atStartup ? 1 : 0;
        MessageWriter::PutCount(fields + kServiceMessageHeaderSize + 1, count);
        if (!WriteAt(0, fields, sizeof fields)) filled = Filled::WriteFailed;
    }
    // Only what the file took is said to be there. Should even this write fail, the service
    // gives the request up when its time is over.
    const SharedListHeader header{static_cast<LONG>(inFile), 1};
    write_(file_.get(), 0, reinterpret_cast<const char*>(&header), sizeof header);
    return filled;
}

// answer_pipe <entries-file> <ready-file>: stands in for a service that cannot lift its block. It
// makes the service's pipe, writes the ready file, and answers the first request: a stop with a
// refusal (after writing the entries the stop carried, one a line, to the entries file), anything
// else as malformed. Exits 0 once it has answered a stop, 1 otherwise.
#include <windows.h>

#include <string>

#include "ServicePipeClient.h"
#include "ServiceProtocol.h"

namespace {

bool WriteWholeFile(const char* path, const std::string& text) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                       written == text.size();
    CloseHandle(file);
    return whole;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    constexpr DWORD kBufferSize = 64 * 1024;
    HANDLE pipe =
        CreateNamedPipeA(kServicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                         kBufferSize, kBufferSize, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE || !WriteWholeFile(argv[2], "")) return 1;
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;

    std::string request;
    char buffer[kBufferSize];
    for (;;) {
        DWORD read = 0;
        const BOOL whole = ReadFile(pipe, buffer, sizeof buffer, &read, nullptr);
        request.append(buffer, read);
        if (whole) break;
        if (GetLastError() != ERROR_MORE_DATA) return 1;
    }

    ServiceRequest decoded;
    const bool stop = DecodeRequest(request, decoded) == MessageProblem::None &&
                      decoded.kind == MessageKind::StopBlockRequest;
    std::string entries;
    for (std::string_view entry : decoded.entries) entries.append(entry).append("\n");
    if (stop && !WriteWholeFile(argv[1], entries)) return 1;

    const std::string answer = stop ? EncodeStopBlockAnswer(StopOutcome::Refused, {})
                                    : EncodeMalformedAnswer(MessageProblem::UnknownKind);
    DWORD written = 0;
    WriteFile(pipe, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return stop ? 0 : 1;
}

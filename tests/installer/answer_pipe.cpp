// answer_pipe <entries-file> <ready-file> [service]: stands in for a service that cannot lift its
// block. It makes the service's pipe, writes the ready file, and answers the first request: a stop
// with a refusal (after writing the entries the stop carried, one a line, to the entries file),
// anything else as malformed. Exits 0 once it has answered a stop, 1 otherwise.
// With "service" it runs as the service manager's service "Parvalisk" (the setup journey points
// the installed service at it), so that clients take it for the service; run by hand it is only
// another program that made the pipe, which clients send nothing.
#include <windows.h>

#include <string>

#include "ProgramPaths.h"
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

// Answers one request on the service's pipe; true when it was a stop.
bool AnswerOnce(const char* entriesFile, const char* readyFile) {
    constexpr DWORD kBufferSize = 64 * 1024;
    HANDLE pipe =
        CreateNamedPipeA(kServicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                         kBufferSize, kBufferSize, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE || !WriteWholeFile(readyFile, "")) return false;
    if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return false;

    std::string request;
    static char buffer[kBufferSize];
    for (;;) {
        DWORD read = 0;
        const BOOL whole = ReadFile(pipe, buffer, sizeof buffer, &read, nullptr);
        request.append(buffer, read);
        if (whole) break;
        if (GetLastError() != ERROR_MORE_DATA) return false;
    }

    ServiceRequest decoded;
    const bool stop = DecodeRequest(request, decoded) == MessageProblem::None &&
                      decoded.kind == MessageKind::StopBlockRequest;
    std::string entries;
    for (std::string_view entry : decoded.entries) entries.append(entry).append("\n");
    if (stop && !WriteWholeFile(entriesFile, entries)) return false;

    const std::string answer = stop ? EncodeStopBlockAnswer(StopOutcome::Refused, {})
                                    : EncodeMalformedAnswer(MessageProblem::UnknownKind);
    DWORD written = 0;
    WriteFile(pipe, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return stop;
}

char** arguments = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
bool answeredStop = false;

void Report(DWORD state, DWORD exitCode) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD, DWORD, void*, void*) {
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
    statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, OnControl, nullptr);
    if (statusHandle == nullptr) return;
    Report(SERVICE_RUNNING, NO_ERROR);
    answeredStop = AnswerOnce(arguments[1], arguments[2]);
    Report(SERVICE_STOPPED, answeredStop ? NO_ERROR : ERROR_INVALID_DATA);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "service")) return 2;
    if (argc == 3) return AnswerOnce(argv[1], argv[2]) ? 0 : 1;
    arguments = argv;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) return 1;
    return answeredStop ? 0 : 1;
}

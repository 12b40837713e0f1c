#include "ServicePipeClient.h"

#include <algorithm>

#include "Handles.h"

namespace {

constexpr DWORD kReadChunk = 64 * 1024;
// While every instance serves someone, the open is tried again this often.
constexpr DWORD kBusyRetryMs = 20;

class Deadline {
  public:
    explicit Deadline(DWORD ms) : end_(GetTickCount64() + ms) {}
    DWORD Remaining() const {
        ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(end_ - now, INFINITE - 1));
    }

  private:
    ULONGLONG end_;
};

// Waits for one overlapped transfer until the deadline; a late one is cancelled, and its end
// awaited, so the OVERLAPPED is never freed while the system still writes to it. Answers the
// Win32 error (ERROR_SUCCESS, ERROR_MORE_DATA for a part of a longer message, ERROR_TIMEOUT).
DWORD FinishTransfer(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, const Deadline& deadline,
                     const PipeWait& wait, DWORD& transferred) {
    transferred = 0;
    if (!started) {
        DWORD error = GetLastError();
        // ERROR_MORE_DATA: a part of a longer message is in already; the result tells its size.
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) return error;
        if (error == ERROR_IO_PENDING && !wait(overlapped.hEvent, deadline.Remaining())) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
            return ERROR_TIMEOUT;
        }
    }
    if (!GetOverlappedResult(pipe, &overlapped, &transferred, TRUE)) return GetLastError();
    return ERROR_SUCCESS;
}

ServiceExchange Fail(DWORD error) {
    ServiceExchange result;
    result.outcome = ServiceExchange::Outcome::Failed;
    result.error = error;
    return result;
}

// Opens the service's end of the pipe, waiting within the deadline while every instance serves
// someone. ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when no service serves the name, or the error.
DWORD OpenServicePipe(const std::string& name, const Deadline& deadline, const PipeWait& wait,
                      UniqueFile& pipe) {
    // Identification level: the service reads the caller's groups and can do nothing in its name.
    constexpr DWORD kFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    for (;;) {
        pipe = UniqueFile(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      kFlags, nullptr));
        if (pipe) return ERROR_SUCCESS;
        DWORD error = GetLastError();
        if (error != ERROR_PIPE_BUSY) return error;
        // Tried again shortly rather than waited for in the system: the wait lets the caller's
        // window answer, and a pipe gone meanwhile tells at the next open.
        const DWORD remaining = deadline.Remaining();
        if (remaining == 0) return ERROR_TIMEOUT;
        wait(nullptr, std::min(remaining, kBusyRetryMs));
    }
}

bool WaitOnly(HANDLE handle, DWORD ms) {
    if (handle == nullptr) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
}

// Whether the pipe's server is the process the service manager runs as the service.
bool ServedByService(HANDLE pipe, const ServicePipeOptions& options) {
    ULONG server = 0;
    if (!GetNamedPipeServerProcessId(pipe, &server)) return false;
    const std::optional<DWORD> service = options.serviceProcessId ? options.serviceProcessId() : std::nullopt;
    return service && *service == server;
}

}  // namespace

ServiceExchange ExchangeWithService(std::string_view request, const ServicePipeOptions& options,
                                    const WhileServed& whileServed) {
    if (request.size() > kServiceMessageLimit) return Fail(ERROR_BUFFER_OVERFLOW);
    const Deadline deadline(options.timeoutMs);
    const PipeWait wait = options.wait ? options.wait : PipeWait(WaitOnly);

    UniqueFile pipe;
    if (DWORD error = OpenServicePipe(options.pipeName, deadline, wait, pipe); error != ERROR_SUCCESS) {
        if (error != ERROR_FILE_NOT_FOUND) return Fail(error);
        ServiceExchange none;
        none.outcome = ServiceExchange::Outcome::NoService;
        none.error = error;
        return none;
    }
    if (!ServedByService(pipe.get(), options)) {
        ServiceExchange impostor;
        impostor.outcome = ServiceExchange::Outcome::Impostor;
        return impostor;
    }

    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return Fail(GetLastError());

    UniqueKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) return Fail(GetLastError());
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();

    DWORD transferred = 0;
    BOOL started =
        WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), nullptr, &overlapped);
    DWORD error = FinishTransfer(pipe.get(), overlapped, started, deadline, wait, transferred);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (transferred != request.size()) return Fail(ERROR_WRITE_FAULT);
    if (whileServed) whileServed();

    ServiceExchange result;
    std::string chunk(kReadChunk, '\0');
    for (;;) {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
        if (!ResetEvent(event.get())) return Fail(GetLastError());
        started = ReadFile(pipe.get(), chunk.data(), kReadChunk, nullptr, &overlapped);
        error = FinishTransfer(pipe.get(), overlapped, started, deadline, wait, transferred);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return Fail(error);
        if (result.answer.size() + transferred > options.answerLimit) return Fail(ERROR_BUFFER_OVERFLOW);
        result.answer.append(chunk.data(), transferred);
        if (error == ERROR_SUCCESS) break;
    }
    result.outcome = ServiceExchange::Outcome::Answered;
    return result;
}

std::optional<ServiceAnswer> AskService(std::string_view request, MessageKind answerKind,
                                        const ServicePipeOptions& options, const WhileServed& whileServed) {
    const ServiceExchange exchange = ExchangeWithService(request, options, whileServed);
    if (exchange.outcome == ServiceExchange::Outcome::NoService ||
        exchange.outcome == ServiceExchange::Outcome::Impostor)
        return std::nullopt;
    ServiceAnswer answer;
    if (exchange.outcome == ServiceExchange::Outcome::Answered &&
        DecodeAnswer(exchange.answer, answer) == MessageProblem::None && answer.kind == answerKind)
        return answer;
    // A default answer is the sound one: every outcome in it is a refusal, and it reports nothing.
    return ServiceAnswer{};
}

#pragma once
// The program's side of the service's pipe: one request sent, one answer read, each bounded and
// within a time limit, so a service that hangs or answers too much never holds the program up.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ProgramPaths.h"
#include "ServiceControl.h"
#include "ServiceProtocol.h"

// The pipe the service listens on.
inline constexpr char kServicePipeName[] = "\\\\.\\pipe\\Parvalisk";

// The event the service holds set for a moment after each change of the block or the schedule
// (a manual-reset event; anyone may wait on it, only the service set it). A hint to ask for the
// status again, never a status itself: whoever made it first, the status comes from the pipe.
inline constexpr char kChangeSignalName[] = "Global\\ParvaliskBlockChanged";

// The largest message either side sends or reads: the protocol's own bound.
inline constexpr std::size_t kServiceMessageLimit = kMaxServiceMessageSize;

// The process id of the service, as the service manager reports it; nothing when it runs none.
using ServiceProcessIdQuery = std::function<std::optional<DWORD>()>;

// How the client waits while every instance of the pipe is busy or a transfer is under way: up to
// `ms` for `handle` to be signalled (nullptr: only for the time). True once it is. The program's
// window lets its own events run meanwhile; none given: the client only waits.
using PipeWait = std::function<bool(HANDLE handle, DWORD ms)>;

struct ServicePipeOptions {
    std::string pipeName = kServicePipeName;
    DWORD timeoutMs = 10000;  // for the whole exchange: connect, send and read
    std::size_t answerLimit = kServiceMessageLimit;
    // Whoever serves the pipe name is the service only when its process is the one the service
    // manager runs as the service: any user can make a pipe of that name while the service is down.
    ServiceProcessIdQuery serviceProcessId = [] { return ServiceProcessId(kServiceName); };
    PipeWait wait;
    std::string changeSignalName = kChangeSignalName;
};

struct ServiceExchange {
    enum class Outcome {
        Answered,   // answer holds the service's whole answer
        NoService,  // no pipe of the name: the service is not installed or not running
        Impostor,   // the pipe is served by a process that is not the service: nothing was sent
        Failed,     // connected but the exchange failed: error says why
    };
    Outcome outcome = Outcome::Failed;
    DWORD error = ERROR_SUCCESS;  // the Win32 error of a failed exchange (ERROR_TIMEOUT when late)
    std::string answer;
};

// Work the program does while the service handles its request (writing the file a shared
// list lies in); run once the request is sent, before the answer is read. Throws nothing.
using WhileServed = std::function<void()>;

// Connects to the pipe (at identification level only: the service may learn who asks, never act
// as the caller), checks that the service serves it, sends the request as one message, runs
// `whileServed` (when given) and reads one message back. Never throws.
ServiceExchange ExchangeWithService(std::string_view request, const ServicePipeOptions& options = {},
                                    const WhileServed& whileServed = {});

// Asks the service once and reads its answer. Nothing when no service serves the pipe (also when
// another process serves it in the service's place); an answer
// of `kind` MalformedAnswer when the exchange failed, or the answer could not be read or is not
// of the kind asked for.
std::optional<ServiceAnswer> AskService(std::string_view request, MessageKind answerKind,
                                        const ServicePipeOptions& options = {},
                                        const WhileServed& whileServed = {});

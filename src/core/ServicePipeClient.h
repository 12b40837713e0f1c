#pragma once
// The program's side of the service's pipe: one request sent, one answer read, each bounded and
// within a time limit, so a service that hangs or answers too much never holds the program up.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ServiceProtocol.h"

// The pipe the service listens on.
inline constexpr char kServicePipeName[] = "\\\\.\\pipe\\Parvalisk";

// The largest message either side sends or reads: the protocol's own bound.
inline constexpr std::size_t kServiceMessageLimit = kMaxServiceMessageSize;

struct ServicePipeOptions {
    std::string pipeName = kServicePipeName;
    DWORD timeoutMs = 10000;  // for the whole exchange: connect, send and read
    std::size_t answerLimit = kServiceMessageLimit;
};

struct ServiceExchange {
    enum class Outcome {
        Answered,   // answer holds the service's whole answer
        NoService,  // no pipe of the name: the service is not installed or not running
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
// as the caller), sends the request as one message, runs `whileServed` (when given) and reads one
// message back. Never throws.
ServiceExchange ExchangeWithService(std::string_view request, const ServicePipeOptions& options = {},
                                    const WhileServed& whileServed = {});

// Asks the service once and reads its answer. Nothing when no service serves the pipe; an answer
// of `kind` MalformedAnswer when the exchange failed, or the answer could not be read or is not
// of the kind asked for.
std::optional<ServiceAnswer> AskService(std::string_view request, MessageKind answerKind,
                                        const ServicePipeOptions& options = {},
                                        const WhileServed& whileServed = {});

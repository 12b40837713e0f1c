#pragma once
// The service's end of the pipe: a message-mode pipe that only this machine's programs may open,
// one instance per connected client, all served by overlapped I/O on one thread, so a client that
// is slow or silent holds up nobody else. The instances are few enough that they and the server's
// other handles always fit one wait, however many clients come: when all of them are taken, the
// client idle the longest makes room for the next.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "EventLog.h"
#include "Handles.h"
#include "PipeClientGroups.h"
#include "ServiceRequests.h"
#include "ServicePipeClient.h"

// Answers one request; the answer goes back as one message. An exception (or an answer over the
// message limit) closes that client's connection and nothing else.
using RequestHandler = std::function<std::string(std::string_view request, CallerGroups& caller)>;

// Handles the server waits on besides its clients' (a folder's change notification, say), and
// what is done when one is set. Called on the serving thread between requests, so the work done
// for a handle never runs at the same time as a request's.
struct ServerWaits {
    // The handles to wait on next, at most kMaxServerWaits; asked again before every wait.
    virtual std::vector<HANDLE> Handles() = 0;
    virtual void Signalled(HANDLE handle) = 0;
    // Called once an answer is on its way to its client, with the request it answers: work the
    // answer need not wait for (keeping on disk what the request changed) is done here, before
    // anything else is served. Throws nothing.
    virtual void AfterAnswer(std::string_view request) { (void)request; }

  protected:
    ~ServerWaits() = default;
};
inline constexpr std::size_t kMaxServerWaits = 8;

struct PipeServerLimits {
    DWORD silenceMs = 5000;  // a client quiet this long mid-request, or not reading its answer, is dropped
    DWORD idleMs = 30000;    // a client connected this long with no request under way is dropped
    std::size_t messageLimit = kServiceMessageLimit;  // a longer request closes its connection
    // The most instances at once (fewer when they would not fit one wait with the server's own
    // handles); a client that comes when all are taken takes the place of the one idle longest.
    std::size_t instances = 48;
};

class PipeServer {
  public:
    enum class OpenOutcome {
        Opened,
        NameTaken,  // another pipe of the name exists: the server must not run
        Failed,
    };

    // calls: how callers are learned (nullptr for the system's own calls); events: where a wait
    // that failed is told (nullptr: nowhere).
    explicit PipeServer(std::string pipeName, PipeServerLimits limits = {},
                        ImpersonationCalls* calls = nullptr, EventLog* events = nullptr);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Makes the pipe's first instance. A pipe of the name that exists already, made by anyone,
    // answers NameTaken and nothing is made. error holds the Win32 error of a failure.
    OpenOutcome Open(DWORD& error);

    // Serves clients until stopEvent is set, then cancels every transfer and closes every
    // instance; between requests, also handles what `waits` (when given) waits on. Nothing a
    // client does ends serving: an instance that fails is replaced, a failed wait is tried again.
    // Throws Failure only when serving cannot go on safely (the thread could not stop
    // impersonating a client).
    void Serve(HANDLE stopEvent, const RequestHandler& handler, ServerWaits* waits = nullptr);

  private:
    struct Instance;
    std::unique_ptr<Instance> MakeInstance(bool first, DWORD& error);
    void Listen(Instance& instance);
    void StartRead(Instance& instance);
    void StartWrite(Instance& instance);
    void Advance(Instance& instance, const RequestHandler& handler, ServerWaits* waits);
    void Answer(Instance& instance, const RequestHandler& handler, ServerWaits* waits);
    void Drop(Instance& instance);
    void Cancel(Instance& instance);
    void KeepOneListening();
    void DropSilentClients();
    bool WaitFailed(HANDLE stopEvent);

    std::string pipeName_;
    PipeServerLimits limits_;
    ImpersonationCalls* calls_;
    EventLog* events_;
    std::vector<std::unique_ptr<Instance>> instances_;
    bool waitFailureTold_ = false;  // told of the failed wait that this one repeats
};

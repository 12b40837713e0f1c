#include "PipeServer.h"

#include <algorithm>
#include <new>

#include "Failure.h"
#include "PipeSecurity.h"
#include "UserTexts.h"

namespace {

// A request is read in parts that double from the first to the largest, straight into its buffer:
// a list of a million entries takes a handful of reads rather than hundreds.
constexpr DWORD kFirstRead = 64 * 1024;
constexpr DWORD kLargestRead = 16 * 1024 * 1024;
constexpr DWORD kPipeBuffer = 64 * 1024;
// The most instances that fit one wait together with the stop event and the handles the server
// waits on besides.
constexpr std::size_t kInstanceRoom = MAXIMUM_WAIT_OBJECTS - 1 - kMaxServerWaits;
// How long the server pauses before it tries again what failed (a wait, making an instance).
constexpr DWORD kRetryPauseMs = 100;
// A client just connected or answered has this long to send its request before it may be made to
// make room for another: the one making room is never the one that has just got in.
constexpr ULONGLONG kRoomGraceMs = 500;

// The caller of one request: the groups read from its token, and the file it shares.
class ReadGroups final : public CallerGroups {
  public:
    ReadGroups(TokenGroupList groups, HANDLE pipe) : groups_(std::move(groups)), pipe_(pipe) {}
    const TokenGroupList* Groups() override { return &groups_; }
    std::unique_ptr<SharedListView> OpenSharedList(std::uint32_t file) override {
        return SharedListView::FromPipeClient(pipe_, file);
    }

  private:
    TokenGroupList groups_;
    HANDLE pipe_;
};

ImpersonationCalls& SystemImpersonationCalls() {
    static ImpersonationCalls calls;
    return calls;
}

}  // namespace

struct PipeServer::Instance {
    // Broken: the instance cannot serve; its handle is held until another instance of the
    // server's own stands, so the name is never free for another program in between.
    enum class State { Listening, Reading, Writing, Broken };
    UniqueFile pipe;
    UniqueKernelHandle event;
    OVERLAPPED overlapped{};
    State state = State::Listening;
    bool pending = false;         // a transfer or connect is under way (the event tells its end)
    bool connected = false;       // connected before the connect call was made: nothing to wait for
    ULONGLONG deadline = 0;       // when a pending read or write is given up (not for Listening)
    ULONGLONG idleSince = 0;      // when the client was last answered, or connected
    DWORD readSize = kFirstRead;  // the next part's size
    std::size_t readAt = 0;       // where in the request the part under way lands
    std::string request;
    std::string answer;
};

PipeServer::PipeServer(std::string pipeName, PipeServerLimits limits, ImpersonationCalls* calls,
                       EventLog* events)
    : pipeName_(std::move(pipeName)),
      limits_(limits),
      calls_(calls != nullptr ? calls : &SystemImpersonationCalls()),
      events_(events) {
    limits_.instances = std::clamp<std::size_t>(limits_.instances, 1, kInstanceRoom);
}

PipeServer::~PipeServer() {
    for (auto& instance : instances_) Cancel(*instance);
}

std::unique_ptr<PipeServer::Instance> PipeServer::MakeInstance(bool first, DWORD& error) {
    std::unique_ptr<Instance> instance;
    std::vector<BYTE> descriptor;
    try {
        instance = std::make_unique<Instance>();
        descriptor = PipeSecurityDescriptor();
    } catch (const Failure& failure) {
        error = failure.code();
        return nullptr;
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    instance->pipe = UniqueFile(
        CreateNamedPipeA(pipeName_.c_str(), openMode,
                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                         PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, &attributes));
    if (!instance->pipe) {
        error = GetLastError();
        return nullptr;
    }
    instance->event = UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!instance->event) {
        error = GetLastError();
        return nullptr;
    }
    return instance;
}

PipeServer::OpenOutcome PipeServer::Open(DWORD& error) {
    error = ERROR_SUCCESS;
    // FILE_FLAG_FIRST_PIPE_INSTANCE refuses a name that is taken, but not on every system that
    // runs Windows programs: a pipe of the name that answers a wait exists, whoever made it.
    if (WaitNamedPipeA(pipeName_.c_str(), 1)) return OpenOutcome::NameTaken;
    DWORD waitError = GetLastError();
    if (waitError != ERROR_FILE_NOT_FOUND) {
        // ERROR_SEM_TIMEOUT: the pipe exists with every instance busy.
        error = waitError;
        return waitError == ERROR_SEM_TIMEOUT ? OpenOutcome::NameTaken : OpenOutcome::Failed;
    }
    auto first = MakeInstance(true, error);
    if (!first) return error == ERROR_ACCESS_DENIED ? OpenOutcome::NameTaken : OpenOutcome::Failed;
    instances_.push_back(std::move(first));
    return OpenOutcome::Opened;
}

void PipeServer::Listen(Instance& instance) {
    instance.state = Instance::State::Listening;
    instance.request.clear();
    instance.request.shrink_to_fit();
    instance.readSize = kFirstRead;
    instance.answer.clear();
    instance.connected = false;
    instance.pending = false;
    // A client that came and went before the connect call leaves the instance to be disconnected
    // and connected again; one retry is enough for that.
    for (int attempt = 0; attempt < 2; ++attempt) {
        instance.overlapped = OVERLAPPED{};
        instance.overlapped.hEvent = instance.event.get();
        if (ConnectNamedPipe(instance.pipe.get(), &instance.overlapped)) {
            instance.pending = true;
            return;
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            instance.pending = true;
            return;
        }
        if (error == ERROR_PIPE_CONNECTED) {
            // The client came between the instance's making and the connect call; the event is
            // not set for it, so it is set here and the connection handled with the others.
            instance.connected = true;
            if (SetEvent(instance.event.get())) return;
            break;
        }
        if (!DisconnectNamedPipe(instance.pipe.get())) break;
    }
    // The instance cannot serve: the server makes another before it closes this one.
    instance.state = Instance::State::Broken;
}

void PipeServer::StartRead(Instance& instance) {
    instance.state = Instance::State::Reading;
    instance.overlapped = OVERLAPPED{};
    instance.overlapped.hEvent = instance.event.get();
    // Between requests a client may wait for longer than it may stall within one.
    const ULONGLONG now = GetTickCount64();
    instance.readAt = instance.request.size();
    if (instance.readAt == 0) instance.idleSince = now;
    instance.deadline = now + (instance.readAt == 0 ? limits_.idleMs : limits_.silenceMs);
    // One byte past the limit at most, which is enough to tell a request that is too long.
    const DWORD size = static_cast<DWORD>(
        std::min<std::size_t>(instance.readSize, limits_.messageLimit + 1 - instance.readAt));
    try {
        instance.request.resize(instance.readAt + size);
    } catch (const std::bad_alloc&) {
        // No memory for the rest of this request: its connection alone is closed.
        Drop(instance);
        return;
    }
    if (ReadFile(instance.pipe.get(), instance.request.data() + instance.readAt, size, nullptr,
                 &instance.overlapped) ||
        GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
        instance.pending = true;
        return;
    }
    Drop(instance);
}

void PipeServer::StartWrite(Instance& instance) {
    instance.state = Instance::State::Writing;
    instance.overlapped = OVERLAPPED{};
    instance.overlapped.hEvent = instance.event.get();
    instance.deadline = GetTickCount64() + limits_.silenceMs;
    if (WriteFile(instance.pipe.get(), instance.answer.data(), static_cast<DWORD>(instance.answer.size()),
                  nullptr, &instance.overlapped) ||
        GetLastError() == ERROR_IO_PENDING) {
        instance.pending = true;
        return;
    }
    Drop(instance);
}

// Waits out a transfer that is still under way, so its OVERLAPPED is not reused while the system
// writes to it.
void PipeServer::Cancel(Instance& instance) {
    if (!instance.pending) return;
    DWORD ignored = 0;
    if (CancelIo(instance.pipe.get()))
        GetOverlappedResult(instance.pipe.get(), &instance.overlapped, &ignored, TRUE);
    instance.pending = false;
}

// Ends one client's connection; the instance then waits for the next client, so the pipe never
// goes out of existence while the server runs (another program could take the name).
void PipeServer::Drop(Instance& instance) {
    Cancel(instance);
    if (!DisconnectNamedPipe(instance.pipe.get())) {
        instance.state = Instance::State::Broken;
        return;
    }
    Listen(instance);
}

void PipeServer::Answer(Instance& instance, const RequestHandler& handler, ServerWaits* waits) {
    // The caller is learned from its own token; a caller that cannot be impersonated is refused.
    if (!calls_->ImpersonateNamedPipeClient(instance.pipe.get())) {
        Drop(instance);
        return;
    }
    TokenGroupList groups;
    bool groupsRead = false;
    try {
        groups = calls_->ImpersonatedTokenGroups();
        groupsRead = true;
    } catch (...) {
        // Unknown caller (or no memory to read it): refused below, after the thread is itself again.
    }
    // A thread that still wears a client's identity must not serve anyone.
    CheckWin32(calls_->RevertToSelf());
    if (!groupsRead) {
        Drop(instance);
        return;
    }

    ReadGroups caller(std::move(groups), instance.pipe.get());
    try {
        instance.answer = handler(instance.request, caller);
    } catch (...) {
        // A request the handler could not answer closes its own connection, nothing more.
        Drop(instance);
        return;
    }
    // Held until the work left for after the answer is done; the instance may serve anew by then.
    const std::string request = std::move(instance.request);
    instance.request = std::string();
    if (instance.answer.size() > limits_.messageLimit)
        Drop(instance);
    else
        StartWrite(instance);
    if (waits != nullptr) waits->AfterAnswer(request);
}

void PipeServer::Advance(Instance& instance, const RequestHandler& handler, ServerWaits* waits) {
    DWORD transferred = 0;
    bool done = instance.connected;
    DWORD error = ERROR_SUCCESS;
    if (!instance.connected) {
        done = GetOverlappedResult(instance.pipe.get(), &instance.overlapped, &transferred, FALSE);
        if (!done) error = GetLastError();
        if (!done && error == ERROR_IO_INCOMPLETE) return;
    }
    instance.pending = false;
    instance.connected = false;

    switch (instance.state) {
        case Instance::State::Listening:
            if (!done) {
                Drop(instance);
                return;
            }
            StartRead(instance);
            return;
        case Instance::State::Reading:
            if (!done && error != ERROR_MORE_DATA) {
                Drop(instance);  // the client closed its end, or the pipe broke
                return;
            }
            instance.request.resize(instance.readAt + transferred);
            if (instance.request.size() > limits_.messageLimit) {
                Drop(instance);
                return;
            }
            if (error == ERROR_MORE_DATA) {
                instance.readSize = std::min(instance.readSize * 2, kLargestRead);
                StartRead(instance);
                return;
            }
            Answer(instance, handler, waits);
            return;
        case Instance::State::Broken:
            return;
        case Instance::State::Writing:
            if (!done) {
                Drop(instance);
                return;
            }
            instance.answer.clear();
            instance.answer.shrink_to_fit();
            instance.readSize = kFirstRead;
            // The client may send its next request, or close.
            StartRead(instance);
            return;
    }
}

namespace {

// Connected with no request under way for a while (none arrived since the last look): a client
// that may make room for another.
template <class Instance>
bool Idle(const Instance& instance, ULONGLONG now) {
    return instance.state == Instance::State::Reading && instance.readAt == 0 &&
           now - instance.idleSince >= kRoomGraceMs &&
           WaitForSingleObject(instance.event.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

// One instance always waits for the next client: a new one while there is room, else the one of
// the client idle the longest, so clients that connect and sit there (or ask now and then) never
// keep another out, an administrator among them.
void PipeServer::KeepOneListening() {
    const auto working = [](const auto& instance) { return instance->state != Instance::State::Broken; };
    const bool listening = std::any_of(instances_.begin(), instances_.end(), [](const auto& instance) {
        return instance->state == Instance::State::Listening;
    });
    if (!listening) {
        if (static_cast<std::size_t>(std::count_if(instances_.begin(), instances_.end(), working)) <
            limits_.instances) {
            DWORD error = ERROR_SUCCESS;
            auto instance = MakeInstance(false, error);
            if (instance) {
                Listen(*instance);
                if (instance->state != Instance::State::Broken) instances_.push_back(std::move(instance));
            }
        } else {
            const ULONGLONG now = GetTickCount64();
            Instance* oldest = nullptr;
            for (auto& instance : instances_) {
                if (Idle(*instance, now) && (oldest == nullptr || instance->idleSince < oldest->idleSince))
                    oldest = instance.get();
            }
            if (oldest != nullptr) Drop(*oldest);
        }
    }
    // Broken instances go once another of the server's own holds the name.
    if (std::any_of(instances_.begin(), instances_.end(), working))
        std::erase_if(instances_,
                      [](const auto& instance) { return instance->state == Instance::State::Broken; });
}

// A client silent for too long mid-exchange, or idle for too long between requests, loses its
// connection, so it holds no instance that others could use.
void PipeServer::DropSilentClients() {
    const ULONGLONG now = GetTickCount64();
    for (auto& instance : instances_) {
        if ((instance->state == Instance::State::Reading || instance->state == Instance::State::Writing) &&
            instance->deadline <= now && WaitForSingleObject(instance->event.get(), 0) == WAIT_TIMEOUT)
            Drop(*instance);
    }
}

// Told once for a run of failed waits; answers true when the stop came during the pause.
bool PipeServer::WaitFailed(HANDLE stopEvent) {
    const DWORD error = GetLastError();
    if (!waitFailureTold_ && events_ != nullptr)
        events_->Write(EVENTLOG_ERROR_TYPE, ServiceEvent::WaitFailed,
                       WaitFailedEventText(SystemErrorText(error)));
    waitFailureTold_ = true;
    const DWORD paused = WaitForSingleObject(stopEvent, kRetryPauseMs);
    if (paused == WAIT_FAILED) Sleep(kRetryPauseMs);
    return paused == WAIT_OBJECT_0;
}

void PipeServer::Serve(HANDLE stopEvent, const RequestHandler& handler, ServerWaits* waits) {
    if (instances_.empty()) ThrowWin32Error(ERROR_INVALID_HANDLE);
    // However serving ends, every instance is closed: no client waits on a server that is gone.
    auto closeAll = ScopeExit([&] {
        for (auto& instance : instances_) Cancel(*instance);
        instances_.clear();
    });
    Listen(*instances_.front());

    std::vector<HANDLE> handles;
    std::vector<Instance*> waited;  // the instance of each handle after the server's own
    handles.reserve(MAXIMUM_WAIT_OBJECTS);
    waited.reserve(MAXIMUM_WAIT_OBJECTS);
    for (;;) {
        try {
            handles.assign(1, stopEvent);
            if (waits != nullptr) {
                const std::vector<HANDLE> extra = waits->Handles();
                handles.insert(handles.end(), extra.begin(),
                               extra.begin() + std::min(extra.size(), kMaxServerWaits));
            }
            const std::size_t firstInstance = handles.size();
            KeepOneListening();

            const ULONGLONG now = GetTickCount64();
            ULONGLONG nearest = ~0ull;
            bool listening = false;
            waited.clear();
            for (auto& instance : instances_) {
                if (instance->state == Instance::State::Broken) continue;
                handles.push_back(instance->event.get());
                waited.push_back(instance.get());
                if (instance->state == Instance::State::Listening)
                    listening = true;
                else
                    nearest = std::min(nearest, instance->deadline);
            }
            // With no instance waiting for a client (none could be made), one is tried again soon.
            if (!listening) nearest = std::min(nearest, now + kRetryPauseMs);
            DWORD timeout = INFINITE;
            if (nearest != ~0ull)
                timeout = nearest <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(nearest - now, 60000));

            const DWORD waitResult =
                WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
            if (waitResult == WAIT_OBJECT_0) break;
            if (waitResult == WAIT_FAILED) {
                if (WaitFailed(stopEvent)) break;
                continue;
            }
            waitFailureTold_ = false;
            const DWORD index = waitResult - WAIT_OBJECT_0;
            if (waitResult > WAIT_OBJECT_0 && index < firstInstance)
                waits->Signalled(handles[index]);
            else if (waitResult > WAIT_OBJECT_0 && index < handles.size())
                Advance(*waited[index - firstInstance], handler, waits);
            DropSilentClients();
        } catch (const std::bad_alloc&) {
            // Short of memory for the server's own lists: tried again in a moment.
            if (WaitForSingleObject(stopEvent, kRetryPauseMs) == WAIT_OBJECT_0) break;
        }
    }
}

#include "PipeServer.h"

#include <algorithm>

#include "Failure.h"
#include "PipeSecurity.h"

namespace {

// A request is read in parts that double from the first to the largest, straight into its buffer:
// a list of a million entries takes a handful of reads rather than hundreds.
constexpr DWORD kFirstRead = 64 * 1024;
constexpr DWORD kLargestRead = 16 * 1024 * 1024;
constexpr DWORD kPipeBuffer = 64 * 1024;

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
    enum class State { Listening, Reading, Writing };
    UniqueFile pipe;
    UniqueEvent event;
    OVERLAPPED overlapped{};
    State state = State::Listening;
    bool pending = false;         // a transfer or connect is under way (the event tells its end)
    bool connected = false;       // connected before the connect call was made: nothing to wait for
    ULONGLONG deadline = 0;       // when a pending read or write is given up (not for Listening)
    DWORD readSize = kFirstRead;  // the next part's size
    std::size_t readAt = 0;       // where in the request the part under way lands
    std::string request;
    std::string answer;
};

PipeServer::PipeServer(std::string pipeName, PipeServerLimits limits, ImpersonationCalls* calls)
    : pipeName_(std::move(pipeName)),
      limits_(limits),
      calls_(calls != nullptr ? calls : &SystemImpersonationCalls()) {}

PipeServer::~PipeServer() {
    for (auto& instance : instances_) Cancel(*instance);
}

std::unique_ptr<PipeServer::Instance> PipeServer::MakeInstance(bool first, DWORD& error) {
    auto instance = std::make_unique<Instance>();
    std::vector<BYTE> descriptor;
    try {
        descriptor = PipeSecurityDescriptor();
    } catch (const Failure& failure) {
        error = failure.code();
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
    instance->event = UniqueEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
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
    // The instance cannot serve: closed (the server makes another while one of its own is left).
    instance.pipe.reset();
}

void PipeServer::StartRead(Instance& instance) {
    instance.state = Instance::State::Reading;
    instance.overlapped = OVERLAPPED{};
    instance.overlapped.hEvent = instance.event.get();
    instance.deadline = GetTickCount64() + limits_.silenceMs;
    // One byte past the limit at most, which is enough to tell a request that is too long.
    instance.readAt = instance.request.size();
    const DWORD size = static_cast<DWORD>(
        std::min<std::size_t>(instance.readSize, limits_.messageLimit + 1 - instance.readAt));
    instance.request.resize(instance.readAt + size);
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
        instance.pipe.reset();
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
    } catch (const Failure&) {
        // Unknown caller: refused below, after the thread is itself again.
    }
    // A thread that still wears a client's identity must not serve anyone.
    if (!calls_->RevertToSelf()) ThrowWin32Error();
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

void PipeServer::KeepOneListening(std::size_t roomForInstances) {
    // Instances that could not be used again are gone; one always waits for a new client while
    // there is room.
    std::erase_if(instances_, [](const auto& instance) { return !instance->pipe; });
    // With no instance of its own left, the name could be another program's by now.
    if (instances_.empty()) ThrowWin32Error(ERROR_PIPE_NOT_CONNECTED);
    bool listening = std::any_of(instances_.begin(), instances_.end(), [](const auto& instance) {
        return instance->state == Instance::State::Listening;
    });
    if (!listening && instances_.size() < roomForInstances) {
        DWORD error = ERROR_SUCCESS;
        auto instance = MakeInstance(false, error);
        if (instance) {
            Listen(*instance);
            instances_.push_back(std::move(instance));
        }
    }
}

// A client silent for too long mid-exchange loses its connection, so it holds no instance that
// others could use.
void PipeServer::DropSilentClients() {
    const ULONGLONG now = GetTickCount64();
    for (auto& instance : instances_) {
        if (instance->pipe && instance->state != Instance::State::Listening && instance->deadline <= now &&
            WaitForSingleObject(instance->event.get(), 0) == WAIT_TIMEOUT)
            Drop(*instance);
    }
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
    for (;;) {
        handles.assign(1, stopEvent);
        if (waits != nullptr) {
            const std::vector<HANDLE> extra = waits->Handles();
            handles.insert(handles.end(), extra.begin(),
                           extra.begin() + std::min(extra.size(), kMaxServerWaits));
        }
        const std::size_t firstInstance = handles.size();
        KeepOneListening(MAXIMUM_WAIT_OBJECTS - firstInstance);

        ULONGLONG now = GetTickCount64();
        ULONGLONG nearest = ~0ull;
        for (auto& instance : instances_) {
            handles.push_back(instance->event.get());
            if (instance->state != Instance::State::Listening)
                nearest = std::min(nearest, instance->deadline);
        }
        DWORD timeout = INFINITE;
        if (nearest != ~0ull)
            timeout = nearest <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(nearest - now, 60000));

        DWORD waited =
            WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
        if (waited == WAIT_OBJECT_0) break;
        if (waited == WAIT_FAILED) ThrowWin32Error();
        const DWORD index = waited - WAIT_OBJECT_0;
        if (waited > WAIT_OBJECT_0 && index < firstInstance)
            waits->Signalled(handles[index]);
        else if (waited > WAIT_OBJECT_0 && index < handles.size())
            Advance(*instances_[index - firstInstance], handler, waits);
        DropSilentClients();
    }
}

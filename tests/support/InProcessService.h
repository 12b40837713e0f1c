#pragma once
// The blocking service's answers, served in this process on a test pipe of their own: the
// service's request handling on a hosts file, a data folder and a Run key apart from the window's,
// so a test sees which side wrote what. The caller's groups are those the pipe server read from the
// caller's token (every account in Wine is an administrator), or none when the test makes the
// caller no administrator.

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "Blocker.h"
#include "Handles.h"
#include "ProgramPaths.h"
#include "ServicePipeClient.h"
#include "ServiceRequests.h"
#include "support/InProcessPipe.h"
#include "support/StagedElevation.h"
#include "support/ServedPipe.h"

class InProcessService {
  public:
    // `folder` (made here) takes the service's hosts file and data folder; `runKeyPath` (made
    // here, under HKEY_CURRENT_USER) stands in for the machine's Run key.
    InProcessService(const std::string& folder, const std::string& runKeyPath, Ownership* ownership)
        : InProcessService({folder + "\\hosts", folder + "\\data", ownership}, runKeyPath, TestPipeName()) {}
    // The service on the files at `place` (the window's own, as on a machine where both reach the
    // system's hosts file), serving `pipeName`.
    InProcessService(const BlockingPlace& place, const std::string& runKeyPath, const std::string& pipeName)
        : hostsPath(place.hostsPath),
          dataFolder(place.dataFolder),
          runKeyPath(runKeyPath),
          blocker_(place),
          parts_{blocker_, {HKEY_CURRENT_USER, runKeyPath, dataFolder, ProgramPath()}},
          pipe_([this](std::string_view request, CallerGroups& caller) { return Answer(request, caller); },
                {}, &callerCalls, pipeName) {
        CreateDirectoryA(hostsPath.substr(0, hostsPath.rfind('\\')).c_str(), nullptr);
        CreateDirectoryA(dataFolder.c_str(), nullptr);
        // The Run key is opened, never made, as the machine's always exists.
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, runKeyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }

    // How the program reaches this service.
    ServicePipeOptions Options() const { return InProcessPipeOptions(pipe_.Name()); }

    const std::string hostsPath;
    const std::string dataFolder;
    const std::string runKeyPath;
    std::atomic<bool> callerIsAdministrator{true};
    std::atomic<bool> answersGarbage{false};  // every answer is bytes of no message
    std::atomic<int> requests{0};
    std::atomic<int> sharedStarts{0};  // starts whose list lay in the caller's memory
    // How the callers' tokens are read: their Administrators group can be made one of a program
    // not elevated (Wine elevates every program).
    AdministratorsAttributesCalls callerCalls;
    // Runs on the service's thread when a request has come, before anything is done with it: a
    // service that is slow or hangs. False: the request is dropped, done nothing with and answered
    // with nothing.
    std::function<bool()> beforeAnswer;

  private:
    // A caller whose groups could not be had: no administrator.
    class UnknownCaller final : public CallerGroups {
      public:
        const TokenGroupList* Groups() override { return nullptr; }
    };

    std::string Answer(std::string_view request, CallerGroups& caller) {
        ++requests;
        MessageHeader header;
        if (ReadMessageHeader(request, header) == MessageProblem::None &&
            header.kind == MessageKind::SharedStartBlockRequest)
            ++sharedStarts;
        if (beforeAnswer && !beforeAnswer()) return {};
        if (answersGarbage) return "no answer of any kind";
        UnknownCaller unknown;
        std::lock_guard lock(stateMutex_);
        return AnswerRequest(request, callerIsAdministrator ? caller : unknown, parts_, state_);
    }

  public:
    // Counts a removal put back, as the service's own watch counts one.
    void CountPutBack() {
        std::lock_guard lock(stateMutex_);
        ++state_.putBacks;
    }

  private:
    std::mutex stateMutex_;

    DirectBlocker blocker_;
    ServiceParts parts_;
    ServiceState state_;
    ServedPipe pipe_;  // last: it stops serving before anything it answers from goes
};

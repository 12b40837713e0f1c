#pragma once
// The blocking service's answers, served in this process on a test pipe of their own: the
// service's request handling on a hosts file, a data folder and a Run key apart from the window's,
// so a test sees which side wrote what. The caller's groups are this process's own (every account
// in Wine is an administrator), or none when the test makes the caller no administrator.

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "Blocker.h"
#include "Handles.h"
#include "ProgramPaths.h"
#include "ServicePipeClient.h"
#include "ServiceRequests.h"
#include "support/ServedPipe.h"

class InProcessService {
  public:
    // `folder` (made here) takes the service's hosts file and data folder; `runKeyPath` (made
    // here, under HKEY_CURRENT_USER) stands in for the machine's Run key.
    InProcessService(const std::string& folder, const std::string& runKeyPath, Ownership* ownership)
        : hostsPath(folder + "\\hosts"),
          dataFolder(folder + "\\data"),
          runKeyPath(runKeyPath),
          blocker_({hostsPath, dataFolder, ownership}),
          parts_{blocker_, {HKEY_CURRENT_USER, runKeyPath, dataFolder, ProgramPath()}, tokenCalls_},
          pipe_([this](std::string_view request, const PipeClientGroups&) { return Answer(request); }) {
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA(dataFolder.c_str(), nullptr);
        // The Run key is opened, never made, as the machine's always exists.
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, runKeyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }

    // How the program reaches this service.
    ServicePipeOptions Options() const {
        ServicePipeOptions options;
        options.pipeName = pipe_.Name();
        return options;
    }

    const std::string hostsPath;
    const std::string dataFolder;
    const std::string runKeyPath;
    std::atomic<bool> callerIsAdministrator{true};
    std::atomic<bool> answersGarbage{false};  // every answer is bytes of no message
    std::atomic<int> requests{0};

  private:
    class ProcessCaller final : public CallerGroups {
      public:
        explicit ProcessCaller(bool administrator) : administrator_(administrator) {}
        std::optional<TokenGroupList> Groups() override {
            if (!administrator_) return std::nullopt;
            HANDLE token = nullptr;
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
            UniqueKernelHandle owned(token);
            TokenCalls calls;
            TokenGroupList list;
            if (!ReadTokenGroups(token, calls, list)) return std::nullopt;
            return list;
        }

      private:
        bool administrator_;
    };

    std::string Answer(std::string_view request) {
        ++requests;
        if (answersGarbage) return "no answer of any kind";
        ProcessCaller caller(callerIsAdministrator);
        return AnswerRequest(request, caller, parts_, state_);
    }

    DirectBlocker blocker_;
    TokenCalls tokenCalls_;
    ServiceParts parts_;
    ServiceState state_;
    ServedPipe pipe_;  // last: it stops serving before anything it answers from goes
};

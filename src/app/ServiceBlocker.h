#pragma once
// The blocking operations handed to the blocking service when it answers, so a parent whose
// programs run without elevation can still block: the service holds the rights to write the hosts
// file, the clean copy, the Run value and the start-up marker. Where no service answers (it is not
// installed, it is stopped, another process serves its pipe in its place, or this is a copy run
// from a folder) the work is done here, directly, as ever. Once the service is there, nothing it
// is asked to do is ever done here behind its back: an answer that cannot be read is a refused
// operation, and an exchange that fails is a service that does not answer. While the program waits
// for the service, its window's events run (the window keeps answering).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Blocker.h"
#include "ScheduleService.h"
#include "ServicePipeClient.h"
#include "ServiceProtocol.h"
#include "SharedList.h"

class ServiceBlocker final : public Blocker, public ScheduleService {
  public:
    // `direct`: what does the work here when no service answers. Options without a wait of their
    // own wait while the window's events run. `sharedWrite`: how a long list's file is written
    // (WriteFile when empty).
    ServiceBlocker(Blocker& direct, ServicePipeOptions options, SharedListWrite sharedWrite = {});

    // The service binds the block it writes to the password, and lifts it (or takes a new
    // password for it) only with that password, or for a program run as administrator.
    StartOutcome Start(const BlockList& entries, bool userIsAdmin, bool atStartup, FailureReport& report,
                       const std::string& passwordHash = {}) override;
    StopOutcome Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                     const std::function<void()>& letEventsRun, const std::string& password = {}) override;
    PasswordChangeOutcome ChangePassword(const std::string& oldPassword,
                                         const std::string& newPasswordHash) override;
    // Reading the hosts file writes nothing: done here, service or not.
    bool HoldsBlock(const BlockList& entries) override { return direct_.HoldsBlock(entries); }
    PutBackOutcome PutBack(const BlockList& entries) override;
    // Read here from the data folder the service keeps the clean copy in, which everyone may read:
    // start-up asks this of every start, and asking the service would slow each one down.
    bool KeepsCleanCopy() override { return direct_.KeepsCleanCopy(); }
    // Looked at here as well; the delete needs the rights of an administrator's run, and the
    // service drops such a copy itself when it starts.
    bool DropCleanCopyOfFinishedStop(const BlockList& entries) override {
        return direct_.DropCleanCopyOfFinishedStop(entries);
    }
    // The service's count of put-backs has grown since the last look (the first look after a
    // written start sets where it stood).
    bool PutBackElsewhereSinceAsked() override;
    bool LastDoneByService() const override { return lastByService_; }

    std::optional<ServiceStatus> ScheduleStatus() override;
    std::optional<ServiceAnswer> SaveSchedule(const std::string& password, const std::string& passwordHash,
                                              const std::string& schedule, const BlockList& entries) override;
    std::optional<ServiceAnswer> Lift(const std::string& password, std::uint32_t minutes) override;
    UniqueKernelHandle OpenChangeSignal() override;

  private:
    // The service's answer to the request `encode` makes (a refusing one when the answer could
    // not be read, none with `notAnswering_` set when the exchange failed); nothing when no
    // service answers, and the work is then done here.
    template <typename Encode>
    std::optional<ServiceAnswer> Ask(Encode encode, MessageKind answerKind,
                                     const WhileServed& whileServed = {});
    // The exchange of one request, as Ask reads it.
    std::optional<ServiceAnswer> Exchange(std::string_view request, MessageKind answerKind,
                                          const WhileServed& whileServed = {});
    // Ask for a start: a long list through a file shared with the service, a short one in the
    // request itself.
    std::optional<ServiceAnswer> AskToStart(const BlockList& entries, bool atStartup,
                                            const std::string& passwordHash);

    // The service's count of put-backs as last seen; nothing until a start through the service.
    std::optional<std::uint32_t> ServicePutBacks();

    Blocker& direct_;
    ServicePipeOptions options_;
    SharedListWrite sharedWrite_;
    std::optional<std::uint32_t> seenPutBacks_;
    bool lastByService_ = false;  // the last exchange found the service (answered or not)
    bool notAnswering_ = false;   // the last exchange found the service, which did not answer
};

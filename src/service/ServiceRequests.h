#pragma once
// Answering one request on the service's pipe: who may do what, and the operation itself on the
// blocker, the schedule and the machine's start-with-Windows entries. Status is anyone's to ask;
// starting and stopping the block, saving a schedule, a lift, putting the block back and switching
// start with Windows are for administrators alone: the
// caller's token holds the Administrators group (S-1-5-32-544, whatever its attributes, as the
// program's own check counts an administrator without elevation). A non-administrator's request
// changes nothing and is answered with the outcomes the window shows today.
//
// A block started with a password's hash is bound to it: its stop (and a new password for it,
// a schedule saved and a lift, which may all loosen it) must come with that password, or from a caller whose
// token has the Administrators group enabled (an elevated program, past the system's own prompt), so that the
// uninstaller and a parent who forgot the password can still lift it. Any program of the parent's account
// holds the group, enabled or not; only the password or the elevation is the parent's own.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "AdministratorToken.h"
#include "Blocker.h"
#include "Failure.h"
#include "MachineStartWithWindows.h"
#include "ServiceProtocol.h"
#include "SharedListView.h"

// The groups of the token of whoever sent the request. The service answers them from the pipe
// client's own token; nullptr when they cannot be had (the client could not be impersonated),
// which no privileged request gets past. The list stays the caller's, alive while it is.
struct CallerGroups {
    virtual const TokenGroupList* Groups() = 0;
    // The file the caller holds as `file` (SharedListView::FromPipeClient). Throws Failure when it
    // cannot be had; a caller that shares nothing throws always.
    virtual std::unique_ptr<SharedListView> OpenSharedList(std::uint32_t file) {
        (void)file;
        ThrowWin32Error(ERROR_NOT_SUPPORTED);
    }

  protected:
    ~CallerGroups() = default;
};

// What the service keeps between requests: whether its block is on, the entries it wrote (those a
// put-back restores), the password it is bound to and whether the last put-back succeeded.
struct ServiceState {
    bool blocking = false;
    EntryList entries;
    std::string passwordHash;  // the stored hash of the password that lifts the block ("" for none)
    bool lastPutBackSucceeded = true;
    std::uint32_t putBacks = 0;  // removals put back since the service started
    // A written start's entries while they still lie in the caller's file: the answer does not
    // wait for their copy. SettleSharedEntries makes them `entries`.
    std::shared_ptr<SharedListView> sharedEntries;
};

// The weekly schedule and the lifts, as the service keeps them. The requests check the caller's
// rights and password before they reach it.
class ScheduleKeeper {
  public:
    // The stored hash of the password the kept schedule was saved with ("" for none): what a
    // request that loosens the schedule must give while no block is in force.
    virtual const std::string& PasswordHash() const = 0;
    virtual ScheduleOutcome Save(ServiceRequest& request) = 0;
    // Lifts the block in force (or the schedule's next block) for `minutes`; `until` the end.
    virtual LiftOutcome Lift(std::uint32_t minutes, std::uint64_t& until, FailureReport& report) = 0;
    virtual void AddToStatus(ServiceStatus& status) = 0;
    // The clock keeps the block lifted now (a lift, or a free time of the schedule followed): a
    // program's put-back of the block it wrote would undo that, and is refused.
    virtual bool KeepsBlockLifted() = 0;

  protected:
    ~ScheduleKeeper() = default;
};

// What the requests act on.
struct ServiceParts {
    Blocker& blocker;
    StartWithWindowsPlace startWithWindows;
    HANDLE stop = nullptr;  // set when the service is told to stop: a start waiting for its list ends
    ScheduleKeeper* schedule = nullptr;  // none: schedule requests are refused
};

// A start kept in the data folder as the request that wrote it, bound to its password, so it is
// read back with a request's checks: a file cut short, grown or written by anything else reads as
// none (nothing, also when the file cannot be read).
std::optional<ServiceRequest> ReadKeptStart(const std::string& path);
// What such a file holds for these entries and password.
std::string KeptStartText(const EntryList& entries, const std::string& passwordHash);

// Reads one request and answers it: the encoded answer, or a MalformedAnswer (and nothing done)
// for a request that could not be read. Updates `state` as the operation went: a written start
// makes it blocking with the request's entries and password, a lifted stop ends that, a changed
// password replaces the block's, a put-back records whether it succeeded. A start of no entries
// is refused with nothing written. The service sets `state` when it starts (blocking while the blocker keeps
// a clean copy) and reads its entries for its own put-backs. Throws only for want of memory.
std::string AnswerRequest(std::string_view request, CallerGroups& caller, ServiceParts& parts,
                          ServiceState& state);

// Makes the entries of a written start that lie in the caller's file the state's own: answers
// the start request that holds them, as the pipe would have carried it, to be kept; "" when
// there were none to settle, or they no longer read as that start's request (the caller changed
// them since), and the state then knows no entries. Throws only for want of memory.
std::string SettleSharedEntries(ServiceState& state);

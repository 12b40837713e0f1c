#pragma once
// The service's block: the requests answered on the blocker, the entries of a written block kept
// in the data folder so a restarted service still knows them, the check at start, and the watch
// on the hosts folder that puts the block back when another program removes it. Everything runs
// on the serving thread (the watch through ServerWaits), so requests and the watch never race.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DataFolderGuard.h"
#include "EventLog.h"
#include "Handles.h"
#include "PipeServer.h"
#include "ScheduledBlock.h"
#include "ServiceRequests.h"

struct BlockServiceParts {
    Blocker& blocker;
    StartWithWindowsPlace startWithWindows;
    std::string hostsPath;    // the hosts file the blocker writes, whose folder is watched
    std::string entriesPath;  // where a written block's entries are kept (BlockedEntriesPath)
    EventLog& events;
    // Milliseconds since some start, as GetTickCount64 counts them: the pace of the log's entries
    // about removals.
    std::function<ULONGLONG()> ticks = [] { return GetTickCount64(); };
    // Asked before every operation on the kept entries' file; none is done when it refuses. Nothing
    // to ask when null.
    DataFolderGuard* folder = nullptr;
    HANDLE stop = nullptr;  // the service's stop, which ends a start's wait for its list
    // Set when the clock may have jumped (a change of the time or the zone, a resume from sleep):
    // the schedule is looked at again. None when null.
    HANDLE clockChanged = nullptr;
    // The time and the zones the schedule is read by (the machine's when null).
    ScheduleClock* clock = nullptr;
    // A manual-reset event held set for a while after each change of the block or the schedule,
    // so that running programs ask for the status again. None when null.
    HANDLE changeSignal = nullptr;
};

class BlockService final : public ServerWaits, private ScheduledSwitch {
  public:
    explicit BlockService(BlockServiceParts parts);

    // Takes up a block kept from before (blocking when the blocker keeps a clean copy and the kept
    // entries read: of those, the entries whose lines the hosts file holds, or all of them when it
    // holds none), puts it back when the hosts file no longer holds it, and watches from then on.
    // Entries that cannot be read leave nothing to put back, which the event log is told. Then the
    // kept schedule and lift are read, and the block made what they say now.
    void Resume();

    // Answers one request (AnswerRequest); a written start's entries are kept and watched once
    // the answer is on its way (AfterAnswer), a lifted stop forgets them and ends the watch, and a
    // changed password is kept with them.
    std::string Answer(std::string_view request, CallerGroups& caller);

    std::vector<HANDLE> Handles() override;
    void Signalled(HANDLE handle) override;
    // Watches a written start's block and keeps its entries once its answer is on its way.
    void AfterAnswer(std::string_view request) override;

    const ServiceState& State() const { return state_; }
    ScheduledBlock& Schedule() { return scheduled_; }

  private:
    // What the schedule switches.
    bool Blocking() const override { return state_.blocking; }
    const EntryList& BlockEntries() const override { return state_.entries; }
    const std::string& BlockPasswordHash() const override { return state_.passwordHash; }
    bool StartBlock(const EntryList& entries, const std::string& passwordHash) override;
    void KeepStartedBlock() override { KeepPassword(); }
    bool LiftBlock(FailureReport& report) override;

    void ResumeBlock();
    bool FolderReady();
    bool ReadKeptEntries();
    void KeepOnlyEntriesInHosts();
    void KeepEntries(std::string_view startRequest);
    void KeepStartedEntries(std::string_view startRequest);
    void KeepPassword();
    void Watch();
    void WatchHostsFolder();
    void Unwatch();
    void CheckBlock(bool atStart);
    void CheckWhenSettled(bool atStart);
    void TellPrograms();

    BlockServiceParts parts_;
    SystemScheduleClock systemClock_;
    ScheduledBlock scheduled_;
    ServiceParts requestParts_;
    ServiceState state_;
    UniqueChangeNotification folderWatch_;
    UniqueChangeNotification parentWatch_;
    bool keepAfterAnswer_ = false;            // the request just answered was a written start
    bool passwordAfterAnswer_ = false;        // it changed the password of the block in force
    std::optional<ULONGLONG> removalToldAt_;  // when the log last told of a removal put back
    unsigned removalsUntold_ = 0;             // removals put back since then, not yet told
    // Set once the hosts folder has gone kHostsSettleMs without a change: the check then reads.
    UniqueKernelHandle settleTimer_{CreateWaitableTimerA(nullptr, FALSE, nullptr)};
    bool checkAtStart_ = false;     // the check waiting for the timer is the one of the start
    bool tellAfterAnswer_ = false;  // the request just answered changed the block or the schedule
    // Ends the time the change signal is held set.
    UniqueKernelHandle tellTimer_{CreateWaitableTimerA(nullptr, FALSE, nullptr)};
};

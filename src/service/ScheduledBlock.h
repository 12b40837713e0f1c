#pragma once
// The block by the clock: the weekly schedule the service keeps and follows, and the lifts. At
// each edge of the schedule, at the end of a lift and whenever the clock may have jumped, the
// block in force is made what the schedule says, written and lifted as a start and a stop are.
//
// Besides the schedule there may be one "override": a lift ("off until 17:45"), or a Start or a
// Stop by hand while the schedule is followed, which holds until the schedule's next block ends
// or begins. While it runs it decides; once over, the schedule decides again. A lift of a block
// set by hand, with no schedule followed, brings that block back at its end.
//
// What decides is kept in the data folder (the schedule's text, the entries and password it
// blocks with, the override with its end as a UTC time), so it holds across a restart of the
// service and a reboot. A kept file that does not read never lifts a block: the block stays as it
// is, and the event log is told.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "DataFolderGuard.h"
#include "EventLog.h"
#include "Handles.h"
#include "Schedule.h"
#include "ServiceRequests.h"

// What the schedule asks of the clock: the time now, and a zone's rules by its name.
class ScheduleClock {
  public:
    virtual UtcTime Now() = 0;
    virtual std::optional<TIME_ZONE_INFORMATION> Zone(const std::string& zoneName) = 0;

  protected:
    ~ScheduleClock() = default;
};

// The machine's clock and zones.
class SystemScheduleClock final : public ScheduleClock {
  public:
    UtcTime Now() override { return UtcNow(); }
    std::optional<TIME_ZONE_INFORMATION> Zone(const std::string& zoneName) override {
        return ZoneRules(zoneName);
    }
};

// The block the schedule switches, as the service holds it.
class ScheduledSwitch {
  public:
    virtual bool Blocking() const = 0;
    // The entries and password of the block in force.
    virtual const EntryList& BlockEntries() const = 0;
    virtual const std::string& BlockPasswordHash() const = 0;
    // Writes the block of `entries`, bound to the password, as a start does: true when written.
    virtual bool StartBlock(const EntryList& entries, const std::string& passwordHash) = 0;
    // Keeps the block just written for a restart, as a start's entries are kept once its answer
    // is on its way: after the block is in force and told.
    virtual void KeepStartedBlock() = 0;
    // Lifts the block in force as a stop does: true when lifted.
    virtual bool LiftBlock(FailureReport& report) = 0;

  protected:
    ~ScheduledSwitch() = default;
};

struct ScheduledBlockParts {
    std::string schedulePath;  // ScheduleFilePath
    std::string entriesPath;   // ScheduledEntriesPath
    std::string liftPath;      // LiftFilePath
    ScheduledSwitch& block;
    EventLog& events;
    ScheduleClock& clock;
    // Asked before every operation on the kept files; none is done when it refuses (null: none).
    DataFolderGuard* folder = nullptr;
};

class ScheduledBlock final : public ScheduleKeeper {
  public:
    explicit ScheduledBlock(ScheduledBlockParts parts);

    // Reads what is kept in the data folder (at the service's start).
    void Load();
    // Makes the block in force what the override or the schedule says now, and sets the timer
    // for the next time that may change.
    void Follow();
    // Signalled at the next time the block may change by itself: then Follow.
    HANDLE Timer() const { return timer_.get(); }

    // A Start by hand wrote the block in force: its entries and password are the schedule's now,
    // and while the schedule is followed the block holds until the schedule's next block ends.
    void AfterStartByHand();
    // A Stop by hand lifted the block: while the schedule is followed it stays lifted until the
    // schedule next begins a block.
    void AfterStopByHand();

    const std::string& PasswordHash() const override { return passwordHash_; }
    ScheduleOutcome Save(ServiceRequest& request) override;
    LiftOutcome Lift(std::uint32_t minutes, std::uint64_t& until, FailureReport& report) override;
    void AddToStatus(ServiceStatus& status) override;
    bool KeepsBlockLifted() override;

  private:
    struct Override {
        bool blocked = false;  // the block is in force (a Start by hand) or lifted until `until`
        UtcTime until = 0;
        bool thenBlock = false;  // at its end the block comes back (a lift with no schedule followed)
    };

    bool Followed() const { return schedule_ && schedule_->followed && zone_; }
    // Whether the block is wanted in force at `now`: nothing when the clock does not decide.
    std::optional<bool> WantedAt(UtcTime now) const;
    std::optional<UtcTime> NextScheduleChange(UtcTime now) const;
    std::optional<UtcTime> NextTimeBlocked(UtcTime now, bool blocked) const;
    std::optional<UtcTime> NextWake(UtcTime now) const;
    void SetOverride(std::optional<Override> change);
    bool KeepEntries(const EntryList& entries, const std::string& passwordHash);
    void ReadSchedule();
    void ReadEntries();
    void ReadOverride();
    bool FolderReady();

    ScheduledBlockParts parts_;
    std::optional<StoredSchedule> schedule_;
    std::string scheduleText_;
    bool scheduleUnreadable_ = false;
    std::optional<TIME_ZONE_INFORMATION> zone_;
    EntryList entries_;
    std::string passwordHash_;
    std::optional<Override> override_;
    bool lastChangeFailed_ = false;
    UniqueKernelHandle timer_{CreateWaitableTimerA(nullptr, FALSE, nullptr)};
};

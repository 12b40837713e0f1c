#include "ScheduledBlock.h"

#include <charconv>
#include <utility>

#include "DnsCache.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "UserTexts.h"

namespace {

// The override's file: four lines, its end as FILETIME ticks (UTC).
constexpr char kOverrideFirstLine[] = "Parvalisk lift 1";

std::string OverrideText(bool blocked, UtcTime until, bool thenBlock) {
    return std::string(kOverrideFirstLine) + "\r\nBlocked: " + (blocked ? "yes" : "no") +
           "\r\nUntil: " + std::to_string(until) + "\r\nThen: " + (thenBlock ? "block" : "schedule") + "\r\n";
}

// The text after `key` on the line that starts with it, or nothing.
std::optional<std::string_view> Field(std::string_view text, std::string_view key) {
    const size_t at = text.find(key);
    if (at == std::string_view::npos || (at != 0 && text[at - 1] != '\n')) return std::nullopt;
    std::string_view rest = text.substr(at + key.size());
    rest = rest.substr(0, rest.find_first_of("\r\n"));
    return rest;
}

bool ReadSwitch(std::string_view text, std::string_view key, std::string_view yes, std::string_view no,
                bool& value) {
    const auto field = Field(text, key);
    if (!field || (*field != yes && *field != no)) return false;
    value = *field == yes;
    return true;
}

// At most this far ahead is a next change looked for: beyond a week the schedule repeats.
constexpr int kChangesLookedThrough = 4;

}  // namespace

ScheduledBlock::ScheduledBlock(ScheduledBlockParts parts) : parts_(std::move(parts)) {}

bool ScheduledBlock::FolderReady() {
    return parts_.folder == nullptr || parts_.folder->Ready();
}

void ScheduledBlock::Load() {
    if (!FolderReady()) return;
    ReadSchedule();
    ReadEntries();
    ReadOverride();
}

void ScheduledBlock::ReadSchedule() {
    schedule_.reset();
    zone_.reset();
    scheduleText_.clear();
    scheduleUnreadable_ = false;
    if (GetFileAttributesA(parts_.schedulePath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    StoredSchedule schedule;
    try {
        scheduleText_ = ReadFileText(parts_.schedulePath);
    } catch (const Failure&) {
        scheduleText_.clear();
    }
    if (!ParseSchedule(scheduleText_, schedule) || !(zone_ = parts_.clock.Zone(schedule.zone))) {
        // Told once, at the start; the block stays as it is until a schedule is saved again.
        scheduleUnreadable_ = true;
        zone_.reset();
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::ScheduleUnreadable,
                            ScheduleUnreadableEventText(parts_.schedulePath));
        return;
    }
    schedule_ = std::move(schedule);
}

void ScheduledBlock::ReadEntries() {
    entries_.Clear();
    passwordHash_.clear();
    std::optional<ServiceRequest> kept = ReadKeptStart(parts_.entriesPath);
    if (!kept) return;
    entries_ = std::move(kept->entries);
    passwordHash_ = std::move(kept->passwordHash);
}

void ScheduledBlock::ReadOverride() {
    override_.reset();
    std::string text;
    try {
        text = ReadFileText(parts_.liftPath);
    } catch (const Failure&) {
        return;  // none kept (or none that can be read, which lifts nothing)
    }
    Override kept;
    const auto until = Field(text, "Until: ");
    if (!text.starts_with(kOverrideFirstLine) || !ReadSwitch(text, "Blocked: ", "yes", "no", kept.blocked) ||
        !ReadSwitch(text, "Then: ", "block", "schedule", kept.thenBlock) || !until ||
        std::from_chars(until->data(), until->data() + until->size(), kept.until).ec != std::errc())
        return;
    override_ = kept;
}

bool ScheduledBlock::KeepEntries(const EntryList& entries, const std::string& passwordHash) {
    if (&entries != &entries_) entries_ = entries;
    passwordHash_ = passwordHash;
    const std::string kept = KeptStartText(entries, passwordHash);
    return FolderReady() && WriteFileContent(parts_.entriesPath,
                                             [&](ContentSink& sink) { sink.Put(kept.data(), kept.size()); });
}

void ScheduledBlock::SetOverride(std::optional<Override> change) {
    override_ = change;
    if (!FolderReady()) return;
    if (!override_) {
        DeleteFileForced(parts_.liftPath);
        return;
    }
    const std::string text = OverrideText(override_->blocked, override_->until, override_->thenBlock);
    WriteFileContent(parts_.liftPath, [&](ContentSink& sink) { sink.Put(text.data(), text.size()); });
}

std::optional<UtcTime> ScheduledBlock::NextScheduleChange(UtcTime now) const {
    if (!Followed()) return std::nullopt;
    return NextChange(schedule_->week, *zone_, now);
}

// The next time after `now` at which the schedule blocks (or frees, for `blocked` false).
std::optional<UtcTime> ScheduledBlock::NextTimeBlocked(UtcTime now, bool blocked) const {
    std::optional<UtcTime> at = now;
    for (int i = 0; i < kChangesLookedThrough; ++i) {
        at = NextScheduleChange(*at);
        if (!at) return std::nullopt;
        if (BlockedAt(schedule_->week, *zone_, *at) == blocked) return at;
    }
    return std::nullopt;
}

std::optional<bool> ScheduledBlock::WantedAt(UtcTime now) const {
    if (override_ && now < override_->until) return override_->blocked;
    // A lift of a block set by hand, over: that block comes back.
    if (override_ && override_->thenBlock && !Followed()) return true;
    if (Followed()) return BlockedAt(schedule_->week, *zone_, now);
    return std::nullopt;  // nothing by the clock: the block stays as the parent set it
}

std::optional<UtcTime> ScheduledBlock::NextWake(UtcTime now) const {
    std::optional<UtcTime> next = NextScheduleChange(now);
    if (override_ && override_->until > now && (!next || override_->until < *next)) next = override_->until;
    return next;
}

void ScheduledBlock::Follow() {
    const UtcTime now = parts_.clock.Now();
    const std::optional<bool> wanted = WantedAt(now);
    if (override_ && now >= override_->until) SetOverride(std::nullopt);
    if (wanted && *wanted != parts_.block.Blocking()) {
        bool changed = false;
        if (*wanted) {
            changed = !entries_.empty() && parts_.block.StartBlock(entries_, passwordHash_);
        } else {
            SilentFailureReport unreported;
            changed = parts_.block.LiftBlock(unreported);
        }
        if (changed) {
            FlushResolverCache();
            parts_.events.Write(EVENTLOG_INFORMATION_TYPE,
                                *wanted ? ServiceEvent::ScheduledStart : ServiceEvent::ScheduledLift,
                                *wanted ? kScheduledStartEventText : kScheduledLiftEventText);
            if (*wanted) parts_.block.KeepStartedBlock();
        } else if (!lastChangeFailed_) {
            parts_.events.Write(EVENTLOG_ERROR_TYPE, ServiceEvent::ScheduledStartFailed,
                                kScheduledChangeFailedEventText);
        }
        lastChangeFailed_ = !changed;
    }
    if (!timer_) return;
    const std::optional<UtcTime> next = NextWake(now);
    if (!next) {
        CancelWaitableTimer(timer_.get());
        return;
    }
    // An absolute time: the timer follows a change of the clock and fires after a sleep that
    // passed it.
    LARGE_INTEGER due;
    due.QuadPart = static_cast<LONGLONG>(*next);
    SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE);
}

void ScheduledBlock::AfterStartByHand() {
    // The list a parent starts with is the one the schedule blocks from now on.
    if (Followed()) KeepEntries(parts_.block.BlockEntries(), parts_.block.BlockPasswordHash());
    const UtcTime now = parts_.clock.Now();
    const std::optional<UtcTime> end = Followed() ? NextTimeBlocked(now, false) : std::nullopt;
    SetOverride(end ? std::optional<Override>(Override{true, *end, false}) : std::nullopt);
    Follow();
}

void ScheduledBlock::AfterStopByHand() {
    const UtcTime now = parts_.clock.Now();
    const std::optional<UtcTime> begin = Followed() ? NextTimeBlocked(now, true) : std::nullopt;
    SetOverride(begin ? std::optional<Override>(Override{false, *begin, false}) : std::nullopt);
    Follow();
}

ScheduleOutcome ScheduledBlock::Save(ServiceRequest& request) {
    StoredSchedule schedule;
    if (!ParseSchedule(request.schedule, schedule)) return ScheduleOutcome::Refused;
    std::optional<TIME_ZONE_INFORMATION> zone = parts_.clock.Zone(schedule.zone);
    if (!zone || (schedule.followed && request.entries.empty())) return ScheduleOutcome::Refused;
    if (!FolderReady() || !KeepEntries(request.entries, request.passwordHash) ||
        !WriteFileContent(parts_.schedulePath, [&](ContentSink& sink) {
            sink.Put(request.schedule.data(), request.schedule.size());
        }))
        return ScheduleOutcome::NotKept;
    schedule_ = std::move(schedule);
    scheduleText_ = std::move(request.schedule);
    scheduleUnreadable_ = false;
    zone_ = zone;
    // A saved schedule takes effect at once: a lift or a block by hand ends with it.
    SetOverride(std::nullopt);
    Follow();
    return ScheduleOutcome::Saved;
}

LiftOutcome ScheduledBlock::Lift(std::uint32_t minutes, std::uint64_t& until, FailureReport& report) {
    const bool blocking = parts_.block.Blocking();
    if (!blocking && !Followed()) return LiftOutcome::Refused;
    const UtcTime now = parts_.clock.Now();
    until = now + minutes * kUtcTicksPerMinute;
    // What comes back at the end is the block lifted now: its entries are kept first.
    if (blocking) {
        KeepEntries(parts_.block.BlockEntries(), parts_.block.BlockPasswordHash());
        if (!parts_.block.LiftBlock(report)) return LiftOutcome::Failed;
        FlushResolverCache();
    }
    SetOverride(Override{false, until, !Followed()});
    Follow();
    return LiftOutcome::Lifted;
}

void ScheduledBlock::AddToStatus(ServiceStatus& status) {
    status.schedule = scheduleText_;
    status.scheduleUnreadable = scheduleUnreadable_;
    status.scheduleFollowed = Followed();
    const UtcTime now = parts_.clock.Now();
    status.liftedUntil = override_ && !override_->blocked && override_->until > now ? override_->until : 0;
    status.nextChange = NextWake(now).value_or(0);
}

bool ScheduledBlock::KeepsBlockLifted() {
    return !parts_.block.Blocking() && WantedAt(parts_.clock.Now()) == false;
}

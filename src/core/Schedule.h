#pragma once
// The weekly schedule of the block: which half-hours of the week are blocked, whether the schedule
// is followed, and the time zone it is read in. The zone is the parent's at the save, kept by its
// name with that zone's daylight-saving rules, so a user who changes the computer's zone does not
// move the schedule. Times are UTC as a FILETIME counts them; only the reading of a half-hour is
// local.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr int kDaysInWeek = 7;       // Monday (0) to Sunday (6)
inline constexpr int kHalfHoursInDay = 48;  // 00:00-00:30 (0) to 23:30-24:00 (47)

// UTC as a FILETIME counts it: 100-nanosecond ticks since 1 January 1601.
using UtcTime = std::uint64_t;
inline constexpr UtcTime kUtcTicksPerMinute = 60ULL * 10'000'000ULL;
// The time now, from the system's clock.
UtcTime UtcNow();

// The blocked half-hours of one week.
class WeekSchedule {
  public:
    bool Blocked(int day, int halfHour) const { return (days_[day] >> halfHour) & 1u; }
    void Set(int day, int halfHour, bool blocked) {
        const std::uint64_t bit = std::uint64_t{1} << halfHour;
        days_[day] = blocked ? days_[day] | bit : days_[day] & ~bit;
    }
    bool Empty() const {
        for (std::uint64_t day : days_)
            if (day != 0) return false;
        return true;
    }
    bool operator==(const WeekSchedule& other) const = default;

  private:
    std::array<std::uint64_t, kDaysInWeek> days_{};
};

// A schedule as the service keeps it in its data folder.
struct StoredSchedule {
    WeekSchedule week;
    bool followed = false;  // "Block by this schedule"; unticked, the schedule is kept but not followed
    std::string zone;       // the zone's key name under the registry's Time Zones ("W. Europe Standard Time")
    bool operator==(const StoredSchedule& other) const = default;
};

// The "schedule" file's text: a first line naming the format, the zone, whether it is followed,
// then one line per day with its blocked half-hours as ranges ("Monday: 00:00-07:00, 20:00-24:00").
std::string FormatSchedule(const StoredSchedule& schedule);
// Reads that text back; false for anything but a whole, well-formed schedule (cut short, a day
// missing or twice, a range out of order or off the half-hour, an unknown word), `schedule` then
// unspecified. A zone the machine does not know still reads: ZoneRules says so.
bool ParseSchedule(std::string_view text, StoredSchedule& schedule);

// The rules of the zone of this key name as the machine keeps them (the registry's Time Zones);
// nothing when the machine knows no such zone.
std::optional<TIME_ZONE_INFORMATION> ZoneRules(const std::string& zoneName);
// The key name of the computer's zone now (the parent's zone at a save).
std::string MachineZoneName();

// Whether the week blocks at `when`, read as local time under `zone`'s rules. A half-hour that the
// spring's change skips never comes; the hour that autumn's change repeats is read twice, and
// blocked both times when it is marked.
bool BlockedAt(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime when);
// The first time after `now` at which BlockedAt changes; nothing when it never does (a week
// blocked all through, or not at all).
std::optional<UtcTime> NextChange(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime now);

// The line in words that says what the schedule means at `now`: "Blocked now, until 07:00 on
// Tuesday." / "Not blocked now; the block begins at 20:00." (the day named when it is not today),
// or "Blocking is lifted until 17:45." while `liftedUntil` is ahead. Times in `zone`; the day's
// name in the user's language.
std::string ScheduleWords(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime now,
                          std::optional<UtcTime> liftedUntil = std::nullopt);

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "Schedule.h"

namespace {

// A zone `bias` minutes behind UTC, its daylight an hour ahead of that from the `daylight` date to
// the `standard` one ({month, nth Sunday (5 the last), hour}); no daylight without those dates.
TIME_ZONE_INFORMATION Zone(LONG bias, std::array<WORD, 3> daylight = {}, std::array<WORD, 3> standard = {}) {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.DaylightBias = daylight[0] ? -60 : 0;
    zone.DaylightDate = SYSTEMTIME{0, daylight[0], 0, daylight[1], daylight[2], 0, 0, 0};
    zone.StandardDate = SYSTEMTIME{0, standard[0], 0, standard[1], standard[2], 0, 0, 0};
    return zone;
}
const TIME_ZONE_INFORMATION kCentralEurope = Zone(-60, {3, 5, 2}, {10, 5, 3});
const TIME_ZONE_INFORMATION kUsPacific = Zone(480, {3, 2, 2}, {11, 1, 2});

UtcTime Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    const SYSTEMTIME time{year, month, 0, day, hour, minute, 0, 0};
    FILETIME fileTime;
    EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    return (UtcTime{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime;
}

// Marks local half-hours [from, to) of a day ("02:00" is 4).
void Mark(WeekSchedule& week, int day, int from, int to) {
    for (int halfHour = from; halfHour < to; ++halfHour) week.Set(day, halfHour, true);
}

WeekSchedule FullWeek() {
    WeekSchedule week;
    for (int day = 0; day < kDaysInWeek; ++day) Mark(week, day, 0, kHalfHoursInDay);
    return week;
}

constexpr int kMonday = 0, kWednesday = 2, kThursday = 3, kSunday = 6;

const char kWrittenSchedule[] =
    "Parvalisk schedule 1\r\n"
    "Zone: W. Europe Standard Time\r\n"
    "Followed: yes\r\n"
    "Monday: 00:00-07:00, 20:00-24:00\r\n"
    "Tuesday: \r\n"
    "Wednesday: 08:30-12:00\r\n"
    "Thursday: \r\n"
    "Friday: \r\n"
    "Saturday: \r\n"
    "Sunday: 22:00-24:00\r\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(ScheduleFile, IsWrittenAsDocumentedAndReadBack) {
    StoredSchedule schedule{{}, true, "W. Europe Standard Time"};
    Mark(schedule.week, kMonday, 0, 14);
    Mark(schedule.week, kMonday, 40, 48);
    Mark(schedule.week, kWednesday, 17, 24);
    Mark(schedule.week, kSunday, 44, 48);
    EXPECT_EQ(FormatSchedule(schedule), kWrittenSchedule);

    StoredSchedule unfollowed{{}, false, "UTC"};
    Mark(unfollowed.week, kThursday, 47, 48);
    const std::string lf = Replaced(Replaced(kWrittenSchedule, "\r\n", "\n"), "Tuesday: \r\n", "Tuesday:\n");
    struct Row {
        std::string text;
        StoredSchedule expected;
    } rows[] = {
        {kWrittenSchedule, schedule},
        {lf, schedule},
        {Replaced(lf, "\n", "\r\n"), schedule},  // only the first line's end is CRLF
        {FormatSchedule(unfollowed), unfollowed},
    };
    for (const Row& row : rows) {
        StoredSchedule read;
        EXPECT_TRUE(ParseSchedule(row.text, read)) << row.text;
        EXPECT_EQ(read, row.expected) << row.text;
    }
}

TEST(ScheduleFile, RefusesAnythingButAWholeWellFormedSchedule) {
    const std::string good = kWrittenSchedule;
    const std::string monday = "Monday: 00:00-07:00, 20:00-24:00";
    const std::string refused[] = {
        good + "\r\n",                                               // an extra line
        good + "Monday: \r\n",                                       // a day twice
        Replaced(good, "Tuesday: \r\n", ""),                         // a day missing
        Replaced(good, "Tuesday", "Thursday"),                       // a day twice, one missing
        Replaced(good, "schedule 1", "schedule 2"),                  // a format this program does not know
        Replaced(good, "Followed: yes", "Followed: YES"),            // an unknown word
        Replaced(good, "W. Europe Standard Time", ""),               // no zone
        Replaced(good, "W. Europe", std::string(130, 'W')),          // a zone name too long
        Replaced(good, "W. Europe", "W.\tEurope"),                   // a control character in it
        Replaced(good, monday, "Monday: 00:00-07:15"),               // off the half-hour
        Replaced(good, monday, "Monday: 00:00-24:30"),               // past the day's end
        Replaced(good, monday, "Monday: 07:00-07:00"),               // start not before end
        Replaced(good, monday, "Monday: 00:00-07:00, 06:00-24:00"),  // overlapping
        Replaced(good, monday, "Monday: 20:00-24:00, 00:00-07:00"),  // out of order
        Replaced(good, monday, "Monday: 00:00-07:00, 07:00-08:00"),  // touching ranges are one range
        Replaced(good, monday, "Monday: 00:00-07:00,20:00-24:00"),   // the separator
        Replaced(good, monday, "Monday: 00:00-07:00, "),             // a range missing
        Replaced(good, monday, "Monday: 00:00-07:00 "),              // junk at the end
        Replaced(good, "\r\nTuesday", "\rTuesday"),                  // a lone CR
        Replaced(good, "Sunday: 22:00-24:00", "Sunday: 22:00-24:00" + std::string(4096, ' ')),  // huge
    };
    for (const std::string& text : refused) {
        StoredSchedule read;
        EXPECT_FALSE(ParseSchedule(text, read)) << text;
    }
    // Any cut of the text is refused, even at the last line's end, as the cut may have taken ranges.
    // A byte changed anywhere is refused, or reads as a schedule that is written back as that text.
    StoredSchedule read;
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(ParseSchedule(good.substr(0, length), read));
    for (size_t at = 0; at < good.size(); ++at)
        for (char byte : {'\0', '\xFF', '9', ':', '-'}) {
            std::string damaged = good;
            damaged[at] = byte;
            // A line's CR changed leaves an LF end, which is written back as CRLF.
            const std::string written =
                good[at] == '\r' ? good.substr(0, at) + byte + good.substr(at) : damaged;
            if (ParseSchedule(damaged, read)) {
                EXPECT_EQ(FormatSchedule(read), written);
            }
        }
}

TEST(ScheduleZone, ReadsTheMachinesRulesByName) {
    const struct {
        const char* name;
        TIME_ZONE_INFORMATION expected;
    } zones[] = {
        {"W. Europe Standard Time", kCentralEurope}, {"Pacific Standard Time", kUsPacific}, {"UTC", {}}};
    for (const auto& zone : zones) {
        const std::optional<TIME_ZONE_INFORMATION> read = ZoneRules(zone.name);
        ASSERT_TRUE(read) << zone.name;
        const auto same = [](const SYSTEMTIME& a, const SYSTEMTIME& b) {
            return !std::memcmp(&a, &b, sizeof a);
        };
        EXPECT_TRUE(read->Bias == zone.expected.Bias && read->StandardBias == zone.expected.StandardBias &&
                    read->DaylightBias == zone.expected.DaylightBias &&
                    same(read->StandardDate, zone.expected.StandardDate) &&
                    same(read->DaylightDate, zone.expected.DaylightDate))
            << zone.name;
    }

    for (const char* unknown : {"", "No Such Standard Time", "W. Europe Standard Time\\",
                                "W. Europe Standard Time\\Dynamic DST", "..\\Time Zones\\UTC"})
        EXPECT_FALSE(ZoneRules(unknown)) << unknown;

    // The machine's own zone is one whose rules it can read.
    const std::string machine = MachineZoneName();
    if (!machine.empty()) {
        EXPECT_TRUE(ZoneRules(machine)) << machine;
    }
}

TEST(ScheduleTime, ReadsLocalHalfHoursAcrossMidnightAndDaylightChanges) {
    const TIME_ZONE_INFORMATION europe = kCentralEurope, pacific = kUsPacific;
    const TIME_ZONE_INFORMATION nepal = Zone(-345);  // UTC+5:45: its half-hours begin on a UTC quarter-hour
    struct Row {
        const char* what;
        TIME_ZONE_INFORMATION zone;
        int day, from, to;  // the marked half-hours
        UtcTime now;
        bool blocked;                 // at `now`
        std::optional<UtcTime> next;  // the next change after `now`
    } rows[] = {
        // Sunday 11 January 2026, 23:30-24:00 local (22:30 UTC): blocked to the week's end.
        {"the week's end", europe, kSunday, 47, 48, Utc(2026, 1, 11, 22, 40), true, Utc(2026, 1, 11, 23, 0)},
        {"the week's end west of UTC", pacific, kSunday, 47, 48, Utc(2026, 1, 12, 7, 30), true,
         Utc(2026, 1, 12, 8, 0)},
        {"a quarter-hour zone", nepal, kMonday, 0, 1, Utc(2026, 1, 11, 18, 0), false,
         Utc(2026, 1, 11, 18, 15)},
        {"a zone made with odd minutes", Zone(-3), kMonday, 0, 1, Utc(2026, 1, 11, 23, 0), false,
         Utc(2026, 1, 11, 23, 57)},
        // 29 March 2026: 02:00 CET is 03:00 CEST; 02:00-02:30 never comes that night, so the next
        // block is a week later.
        {"the skipped half-hour", europe, kSunday, 4, 5, Utc(2026, 3, 28, 12, 0), false,
         Utc(2026, 4, 5, 0, 0)},
        // 01:30 CET is 00:30 UTC; 03:30 CEST is 01:30 UTC.
        {"across the spring change", europe, kSunday, 3, 7, Utc(2026, 3, 29, 0, 0), false,
         Utc(2026, 3, 29, 0, 30)},
        {"inside the spring change", europe, kSunday, 3, 7, Utc(2026, 3, 29, 0, 30), true,
         Utc(2026, 3, 29, 1, 30)},
        // 25 October 2026: 02:00-03:00 comes first in CEST (00:00-01:00 UTC), then in CET
        // (01:00-02:00 UTC).
        {"before the repeated hour", europe, kSunday, 4, 6, Utc(2026, 10, 24, 23, 50), false,
         Utc(2026, 10, 25, 0, 0)},
        {"the repeated hour's first pass", europe, kSunday, 4, 6, Utc(2026, 10, 25, 0, 0), true,
         Utc(2026, 10, 25, 2, 0)},
        {"the repeated hour's second pass", europe, kSunday, 4, 6, Utc(2026, 10, 25, 1, 0), true,
         Utc(2026, 10, 25, 2, 0)},
        {"after the repeated hour", europe, kSunday, 4, 6, Utc(2026, 10, 25, 2, 0), false,
         Utc(2026, 11, 1, 1, 0)},
    };
    for (const Row& row : rows) {
        WeekSchedule week;
        Mark(week, row.day, row.from, row.to);
        EXPECT_EQ(BlockedAt(week, row.zone, row.now), row.blocked) << row.what;
        EXPECT_EQ(NextChange(week, row.zone, row.now), row.next) << row.what;
        // The state holds up to the change and flips there.
        if (row.next) {
            EXPECT_EQ(BlockedAt(week, row.zone, *row.next - 1), row.blocked) << row.what;
            EXPECT_NE(BlockedAt(week, row.zone, *row.next), row.blocked) << row.what;
        }
    }
    for (const WeekSchedule& week : {WeekSchedule{}, FullWeek()}) {
        for (UtcTime now : {Utc(2026, 3, 28, 12, 0), Utc(2026, 10, 24, 12, 0)}) {
            EXPECT_EQ(BlockedAt(week, europe, now), !week.Empty());
            EXPECT_FALSE(NextChange(week, europe, now));
        }
    }
}

TEST(ScheduleWords, SayWhatTheScheduleMeansNow) {
    const TIME_ZONE_INFORMATION europe = kCentralEurope;
    // Wednesday 14 January 2026, 11:00 local.
    const UtcTime now = Utc(2026, 1, 14, 10, 0);
    WeekSchedule morning;
    Mark(morning, kWednesday, 17, 24);  // 08:30-12:00
    WeekSchedule night;
    Mark(night, kWednesday, 40, 48);  // 20:00 to Thursday 07:00
    Mark(night, kThursday, 0, 14);
    const UtcTime hour = 60 * kUtcTicksPerMinute;
    struct Row {
        WeekSchedule week;
        UtcTime now;
        std::optional<UtcTime> liftedUntil;
        const char* words;
    } rows[] = {
        {morning, now, std::nullopt, "Blocked now, until 12:00."},
        {morning, now + 2 * hour, std::nullopt, "Not blocked now; the block begins at 08:30 on Wednesday."},
        {night, now + 10 * hour, std::nullopt, "Blocked now, until 07:00 on Thursday."},
        {night, now, std::nullopt, "Not blocked now; the block begins at 20:00."},
        {night, now, now + 2 * hour + 45 * kUtcTicksPerMinute, "Blocking is lifted until 13:45."},
        {night, now, now + 14 * hour + 15 * kUtcTicksPerMinute,
         "Blocking is lifted until 01:15 on Thursday."},
        {morning, now, now, "Blocked now, until 12:00."},  // a lift that has ended
        {WeekSchedule{}, now, std::nullopt, "Not blocked at any hour of the week."},
        {FullWeek(), now, std::nullopt, "Blocked at every hour of the week."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScheduleWords(row.week, europe, row.now, row.liftedUntil), row.words);
}

}  // namespace

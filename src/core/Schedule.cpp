#include "Schedule.h"

#include <cstdlib>
#include <numeric>

#include "Handles.h"
#include "UserTexts.h"

namespace {

// The "schedule" file's words. They are a file format, read back by this program and written the
// same in every language, so they stay here rather than among the texts the user's windows show.
constexpr char kFirstLine[] = "Parvalisk schedule 1";
constexpr char kZoneLabel[] = "Zone: ";
constexpr char kFollowedLabel[] = "Followed: ";
constexpr char kYes[] = "yes";
constexpr char kNo[] = "no";
constexpr char kRangeSeparator[] = ", ";
constexpr std::array<const char*, kDaysInWeek> kFileDayNames = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                                "Friday", "Saturday", "Sunday"};
constexpr char kLineEnd[] = "\r\n";
// A whole schedule is under 2 KB even with every other half-hour marked; a longer text is not one.
constexpr size_t kMaxScheduleText = 4096;
constexpr size_t kMaxZoneName = 128;
// The first line, the zone, whether it is followed, and the days.
constexpr size_t kScheduleLines = 3 + kDaysInWeek;

constexpr char kTimeZonesKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";

// Eight days cover a whole week from any start, with a day to spare for a daylight change.
constexpr UtcTime kSearchedTicks = 8ULL * 24 * 60 * kUtcTicksPerMinute;

// ---- the file's text -------------------------------------------------------------------------

std::string HalfHourText(int halfHour) {
    const int hour = halfHour / 2;
    const char text[] = {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10), ':',
                         halfHour % 2 ? '3' : '0', '0'};
    return std::string(text, sizeof text);
}

// The day's marked half-hours as ranges; adjacent marked half-hours are one range.
std::string DayRanges(const WeekSchedule& week, int day) {
    std::string text;
    int halfHour = 0;
    while (halfHour < kHalfHoursInDay) {
        if (!week.Blocked(day, halfHour)) {
            ++halfHour;
            continue;
        }
        const int start = halfHour;
        while (halfHour < kHalfHoursInDay && week.Blocked(day, halfHour)) ++halfHour;
        if (!text.empty()) text += kRangeSeparator;
        text += HalfHourText(start) + "-" + HalfHourText(halfHour);
    }
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads "HH:MM" from the front of `text` as a count of half-hours (00:00 is 0, 24:00 is 48), and
// takes it off. Only whole and half hours read.
bool TakeHalfHour(std::string_view& text, int& halfHour) {
    if (text.size() < 5 || !IsDigit(text[0]) || !IsDigit(text[1]) || text[2] != ':' || text[4] != '0')
        return false;
    const int hour = (text[0] - '0') * 10 + (text[1] - '0');
    if (text[3] != '0' && text[3] != '3') return false;
    halfHour = hour * 2 + (text[3] == '3' ? 1 : 0);
    if (halfHour > kHalfHoursInDay) return false;  // past 24:00
    text.remove_prefix(5);
    return true;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// Reads one day's ranges ("00:00-07:00, 20:00-24:00", or nothing) into `week`. Each range starts
// after the last one ended: ranges that touch would have been written as one.
bool ReadDayRanges(std::string_view text, int day, WeekSchedule& week) {
    int previousEnd = -1;
    while (!text.empty()) {
        if (previousEnd >= 0 && !TakePrefix(text, kRangeSeparator)) return false;
        int start = 0;
        int end = 0;
        if (!TakeHalfHour(text, start) || !TakePrefix(text, "-") || !TakeHalfHour(text, end)) return false;
        if (start >= end || start <= previousEnd) return false;
        for (int halfHour = start; halfHour < end; ++halfHour) week.Set(day, halfHour, true);
        previousEnd = end;
    }
    return true;
}

bool ReadDayLine(std::string_view line, int day, WeekSchedule& week) {
    if (!TakePrefix(line, kFileDayNames[day]) || !TakePrefix(line, ":")) return false;
    if (line.empty()) return true;  // a day without ranges, its trailing space left off
    return TakePrefix(line, " ") && ReadDayRanges(line, day, week);
}

bool IsZoneName(std::string_view name) {
    if (name.empty() || name.size() > kMaxZoneName) return false;
    for (char c : name)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// Splits the text into its lines, each ended by CRLF or LF. False when a line has no end (the
// text was cut short), when a CR stands alone, or when there are more lines than a schedule has.
bool SplitLines(std::string_view text, std::array<std::string_view, kScheduleLines>& lines) {
    for (std::string_view& line : lines) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;
        line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos) return false;
    }
    return text.empty();
}

// ---- time ---------------------------------------------------------------------------------------

bool ToSystemTime(UtcTime when, SYSTEMTIME& time) {
    FILETIME fileTime;
    fileTime.dwLowDateTime = static_cast<DWORD>(when);
    fileTime.dwHighDateTime = static_cast<DWORD>(when >> 32);
    return FileTimeToSystemTime(&fileTime, &time) != FALSE;
}

bool LocalTime(const TIME_ZONE_INFORMATION& zone, UtcTime when, SYSTEMTIME& local) {
    SYSTEMTIME utc;
    if (!ToSystemTime(when, utc)) return false;
    // The zone is only read; the function's parameter lacks const in older headers.
    TIME_ZONE_INFORMATION rules = zone;
    return SystemTimeToTzSpecificLocalTime(&rules, &utc, &local) != FALSE;
}

int MondayFirstDay(const SYSTEMTIME& time) {
    return (time.wDayOfWeek + 6) % kDaysInWeek;
}

bool SameDate(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

std::string DayName(int day) {
    char name[80] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME1 + day, name, sizeof name) > 0) return name;
    return kFileDayNames[day];  // English when the locale cannot say
}

// "07:00" when `when` falls on the local date of `now`, else "07:00 on Tuesday".
std::string MomentWords(const TIME_ZONE_INFORMATION& zone, UtcTime now, UtcTime when) {
    SYSTEMTIME today{};
    SYSTEMTIME local{};
    if (!LocalTime(zone, now, today) || !LocalTime(zone, when, local)) return {};
    char time[6] = {
        static_cast<char>('0' + local.wHour / 10),   static_cast<char>('0' + local.wHour % 10),   ':',
        static_cast<char>('0' + local.wMinute / 10), static_cast<char>('0' + local.wMinute % 10), 0};
    return ScheduleMomentText(time, SameDate(today, local) ? std::string() : DayName(MondayFirstDay(local)));
}

}  // namespace

std::string FormatSchedule(const StoredSchedule& schedule) {
    std::string text = std::string(kFirstLine) + kLineEnd;
    text += kZoneLabel + schedule.zone + kLineEnd;
    text += std::string(kFollowedLabel) + (schedule.followed ? kYes : kNo) + kLineEnd;
    for (int day = 0; day < kDaysInWeek; ++day)
        text += std::string(kFileDayNames[day]) + ": " + DayRanges(schedule.week, day) + kLineEnd;
    return text;
}

bool ParseSchedule(std::string_view text, StoredSchedule& schedule) {
    std::array<std::string_view, kScheduleLines> lines;
    if (text.size() > kMaxScheduleText || !SplitLines(text, lines)) return false;
    if (lines[0] != kFirstLine) return false;

    std::string_view zone = lines[1];
    if (!TakePrefix(zone, kZoneLabel) || !IsZoneName(zone)) return false;
    schedule.zone = std::string(zone);

    std::string_view followed = lines[2];
    if (!TakePrefix(followed, kFollowedLabel)) return false;
    if (followed != kYes && followed != kNo) return false;
    schedule.followed = followed == kYes;

    schedule.week = WeekSchedule{};
    for (int day = 0; day < kDaysInWeek; ++day)
        if (!ReadDayLine(lines[3 + day], day, schedule.week)) return false;
    return true;
}

UtcTime UtcNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (UtcTime{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

std::optional<TIME_ZONE_INFORMATION> ZoneRules(const std::string& zoneName) {
    // A backslash would reach another key than the zone's own.
    if (zoneName.empty() || zoneName.find('\\') != std::string::npos) return std::nullopt;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kTimeZonesKey + zoneName).c_str(), 0, KEY_QUERY_VALUE,
                      key.put()) != ERROR_SUCCESS)
        return std::nullopt;

    // The value's layout: Bias, StandardBias, DaylightBias, StandardDate, DaylightDate.
    struct {
        LONG bias;
        LONG standardBias;
        LONG daylightBias;
        SYSTEMTIME standardDate;
        SYSTEMTIME daylightDate;
    } stored;
    static_assert(sizeof stored == 44);
    DWORD type = REG_NONE;
    DWORD size = sizeof stored;
    if (RegQueryValueExA(key.get(), "TZI", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) !=
            ERROR_SUCCESS ||
        type != REG_BINARY || size != sizeof stored)
        return std::nullopt;

    TIME_ZONE_INFORMATION zone{};
    zone.Bias = stored.bias;
    zone.StandardBias = stored.standardBias;
    zone.DaylightBias = stored.daylightBias;
    zone.StandardDate = stored.standardDate;
    zone.DaylightDate = stored.daylightDate;
    // Rules that the system cannot read the present time by are no rules.
    SYSTEMTIME local;
    if (!LocalTime(zone, UtcNow(), local)) return std::nullopt;
    return zone;
}

std::string MachineZoneName() {
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return {};
    char name[sizeof zone.TimeZoneKeyName] = {};
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, zone.TimeZoneKeyName, -1, name, sizeof name, nullptr, &lossy) == 0)
        return {};
    // A name that the code page cannot spell does not open its key through the ANSI functions.
    return lossy ? std::string() : std::string(name);
}

bool BlockedAt(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime when) {
    SYSTEMTIME local;
    if (!LocalTime(zone, when, local)) return false;
    return week.Blocked(MondayFirstDay(local), local.wHour * 2 + local.wMinute / 30);
}

namespace {

// The UTC times at which the zone's local reading can pass a half-hour or jump: every zone Windows
// knows has offsets of whole quarter-hours and changes its daylight on a local quarter-hour, so
// those are the UTC quarter-hours. A zone made with other minutes is searched minute by minute as
// far as it needs.
UtcTime ChangeGrid(const TIME_ZONE_INFORMATION& zone) {
    int minutes = 15;
    for (LONG offset :
         {zone.Bias, zone.Bias + zone.StandardBias, zone.Bias + zone.DaylightBias,
          static_cast<LONG>(zone.StandardDate.wMinute), static_cast<LONG>(zone.DaylightDate.wMinute)})
        minutes = std::gcd(minutes, static_cast<int>(offset % 15));
    return static_cast<UtcTime>(std::abs(minutes)) * kUtcTicksPerMinute;
}

}  // namespace

std::optional<UtcTime> NextChange(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime now) {
    const bool blockedNow = BlockedAt(week, zone, now);
    const UtcTime grid = ChangeGrid(zone);
    const UtcTime first = (now / grid + 1) * grid;
    for (UtcTime when = first; when < first + kSearchedTicks; when += grid)
        if (BlockedAt(week, zone, when) != blockedNow) return when;
    return std::nullopt;
}

std::string ScheduleWords(const WeekSchedule& week, const TIME_ZONE_INFORMATION& zone, UtcTime now,
                          std::optional<UtcTime> liftedUntil) {
    if (liftedUntil && *liftedUntil > now) return BlockingLiftedText(MomentWords(zone, now, *liftedUntil));
    const bool blockedNow = BlockedAt(week, zone, now);
    const std::optional<UtcTime> change = NextChange(week, zone, now);
    if (!change) return blockedNow ? kBlockedAtEveryHour : kBlockedAtNoHour;
    const std::string when = MomentWords(zone, now, *change);
    return blockedNow ? BlockedUntilText(when) : BlockBeginsText(when);
}

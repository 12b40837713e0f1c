// The weekly schedule and the lifts, as the main window asks the blocking service for them: the
// "Schedule" button and its window, and the caption and Status line that follow the block the
// service keeps in force by the clock.
#include <algorithm>

#include "Failure.h"
#include "MainWindow.h"
#include "MessagePump.h"
#include "Schedule.h"
#include "ScheduleWindow.h"

namespace {

// The service is asked again this long after the time it gave for its next change.
constexpr UtcTime kFollowDelayTicks = 10'000'000;  // one second
constexpr UINT_PTR kFollowTimerId = 0x5C4E;
// After the service's change signal the window rests this long before it waits on it again, and
// then asks once more: longer than the service holds the signal set, so one change wakes it once,
// and a signal that someone else keeps set costs one question in this time.
constexpr UINT kChangeSignalRestMs = 3000;
constexpr UINT_PTR kSignalRestTimerId = 0x5C4F;
// How soon the window looks again when a command kept it from following.
constexpr UINT kFollowRetryMs = 500;

// The rules a schedule is read by: the zone saved with it, or for a lift with no schedule kept the
// computer's own.
std::optional<TIME_ZONE_INFORMATION> ScheduleZone(const std::string& savedZone) {
    return ZoneRules(savedZone.empty() ? MachineZoneName() : savedZone);
}

// What the line in words says for a schedule (followed or not) and a lift.
std::string DescribeSchedule(const WeekSchedule& week, bool followed,
                             const std::optional<TIME_ZONE_INFORMATION>& zone, std::uint64_t liftedUntil) {
    if (!zone) return kScheduleZoneUnknown;
    const UtcTime now = UtcNow();
    const std::optional<UtcTime> lift =
        liftedUntil > now ? std::optional<UtcTime>(liftedUntil) : std::nullopt;
    if (!followed && !lift) return kScheduleNotFollowed;
    return ScheduleWords(week, *zone, now, lift);
}

}  // namespace

void MainWindow::OnScheduleClicked() {
    const std::optional<ServiceStatus> status =
        schedule_.service != nullptr ? schedule_.service->ScheduleStatus() : std::nullopt;
    ScheduleWindowSetup setup;
    setup.serviceRunning = status.has_value();
    std::uint64_t liftedUntil = 0;
    if (status) {
        liftedUntil = status->liftedUntil;
        const bool read = status->schedule.empty() || ParseSchedule(status->schedule, setup.schedule);
        if (!read) setup.schedule = {};
        setup.storedUnreadable = status->scheduleUnreadable || !read;
    }
    // Read once: the line is told again at every cell the parent changes.
    const std::optional<TIME_ZONE_INFORMATION> zone = ScheduleZone(setup.schedule.zone);
    setup.describe = [&](const WeekSchedule& week, bool followed) {
        return DescribeSchedule(week, followed, zone, liftedUntil);
    };
    setup.ownerLocked = [this] { return lock_.Locked(); };
    ScheduleWindowResult result = ShowScheduleWindow(hwnd_, setup);
    // The window may have locked meanwhile: then nothing of it is taken.
    if (lock_.Locked() || result.choice == ScheduleChoice::Cancel) return;
    if (result.choice == ScheduleChoice::Save) {
        // Read in the parent's zone from now on, whatever zone the computer is set to later.
        result.schedule.zone = MachineZoneName();
        SaveSchedule(result.schedule);
    } else {
        LiftBlock(static_cast<std::uint32_t>(result.liftMinutes));
    }
}

void MainWindow::SaveSchedule(const StoredSchedule& schedule) {
    std::optional<ServiceAnswer> answer;
    std::string passwordHash;
    try {
        passwordHash = settings_.GetText(kKeyPassword, "");
    } catch (const Failure&) {
        // A stored password that cannot be read binds nothing; the service still asks the one typed.
    }
    WhileServiceWorks([&] {
        answer = schedule_.service->SaveSchedule(lock_.UnlockPassword(), passwordHash,
                                                 FormatSchedule(schedule), ListedEntries(websiteList_));
    });
    if (!answer) return ShowNotice(kScheduleNeedsService);
    switch (answer->schedule) {
        case ScheduleOutcome::Saved:
            break;
        case ScheduleOutcome::NotAdministrator:
            return ShowNotice(kScheduleNeedsAdministrator);
        case ScheduleOutcome::WrongPassword:
            return ShowNotice(kScheduleNeedsBlockPassword);
        case ScheduleOutcome::NotKept:
            return ShowNotice(kScheduleNotKept);
        default:
            return ShowNotice(schedule.followed && websiteList_.Count() == 0 ? kScheduleNeedsList
                                                                             : kScheduleRefused);
    }
    FollowServiceSchedule();
}

void MainWindow::LiftBlock(std::uint32_t minutes) {
    std::optional<ServiceAnswer> answer;
    WhileServiceWorks([&] { answer = schedule_.service->Lift(lock_.UnlockPassword(), minutes); });
    if (!answer) return ShowNotice(kScheduleNeedsService);
    ShowReportedFailures(answer->failures, reports_);
    switch (answer->lift) {
        case LiftOutcome::Lifted:
            break;
        case LiftOutcome::NotAdministrator:
            return ShowNotice(kScheduleNeedsAdministrator);
        case LiftOutcome::WrongPassword:
            return ShowNotice(kScheduleNeedsBlockPassword);
        case LiftOutcome::Failed:
            return ShowNotice(kLiftFailed);
        default:
            return ShowNotice(kLiftRefused);
    }
    FollowServiceSchedule();
    // Lifted: the window goes into the tray, locked, and says until when.
    HideInTray();
    try {
        trayIcon_.ShowBalloon(controls_.statusLabel.Caption(), kMinimizeBalloonTitle, 5, false);
    } catch (...) {
        // The balloon is only a hint; the window is already safely in the tray.
    }
}

bool MainWindow::FollowServiceSchedule() {
    if (schedule_.service == nullptr) return false;
    const std::optional<ServiceStatus> status = schedule_.service->ScheduleStatus();
    const bool byClock = status && (status->scheduleFollowed || status->liftedUntil != 0);
    if (hwnd_ != nullptr) KillTimer(hwnd_, kFollowTimerId);
    // Kept while the service is away too: the event outlives a restart of the service.
    WatchChangeSignal(true);
    if (!byClock) {
        if (schedule_.followed) controls_.statusLabel.SetCaption(kStatusCaption);
        schedule_.followed = false;
        return false;
    }
    schedule_.followed = true;
    if (status->blocking != state_.blocking) {
        // The service changed the block by the clock: the watch of a block this run wrote ends,
        // or it would put back what the schedule lifted.
        if (!status->blocking) hostsWatch_.ForgetWrittenBlock();
        SetBlocking(status->blocking);
    }
    StoredSchedule schedule;
    ParseSchedule(status->schedule, schedule);
    controls_.statusLabel.SetCaption(DescribeSchedule(schedule.week, status->scheduleFollowed,
                                                      ScheduleZone(schedule.zone), status->liftedUntil));
    if (status->nextChange != 0 && hwnd_ != nullptr) {
        const UtcTime now = UtcNow();
        const UtcTime due = status->nextChange + kFollowDelayTicks;
        const UtcTime wait = due > now ? (due - now) / 10'000 : 0;
        SetTimer(hwnd_, kFollowTimerId, static_cast<UINT>(std::min<UtcTime>(wait, 24ULL * 3600 * 1000)),
                 &OnFollowTimer);
    }
    return true;
}

void CALLBACK MainWindow::OnFollowTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return;
    // The rest after a change signal is over: the signal is waited on again.
    if (id == kSignalRestTimerId) self->schedule_.signalResting = false;
    if (self->FollowMustWait()) {
        SetTimer(window, kFollowTimerId, kFollowRetryMs, &OnFollowTimer);
        return;
    }
    try {
        self->FollowServiceSchedule();
    } catch (...) {
        // Looked at again at the next command; no exception leaves the timer.
    }
}

void MainWindow::WatchChangeSignal(bool on) {
    if (!on) {
        if (schedule_.changeSignal) UnwatchHandle(schedule_.changeSignal.get());
        if (hwnd_ != nullptr) KillTimer(hwnd_, kSignalRestTimerId);
        schedule_.changeSignal.reset();
        schedule_.signalResting = false;
        return;
    }
    if (schedule_.signalResting) return;
    if (!schedule_.changeSignal) schedule_.changeSignal = schedule_.service->OpenChangeSignal();
    if (schedule_.changeSignal) WatchHandle(schedule_.changeSignal.get(), [this] { OnChangeSignalled(); });
}

void MainWindow::OnChangeSignalled() {
    UnwatchHandle(schedule_.changeSignal.get());
    schedule_.signalResting = true;
    if (hwnd_ != nullptr) SetTimer(hwnd_, kSignalRestTimerId, kChangeSignalRestMs, &OnFollowTimer);
    if (FollowMustWait()) return;  // followed when the rest is over
    try {
        FollowServiceSchedule();
    } catch (...) {
        // Looked at again when the rest is over.
    }
}

#pragma once
// The window "Blocking Schedule": the parent marks the blocked half-hours of the week on a grid,
// chooses whether the block follows them, and may lift the block for a while. The window only
// edits and answers; its owner stores the schedule or asks for the lift.

#include <windows.h>

#include <functional>
#include <string>

#include "Schedule.h"

struct ScheduleWindowSetup {
    StoredSchedule schedule;        // what is stored now (an empty week when none)
    bool serviceRunning = true;     // false: editing disabled, the line says schedules need the service
    bool storedUnreadable = false;  // the stored schedule could not be read: grid empty, the line says so
    // The line in words for a week as edited (followed or not); called as cells change.
    std::function<std::string(const WeekSchedule& week, bool followed)> describe;
    // True while the owner is locked behind its password: the window then closes as a Cancel and
    // refuses everything (checked at every message that could act).
    std::function<bool()> ownerLocked;
};

enum class ScheduleChoice { Cancel, Save, Lift };

struct ScheduleWindowResult {
    ScheduleChoice choice = ScheduleChoice::Cancel;
    StoredSchedule schedule;  // Save: the edited schedule (zone left as given in the setup)
    int liftMinutes = 0;      // Lift: 15, 30, 60 or 120
};

// Shows the window modal, owned by `owner` (disabled meanwhile), until Save, Lift, Cancel/Esc or
// close. A quit that comes meanwhile ends it as Cancel and is left for the main loop.
ScheduleWindowResult ShowScheduleWindow(HWND owner, const ScheduleWindowSetup& setup);

// What tests look for to find the window and its parts while it shows.
inline constexpr char kScheduleWindowClassName[] = "ParvaliskScheduleWindow";
// Save and Cancel carry the dialog identifiers, so Enter means Save and Escape means Cancel.
enum ScheduleWindowControlId : int {
    kIdScheduleSaveButton = IDOK,
    kIdScheduleCancelButton = IDCANCEL,
    kIdScheduleGrid = 2101,
    kIdScheduleFollowedBox,
    kIdScheduleLine,
    kIdScheduleLiftLabel,
    kIdScheduleLiftList,
    kIdScheduleLiftButton,
};

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ScheduleWindow.h"
#include "UserTexts.h"
#include "WeekGrid.h"
#include "support/ScheduleWindowDriver.h"

namespace {

ScheduleWindowResult RunWindow(const ScheduleWindowSetup& setup, std::function<void(HWND)> action,
                               HWND owner = nullptr) {
    ScheduleWindowResult result;
    {
        ScheduleWindowDriver driver(std::move(action));
        result = ShowScheduleWindow(owner, setup);
    }
    EXPECT_EQ(FindWindowA(kScheduleWindowClassName, nullptr), nullptr) << "the window is gone afterwards";
    return result;
}

WeekSchedule Marked(std::initializer_list<GridCell> cells) {
    WeekSchedule week;
    for (GridCell cell : cells) week.Set(cell.day, cell.halfHour, true);
    return week;
}

WeekSchedule MarkedRun(int day, int first, int last, WeekSchedule week = {}) {
    for (int halfHour = first; halfHour <= last; ++halfHour) week.Set(day, halfHour, true);
    return week;
}

POINT CellCentre(HWND window, int day, int halfHour) {
    return Centre(GeometryOf(ScheduleGrid(window)).CellRect(day, halfHour));
}

// Down on the first point, a move to each of the others, up on the last.
void Drag(HWND window, std::initializer_list<POINT> points) {
    GridMouse(window, WM_LBUTTONDOWN, *points.begin());
    for (POINT at : points) GridMouse(window, WM_MOUSEMOVE, at);
    GridMouse(window, WM_LBUTTONUP, *(points.end() - 1));
}

void PressKeys(HWND window, std::initializer_list<UINT> keys, bool shift = false) {
    BYTE state[256];
    GetKeyboardState(state);
    const BYTE shiftBefore = state[VK_SHIFT];
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    for (UINT key : keys) SendMessageA(ScheduleGrid(window), WM_KEYDOWN, key, 1);
    state[VK_SHIFT] = shiftBefore;
    SetKeyboardState(state);
}

void PostKey(HWND window, UINT key) {
    PostMessageA(ScheduleGrid(window), WM_KEYDOWN, key, 1);
    PostMessageA(ScheduleGrid(window), WM_KEYUP, key, 0xC0000001);
}

std::string Text(HWND window, int id) {
    char text[512] = "";
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

// Describes a week by its count of blocked half-hours, so a test sees which week the line is for.
std::string CountWords(const WeekSchedule& week, bool followed) {
    int count = 0;
    for (int day = 0; day < kDaysInWeek; ++day)
        for (int halfHour = 0; halfHour < kHalfHoursInDay; ++halfHour) count += week.Blocked(day, halfHour);
    return std::to_string(count) + (followed ? " followed" : " not followed");
}

struct EditCase {
    const char* name;
    WeekSchedule start;
    std::function<void(HWND)> edit;
    WeekSchedule expected;
};

void ExpectSavedWeeks(const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScheduleWindowSetup setup;
        setup.schedule.week = c.start;
        setup.describe = CountWords;
        const ScheduleWindowResult result = RunWindow(setup, [&](HWND window) {
            c.edit(window);
            ClickScheduleButton(window, kIdScheduleSaveButton);
        });
        EXPECT_EQ(result.choice, ScheduleChoice::Save);
        EXPECT_TRUE(result.schedule.week == c.expected);
    }
}

TEST(ScheduleWindow, TheMouseTogglesCellsRunsDaysAndHours) {
    WeekSchedule mixedRun = Marked({{0, 10}, {0, 12}});
    WeekSchedule fullColumn, partColumn = Marked({{3, 14}});
    for (int day = 0; day < kDaysInWeek; ++day) fullColumn = MarkedRun(day, 14, 15, fullColumn);
    ExpectSavedWeeks({
        {"a click marks a cell", {}, [](HWND w) { ClickInGrid(w, CellCentre(w, 1, 20)); }, Marked({{1, 20}})},
        {"a click clears a marked cell", Marked({{1, 20}, {6, 47}}),
         [](HWND w) { ClickInGrid(w, CellCentre(w, 1, 20)); }, Marked({{6, 47}})},
        {"a drag marks every cell it passes over",
         {},
         [](HWND w) {
             Drag(w, {CellCentre(w, 0, 2), CellCentre(w, 0, 8)});
         },
         MarkedRun(0, 2, 8)},
        {"the first cell's new state clears the run",
         mixedRun,
         [](HWND w) {
             Drag(w, {CellCentre(w, 0, 10), CellCentre(w, 0, 11), CellCentre(w, 0, 13)});
         },
         {}},
        {"a day's name marks a part-marked day", Marked({{2, 5}}),
         [](HWND w) { ClickInGrid(w, Centre(GeometryOf(ScheduleGrid(w)).DayNameRect(2))); },
         MarkedRun(2, 0, 47)},
        {"a day's name clears a full day", MarkedRun(2, 0, 47, Marked({{3, 0}})),
         [](HWND w) { ClickInGrid(w, Centre(GeometryOf(ScheduleGrid(w)).DayNameRect(2))); },
         Marked({{3, 0}})},
        {"an hour marks both its halves on every day", partColumn,
         [](HWND w) { ClickInGrid(w, Centre(GeometryOf(ScheduleGrid(w)).HourLabelRect(7))); }, fullColumn},
        {"an hour marked on every day clears",
         fullColumn,
         [](HWND w) { ClickInGrid(w, Centre(GeometryOf(ScheduleGrid(w)).HourLabelRect(7))); },
         {}},
    });
}

TEST(ScheduleWindow, TheKeysMoveToggleAndExtend) {
    const WeekSchedule allButFive = [] {
        WeekSchedule week = MarkedRun(0, 0, 47);
        week.Set(0, 5, false);
        return week;
    }();
    ExpectSavedWeeks({
        {"Space toggles the first cell", {}, [](HWND w) { PressKeys(w, {VK_SPACE}); }, Marked({{0, 0}})},
        {"the arrows move, stopping at the edges",
         {},
         [](HWND w) {
             PressKeys(w, {VK_LEFT, VK_UP, VK_RIGHT, VK_RIGHT, VK_DOWN, VK_SPACE});
         },
         Marked({{1, 2}})},
        {"End and Home go to the row's ends",
         {},
         [](HWND w) {
             PressKeys(w, {VK_DOWN, VK_END, VK_SPACE, VK_DOWN, VK_HOME, VK_SPACE});
         },
         Marked({{1, 47}, {2, 0}})},
        {"Shift+arrows mark with a marked anchor",
         {},
         [](HWND w) {
             PressKeys(w, {VK_SPACE});
             PressKeys(w, {VK_RIGHT, VK_RIGHT, VK_DOWN}, true);
         },
         Marked({{0, 0}, {0, 1}, {0, 2}, {1, 2}})},
        {"Shift+arrows clear with a clear anchor", allButFive,
         [](HWND w) {
             PressKeys(w, {VK_END, VK_HOME, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT, VK_RIGHT});
             PressKeys(w, {VK_RIGHT, VK_RIGHT}, true);
         },
         MarkedRun(0, 8, 47, MarkedRun(0, 0, 4))},
        {"Shift+End marks to the row's end",
         {},
         [](HWND w) {
             PressKeys(w, {VK_RIGHT, VK_SPACE});
             PressKeys(w, {VK_END}, true);
         },
         MarkedRun(0, 1, 47)},
    });
}

TEST(ScheduleWindow, AnswersSaveCancelAndLift) {
    const std::string zone = "W. Europe Standard Time";
    struct Case {
        const char* name;
        std::function<void(HWND)> action;
        ScheduleChoice choice;
        int liftMinutes;
    } cases[] = {
        {"Save", [](HWND w) { ClickScheduleButton(w, kIdScheduleSaveButton); }, ScheduleChoice::Save, 0},
        {"Enter is Save", [](HWND w) { PostKey(w, VK_RETURN); }, ScheduleChoice::Save, 0},
        {"Cancel", [](HWND w) { ClickScheduleButton(w, kIdScheduleCancelButton); }, ScheduleChoice::Cancel,
         0},
        {"Escape is Cancel", [](HWND w) { PostKey(w, VK_ESCAPE); }, ScheduleChoice::Cancel, 0},
        {"the close box is Cancel", [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }, ScheduleChoice::Cancel,
         0},
        {"Lift at first for 15 minutes", [](HWND w) { ClickScheduleButton(w, kIdScheduleLiftButton); },
         ScheduleChoice::Lift, 15},
        {"Lift for 1 hour",
         [](HWND w) {
             SendDlgItemMessageA(w, kIdScheduleLiftList, CB_SETCURSEL, 2, 0);
             ClickScheduleButton(w, kIdScheduleLiftButton);
         },
         ScheduleChoice::Lift, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScheduleWindowSetup setup;
        setup.schedule = {Marked({{4, 30}}), false, zone};
        setup.describe = CountWords;
        const ScheduleWindowResult result = RunWindow(setup, [&](HWND w) {
            ClickInGrid(w, CellCentre(w, 5, 1));
            ClickScheduleButton(w, kIdScheduleFollowedBox);
            c.action(w);
        });
        EXPECT_EQ(result.choice, c.choice);
        EXPECT_EQ(result.liftMinutes, c.liftMinutes);
        const StoredSchedule saved{Marked({{4, 30}, {5, 1}}), true, zone};
        EXPECT_EQ(result.schedule, c.choice == ScheduleChoice::Save ? saved : StoredSchedule{});
    }
}

TEST(ScheduleWindow, IsModalTakesTheTabOrderAndUpdatesItsLine) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    ScheduleWindowSetup setup;
    setup.schedule.week = Marked({{0, 0}});
    setup.describe = CountWords;
    std::string caption;
    std::vector<std::string> lines, lengths;
    std::vector<int> tabOrder;
    bool ownerEnabledDuring = true;
    HWND ownerSeen = nullptr;
    RunWindow(
        setup,
        [&](HWND w) {
            char text[128];
            GetWindowTextA(w, text, sizeof text);
            caption = text;
            ownerEnabledDuring = IsWindowEnabled(owner);
            ownerSeen = GetWindow(w, GW_OWNER);
            for (HWND at = GetFocus(); tabOrder.size() < 7; at = GetNextDlgTabItem(w, at, FALSE))
                tabOrder.push_back(GetDlgCtrlID(at));
            for (int i = 0; i < SendDlgItemMessageA(w, kIdScheduleLiftList, CB_GETCOUNT, 0, 0); ++i) {
                SendDlgItemMessageA(w, kIdScheduleLiftList, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                lengths.push_back(text);
            }
            lines.push_back(Text(w, kIdScheduleLine));
            ClickInGrid(w, CellCentre(w, 6, 47));
            lines.push_back(Text(w, kIdScheduleLine));
            SendDlgItemMessageA(w, kIdScheduleFollowedBox, BM_CLICK, 0, 0);
            lines.push_back(Text(w, kIdScheduleLine));
            ClickScheduleButton(w, kIdScheduleCancelButton);
        },
        owner);
    EXPECT_EQ(caption, kScheduleWindowCaption);
    EXPECT_EQ(ownerSeen, owner);
    EXPECT_FALSE(ownerEnabledDuring) << "the owner takes no input while the window shows";
    EXPECT_TRUE(IsWindowEnabled(owner)) << "and takes input again afterwards";
    EXPECT_EQ(tabOrder, (std::vector<int>{kIdScheduleGrid, kIdScheduleFollowedBox, kIdScheduleLiftList,
                                          kIdScheduleLiftButton, kIdScheduleSaveButton,
                                          kIdScheduleCancelButton, kIdScheduleGrid}))
        << "the grid takes the focus first";
    EXPECT_EQ(lengths, (std::vector<std::string>{"15 minutes", "30 minutes", "1 hour", "2 hours"}));
    EXPECT_EQ(lines, (std::vector<std::string>{"1 not followed", "2 not followed", "2 followed"}));
    DestroyWindow(owner);
}

TEST(ScheduleWindow, WithoutTheServiceOnlyCancelActs) {
    ScheduleWindowSetup setup;
    setup.serviceRunning = false;
    setup.describe = CountWords;
    std::string line;
    std::vector<int> enabled;
    const ScheduleWindowResult result = RunWindow(setup, [&](HWND w) {
        line = Text(w, kIdScheduleLine);
        for (int id : {kIdScheduleGrid, kIdScheduleFollowedBox, kIdScheduleLiftList, kIdScheduleLiftButton,
                       kIdScheduleSaveButton, kIdScheduleCancelButton})
            if (IsWindowEnabled(GetDlgItem(w, id))) enabled.push_back(id);
        // What reaches the disabled controls past the mouse is refused too.
        PostMessageA(w, WM_COMMAND, MAKEWPARAM(kIdScheduleSaveButton, BN_CLICKED), 0);
        PostMessageA(w, WM_COMMAND, MAKEWPARAM(kIdScheduleLiftButton, BN_CLICKED), 0);
        ClickScheduleButton(w, kIdScheduleCancelButton);
    });
    EXPECT_EQ(line, kScheduleNeedsServiceLine);
    EXPECT_EQ(enabled, std::vector<int>{kIdScheduleCancelButton});
    EXPECT_EQ(result.choice, ScheduleChoice::Cancel);
}

TEST(ScheduleWindow, AnUnreadableScheduleStartsEmptyAndSaysSo) {
    ScheduleWindowSetup setup;
    setup.schedule.week = MarkedRun(1, 0, 47);
    setup.storedUnreadable = true;
    setup.describe = CountWords;
    std::vector<std::string> lines;
    const ScheduleWindowResult result = RunWindow(setup, [&](HWND w) {
        lines.push_back(Text(w, kIdScheduleLine));
        ClickInGrid(w, CellCentre(w, 3, 3));
        lines.push_back(Text(w, kIdScheduleLine));
        ClickScheduleButton(w, kIdScheduleSaveButton);
    });
    EXPECT_EQ(lines, (std::vector<std::string>{kScheduleUnreadableLine, "1 not followed"}));
    EXPECT_TRUE(result.schedule.week == Marked({{3, 3}}));
}

TEST(ScheduleWindow, ALockedOwnerClosesItAsCancelAndItActsOnNothing) {
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
    } cases[] = {
        {"a posted Save", [](HWND w) { PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }},
        {"a posted Lift", [](HWND w) { ClickScheduleButton(w, kIdScheduleLiftButton); }},
        {"a click on the grid",
         [](HWND w) {
             ClickInGrid(w, CellCentre(w, 2, 2));
             PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
         }},
        {"a key in the grid", [](HWND w) { PressKeys(w, {VK_SPACE}); }},
        {"nothing but the lock", [](HWND w) { PostMessageA(w, WM_NULL, 0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool locked = false;
        int describedWhileLocked = 0;
        ScheduleWindowSetup setup;
        setup.describe = [&](const WeekSchedule& week, bool followed) {
            describedWhileLocked += locked;
            return CountWords(week, followed);
        };
        setup.ownerLocked = [&] { return locked; };
        const ScheduleWindowResult result = RunWindow(setup, [&](HWND w) {
            locked = true;
            c.act(w);
        });
        EXPECT_EQ(result.choice, ScheduleChoice::Cancel);
        EXPECT_EQ(describedWhileLocked, 0) << "no cell changed";
    }
    ScheduleWindowSetup lockedAtOpen;
    lockedAtOpen.ownerLocked = [] { return true; };
    bool shown = false;
    EXPECT_EQ(RunWindow(lockedAtOpen, [&](HWND) { shown = true; }).choice, ScheduleChoice::Cancel);
    EXPECT_FALSE(shown) << "a window opened while the owner is locked does not show";
}

}  // namespace

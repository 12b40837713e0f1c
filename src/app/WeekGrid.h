#pragma once
// The week grid of the schedule window: a row for each day, Monday to Sunday, of 48 half-hour
// cells, with the day's short name before the row and the hours above the columns. A marked cell
// is a blocked half-hour.
//
// The mouse edits it: a click toggles a cell, a drag gives every cell it passes over the state the
// first cell took, a click on a day's name toggles the day, one on an hour toggles that hour on
// every day. So does the keyboard: the arrows, Home and End move the focus cell, Space toggles
// it, and with Shift held the cells moved over take the state of the cell the move began on.
// Each change is told to the parent as WM_COMMAND with kWeekGridChanged.

#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "Schedule.h"
#include "WindowProc.h"

inline constexpr char kWeekGridClassName[] = "ParvaliskWeekGrid";
// The notification code of the WM_COMMAND that tells the parent the cells changed.
inline constexpr WORD kWeekGridChanged = 1;

// One cell of the grid.
struct GridCell {
    int day = 0;
    int halfHour = 0;
    bool operator==(const GridCell& other) const = default;
};

// What lies under a point of the grid.
struct GridSpot {
    enum class Part { Cell, DayName, HourLabel } part;
    GridCell cell;  // a day name: its day; an hour label: the hour's first half-hour
};

// Where the parts of a grid of this client size lie. The day names and the hour labels take a
// size in twips; the cells share the rest, each the same whole number of pixels.
class WeekGridGeometry {
  public:
    WeekGridGeometry(int clientWidth, int clientHeight, int dpi);
    RECT CellRect(int day, int halfHour) const;
    RECT DayNameRect(int day) const;
    RECT HourLabelRect(int hour) const;  // above the hour's two half-hour columns
    std::optional<GridSpot> SpotAt(POINT point) const;
    // The cell under the point, or the nearest one when the point lies outside the cells.
    GridCell NearestCell(POINT point) const;

  private:
    int left_, top_;  // the top left corner of the first cell
    int cellWidth_, cellHeight_;
};

// The geometry of this grid window as it is now.
WeekGridGeometry GeometryOf(HWND grid);

class WeekGrid {
  public:
    WeekGrid() = default;
    WeekGrid(const WeekGrid&) = delete;
    WeekGrid& operator=(const WeekGrid&) = delete;

    // Makes the grid as a child of `parent` at `place` (pixels), drawn in `font`. `refusesInput`
    // is asked before every click or key acts; true refuses it. False when the window could not
    // be made.
    bool Create(HWND parent, int id, const RECT& place, HFONT font, std::function<bool()> refusesInput);
    HWND hwnd() const { return hwnd_; }

    const WeekSchedule& Week() const { return week_; }
    // Shows this week; the parent is not told.
    void SetWeek(const WeekSchedule& week);

  private:
    friend LRESULT CALLBACK ForwardingWindowProc<WeekGrid>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    bool Refused() const;
    void OnButtonDown(POINT point);
    void OnMouseMove(POINT point);
    void OnKeyDown(UINT key);
    void ExtendTo(GridCell target);
    void MoveFocus(GridCell cell);
    void ToggleDay(int day);
    void ToggleHour(int hour);
    // Gives every cell on the straight way from `from` to `to` (both included) this state.
    bool MarkRun(GridCell from, GridCell to, bool blocked);
    void Changed();
    void Paint(HDC dc, const RECT& client) const;
    void PaintNames(HDC dc, const WeekGridGeometry& geometry) const;
    void PaintCells(HDC dc, const WeekGridGeometry& geometry) const;
    void OnPaint();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    std::array<std::string, kDaysInWeek> dayNames_;  // the locale's short names, Monday first
    std::function<bool()> refusesInput_;
    WeekSchedule week_;
    GridCell focus_;
    // While the mouse drags: the state every cell it passes over takes, and the last cell reached.
    std::optional<bool> dragState_;
    GridCell dragLast_;
    // While Shift extends from the keyboard: the state of the cell the extension began on.
    std::optional<bool> extendState_;
};

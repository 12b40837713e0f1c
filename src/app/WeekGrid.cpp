#include "WeekGrid.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Handles.h"
#include "WindowLayout.h"

namespace {

// The column of day names and the row of hour labels, in twips.
constexpr int kDayNameWidthTwips = 660;
constexpr int kHourLabelHeightTwips = 300;
// Every third hour is labelled; a darker line marks each hour.
constexpr int kHoursPerLabel = 3;

std::string ShortDayName(int day) {
    char name[80] = "";
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVDAYNAME1 + day, name, sizeof name) == 0) return "";
    return name;
}

void FillColour(HDC dc, const RECT& rect, int sysColour) {
    FillRect(dc, &rect, GetSysColorBrush(sysColour));
}

// The cell a key moves the focus to from `from`; nothing for a key that does not move it.
std::optional<GridCell> MovedBy(UINT key, GridCell from) {
    switch (key) {
        case VK_LEFT:
            from.halfHour = std::max(0, from.halfHour - 1);
            break;
        case VK_RIGHT:
            from.halfHour = std::min(kHalfHoursInDay - 1, from.halfHour + 1);
            break;
        case VK_UP:
            from.day = std::max(0, from.day - 1);
            break;
        case VK_DOWN:
            from.day = std::min(kDaysInWeek - 1, from.day + 1);
            break;
        case VK_HOME:
            from.halfHour = 0;
            break;
        case VK_END:
            from.halfHour = kHalfHoursInDay - 1;
            break;
        default:
            return std::nullopt;
    }
    return from;
}

}  // namespace

WeekGridGeometry::WeekGridGeometry(int clientWidth, int clientHeight, int dpi) {
    // One pixel is kept for the closing line on the right and at the bottom; what the cells'
    // whole pixels leave over widens the day names and the hour labels.
    cellWidth_ = std::max(1, (clientWidth - TwipsToPixels(kDayNameWidthTwips, dpi) - 1) / kHalfHoursInDay);
    cellHeight_ = std::max(1, (clientHeight - TwipsToPixels(kHourLabelHeightTwips, dpi) - 1) / kDaysInWeek);
    left_ = clientWidth - 1 - kHalfHoursInDay * cellWidth_;
    top_ = clientHeight - 1 - kDaysInWeek * cellHeight_;
}

RECT WeekGridGeometry::CellRect(int day, int halfHour) const {
    const int x = left_ + halfHour * cellWidth_, y = top_ + day * cellHeight_;
    return RECT{x, y, x + cellWidth_ + 1, y + cellHeight_ + 1};
}

RECT WeekGridGeometry::DayNameRect(int day) const {
    const int y = top_ + day * cellHeight_;
    return RECT{0, y, left_, y + cellHeight_};
}

RECT WeekGridGeometry::HourLabelRect(int hour) const {
    const int x = left_ + 2 * hour * cellWidth_;
    return RECT{x, 0, x + 2 * cellWidth_, top_};
}

std::optional<GridSpot> WeekGridGeometry::SpotAt(POINT point) const {
    const int column = point.x < left_ ? -1 : (point.x - left_) / cellWidth_;
    const int row = point.y < top_ ? -1 : (point.y - top_) / cellHeight_;
    if (column >= kHalfHoursInDay || row >= kDaysInWeek) return std::nullopt;
    if (column >= 0 && row >= 0) return GridSpot{GridSpot::Part::Cell, {row, column}};
    if (row >= 0 && point.x >= 0) return GridSpot{GridSpot::Part::DayName, {row, 0}};
    if (column >= 0 && point.y >= 0) return GridSpot{GridSpot::Part::HourLabel, {0, column - column % 2}};
    return std::nullopt;
}

GridCell WeekGridGeometry::NearestCell(POINT point) const {
    const int column = point.x < left_ ? 0 : (point.x - left_) / cellWidth_;
    const int row = point.y < top_ ? 0 : (point.y - top_) / cellHeight_;
    return {std::min(row, kDaysInWeek - 1), std::min(column, kHalfHoursInDay - 1)};
}

WeekGridGeometry GeometryOf(HWND grid) {
    RECT client{};
    GetClientRect(grid, &client);
    return WeekGridGeometry(client.right, client.bottom, ScreenDpi());
}

bool WeekGrid::Create(HWND parent, int id, const RECT& place, HFONT font,
                      std::function<bool()> refusesInput) {
    if (!RegisterForwardingClass<WeekGrid>(kWeekGridClassName)) return false;
    font_ = font;
    refusesInput_ = std::move(refusesInput);
    for (int day = 0; day < kDaysInWeek; ++day) dayNames_[day] = ShortDayName(day);
    CreateWindowExA(0, kWeekGridClassName, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, place.left, place.top,
                    place.right - place.left, place.bottom - place.top, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), this);
    return hwnd_ != nullptr;
}

void WeekGrid::SetWeek(const WeekSchedule& week) {
    week_ = week;
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT WeekGrid::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
        case WM_GETDLGCODE:
            // The arrows move the focus cell instead of the dialog keys' focus.
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_LBUTTONDOWN:
            OnButtonDown(point);
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(point);
            return 0;
        case WM_LBUTTONUP:
            OnMouseMove(point);
            dragState_.reset();
            if (GetCapture() == hwnd_) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            dragState_.reset();
            return 0;
        case WM_KEYDOWN:
            OnKeyDown(static_cast<UINT>(wp));
            return 0;
        case WM_KEYUP:
            if (wp == VK_SHIFT) extendState_.reset();
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            InvalidateRect(hwnd_, nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

bool WeekGrid::Refused() const {
    // A disabled grid takes no input, also none that another program sends it past the mouse.
    return !IsWindowEnabled(hwnd_) || (refusesInput_ && refusesInput_());
}

void WeekGrid::OnButtonDown(POINT point) {
    if (Refused()) return;
    SetFocus(hwnd_);
    const std::optional<GridSpot> spot = GeometryOf(hwnd_).SpotAt(point);
    if (!spot) return;
    switch (spot->part) {
        case GridSpot::Part::Cell:
            extendState_.reset();
            focus_ = dragLast_ = spot->cell;
            dragState_ = !week_.Blocked(focus_.day, focus_.halfHour);
            week_.Set(focus_.day, focus_.halfHour, *dragState_);
            SetCapture(hwnd_);
            Changed();
            break;
        case GridSpot::Part::DayName:
            ToggleDay(spot->cell.day);
            break;
        case GridSpot::Part::HourLabel:
            ToggleHour(spot->cell.halfHour / 2);
            break;
    }
}

void WeekGrid::OnMouseMove(POINT point) {
    if (!dragState_) return;
    if (Refused()) {
        dragState_.reset();
        return;
    }
    const GridCell cell = GeometryOf(hwnd_).NearestCell(point);
    if (cell == dragLast_) return;
    // A quick move skips cells between two mouse messages; the straight way between them is
    // what the drag passed over.
    const bool changed = MarkRun(dragLast_, cell, *dragState_);
    dragLast_ = focus_ = cell;
    if (changed)
        Changed();
    else
        InvalidateRect(hwnd_, nullptr, FALSE);
}

void WeekGrid::OnKeyDown(UINT key) {
    if (Refused()) return;
    if (key == VK_SPACE) {
        extendState_.reset();
        week_.Set(focus_.day, focus_.halfHour, !week_.Blocked(focus_.day, focus_.halfHour));
        Changed();
        return;
    }
    const std::optional<GridCell> target = MovedBy(key, focus_);
    if (!target) return;
    if (GetKeyState(VK_SHIFT) < 0) {
        ExtendTo(*target);
    } else {
        extendState_.reset();
        MoveFocus(*target);
    }
}

void WeekGrid::ExtendTo(GridCell target) {
    if (!extendState_) extendState_ = week_.Blocked(focus_.day, focus_.halfHour);
    const bool changed = MarkRun(focus_, target, *extendState_);
    MoveFocus(target);
    if (changed) Changed();
}

void WeekGrid::MoveFocus(GridCell cell) {
    focus_ = cell;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void WeekGrid::ToggleDay(int day) {
    bool allMarked = true;
    for (int halfHour = 0; halfHour < kHalfHoursInDay; ++halfHour) allMarked &= week_.Blocked(day, halfHour);
    MarkRun({day, 0}, {day, kHalfHoursInDay - 1}, !allMarked);
    Changed();
}

void WeekGrid::ToggleHour(int hour) {
    bool allMarked = true;
    for (int day = 0; day < kDaysInWeek; ++day)
        allMarked &= week_.Blocked(day, 2 * hour) && week_.Blocked(day, 2 * hour + 1);
    for (int day = 0; day < kDaysInWeek; ++day) MarkRun({day, 2 * hour}, {day, 2 * hour + 1}, !allMarked);
    Changed();
}

bool WeekGrid::MarkRun(GridCell from, GridCell to, bool blocked) {
    const int days = to.day - from.day, halfHours = to.halfHour - from.halfHour;
    const int steps = std::max({std::abs(days), std::abs(halfHours), 1});
    bool changed = false;
    for (int step = 0; step <= steps; ++step) {
        const int day = from.day + static_cast<int>(std::lround(static_cast<double>(days) * step / steps));
        const int halfHour =
            from.halfHour + static_cast<int>(std::lround(static_cast<double>(halfHours) * step / steps));
        changed |= week_.Blocked(day, halfHour) != blocked;
        week_.Set(day, halfHour, blocked);
    }
    return changed;
}

void WeekGrid::Changed() {
    InvalidateRect(hwnd_, nullptr, FALSE);
    SendMessageA(GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd_), kWeekGridChanged),
                 reinterpret_cast<LPARAM>(hwnd_));
}

void WeekGrid::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    ScopeExit endPaint([&] { EndPaint(hwnd_, &ps); });
    RECT client{};
    GetClientRect(hwnd_, &client);
    // Drawn off screen first, so a drag does not flicker.
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) return Paint(dc, client);
    ScopeExit deleteMemory([&] { DeleteDC(memory); });
    UniqueBitmap bitmap{CreateCompatibleBitmap(dc, client.right, client.bottom)};
    if (!bitmap) return Paint(dc, client);
    HGDIOBJ previous = SelectObject(memory, bitmap.get());
    Paint(memory, client);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
}

void WeekGrid::Paint(HDC dc, const RECT& client) const {
    const WeekGridGeometry geometry = GeometryOf(hwnd_);
    FillColour(dc, client, COLOR_BTNFACE);
    PaintNames(dc, geometry);
    PaintCells(dc, geometry);
    if (GetFocus() == hwnd_) {
        RECT focus = geometry.CellRect(focus_.day, focus_.halfHour);
        InflateRect(&focus, -1, -1);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        DrawFocusRect(dc, &focus);
    }
}

void WeekGrid::PaintNames(HDC dc, const WeekGridGeometry& geometry) const {
    HGDIOBJ previousFont = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd_) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    for (int day = 0; day < kDaysInWeek; ++day) {
        RECT name = geometry.DayNameRect(day);
        name.right -= TwipsToPixels(90, ScreenDpi());
        DrawTextA(dc, dayNames_[day].c_str(), -1, &name, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    // Each label starts at its hour's line, so it reads as the time the line stands for.
    for (int hour = 0; hour < 24; hour += kHoursPerLabel) {
        char label[4];
        std::snprintf(label, sizeof label, "%02d", hour);
        RECT place = geometry.HourLabelRect(hour);
        place.right =
            place.left + geometry.HourLabelRect(kHoursPerLabel).left - geometry.HourLabelRect(0).left;
        DrawTextA(dc, label, -1, &place, DT_LEFT | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, previousFont);
}

void WeekGrid::PaintCells(HDC dc, const WeekGridGeometry& geometry) const {
    const bool enabled = IsWindowEnabled(hwnd_);
    for (int day = 0; day < kDaysInWeek; ++day) {
        for (int halfHour = 0; halfHour < kHalfHoursInDay; ++halfHour) {
            const bool blocked = week_.Blocked(day, halfHour);
            const int colour = blocked ? (enabled ? COLOR_HIGHLIGHT : COLOR_BTNSHADOW)
                                       : (enabled ? COLOR_WINDOW : COLOR_BTNFACE);
            FillColour(dc, geometry.CellRect(day, halfHour), colour);
        }
    }
    // The lines: light between the half-hours of an hour, dark between hours and days.
    const RECT first = geometry.CellRect(0, 0),
               last = geometry.CellRect(kDaysInWeek - 1, kHalfHoursInDay - 1);
    for (int halfHour = 0; halfHour <= kHalfHoursInDay; ++halfHour) {
        const int x = halfHour < kHalfHoursInDay ? geometry.CellRect(0, halfHour).left : last.right - 1;
        FillColour(dc, RECT{x, first.top, x + 1, last.bottom},
                   halfHour % 2 ? COLOR_BTNFACE : COLOR_BTNSHADOW);
    }
    for (int day = 0; day <= kDaysInWeek; ++day) {
        const int y = day < kDaysInWeek ? geometry.CellRect(day, 0).top : last.bottom - 1;
        FillColour(dc, RECT{first.left, y, last.right, y + 1}, COLOR_BTNSHADOW);
    }
}

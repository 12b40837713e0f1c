#pragma once
// The main window's face: its controls in tab order, its size, style and fonts. The window builds
// itself from this, and so does the start-up benchmark's window of the same controls.

#include <windows.h>

#include "LayoutBuilder.h"
#include "MainWindowControls.h"
#include "UserTexts.h"

// The layout in twips (15 twips per pixel at 96 DPI). Positions of the controls inside a frame are
// relative to that frame.
inline const LayoutRow kMainWindowLayout[] = {
    {ControlKind::Label, kIdStatusLabel, kStatusCaption, 120, 5910, 7800, 270},
    {ControlKind::ListView, kIdWebsiteList, "", 120, 660, 7800, 1905},
    {ControlKind::PushButton, kIdAddWebsiteButton, kAddWebsiteCaption, 120, 2640, 3840, 405},
    {ControlKind::PushButton, kIdLoadFromFileButton, kLoadFromFileCaption, 4080, 2640, 3840, 405},
    {ControlKind::PushButton, kIdClearListButton, kClearListCaption, 120, 3150, 3840, 405},
    {ControlKind::PushButton, kIdStartStopButton, kStartBlockingCaption, 120, 5385, 7800, 405},
    {ControlKind::PushButton, kIdHelpButton, kHelpCaption, 120, 120, 3840, 405},
    {ControlKind::PushButton, kIdScheduleButton, kScheduleCaption, 4080, 120, 3840, 405},
    {ControlKind::Frame, kIdOptionsFrame, kOptionsFrameCaption, 120, 3615, 7800, 735},
    {ControlKind::CheckBox, kIdStartWithWindowsBox, kStartWithWindowsCaption, 240, 300, 3690, 255,
     kIdOptionsFrame},
    {ControlKind::CheckBox, kIdStartInTrayBox, kStartInTrayCaption, 4200, 300, 2100, 255, kIdOptionsFrame},
    {ControlKind::Frame, kIdPasswordFrame, kPasswordFrameCaption, 120, 4425, 7800, 820},
    {ControlKind::PasswordField, kIdPasswordField, "", 240, 300, 7320, 345, kIdPasswordFrame},
    {ControlKind::PushButton, kIdLoadSamplesButton, kLoadSamplesCaption, 4080, 3150, 3840, 405},
};

inline constexpr int kMainWindowClientWidthTwips = 8040;
inline constexpr int kMainWindowClientHeightTwips = 6300;
inline constexpr DWORD kMainWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Arial bold in hundredths of a point: the labels, boxes, frames and list; the push buttons.
inline constexpr int kMainWindowTextPoints = 900;
inline constexpr int kMainWindowButtonPoints = 1125;

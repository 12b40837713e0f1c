#pragma once
// The main window's controls but the website list, as the layout makes them.

#include <array>
#include <utility>

#include "Controls.h"

// Control identifiers of the main window.
enum MainWindowControlId : int {
    kIdHelpButton = 1001,
    kIdStartStopButton,
    kIdClearListButton,
    kIdLoadFromFileButton,
    kIdLoadSamplesButton,
    kIdAddWebsiteButton,
    kIdWebsiteList,
    kIdOptionsFrame,
    kIdPasswordFrame,
    kIdStartWithWindowsBox,
    kIdStartInTrayBox,
    kIdPasswordField,
    kIdStatusLabel,
    kIdScheduleButton,
};

struct MainWindowControls {
    MainWindowControls() = default;
    MainWindowControls(const MainWindowControls&) = delete;
    MainWindowControls& operator=(const MainWindowControls&) = delete;

    Control helpButton, scheduleButton, startStopButton, clearListButton, loadFromFileButton,
        loadSamplesButton, addWebsiteButton;
    Control optionsFrame, passwordFrame, statusLabel, passwordField;
    CheckBox startWithWindowsBox, startInTrayBox;
    // Every control with its identifier, in the layout's order: the one table the controls are
    // found by.
    const std::array<std::pair<Control*, int>, 13> byId{{
        {&helpButton, kIdHelpButton},
        {&scheduleButton, kIdScheduleButton},
        {&startStopButton, kIdStartStopButton},
        {&clearListButton, kIdClearListButton},
        {&loadFromFileButton, kIdLoadFromFileButton},
        {&loadSamplesButton, kIdLoadSamplesButton},
        {&addWebsiteButton, kIdAddWebsiteButton},
        {&optionsFrame, kIdOptionsFrame},
        {&passwordFrame, kIdPasswordFrame},
        {&statusLabel, kIdStatusLabel},
        {&passwordField, kIdPasswordField},
        {&startWithWindowsBox, kIdStartWithWindowsBox},
        {&startInTrayBox, kIdStartInTrayBox},
    }};
};

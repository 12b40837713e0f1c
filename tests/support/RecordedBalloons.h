#pragma once
// A shell call for the tests that records every balloon the tray control asks for on its way to
// the shell.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

inline std::vector<NOTIFYICONDATAA> balloons;

inline BOOL WINAPI RecordBalloons(DWORD message, PNOTIFYICONDATAA record) {
    if (message == NIM_MODIFY && (record->uFlags & NIF_INFO) && record->szInfo[0] != '\0')
        balloons.push_back(*record);
    return Shell_NotifyIconA(message, record);
}

// The texts of the recorded balloons, in order.
inline std::vector<std::string> BalloonTexts() {
    std::vector<std::string> texts;
    for (const NOTIFYICONDATAA& balloon : balloons) texts.emplace_back(balloon.szInfo);
    return texts;
}

#pragma once
// The tests' shell calls that record every balloon the tray control asks for on its way to the
// shell: RecordBalloons lets each balloon last its time, as the program's do;
// RecordBalloonsEndingAtOnce ends each one at once, as if its time were over, so a minimise into
// the tray never waits for one (the default of every test's tree).

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "ShellNotifications.h"
#include "TrayIcon.h"

inline std::vector<NOTIFYICONDATAA> balloons;

inline bool IsBalloon(DWORD message, const NOTIFYICONDATAA& record) {
    return message == NIM_MODIFY && (record.uFlags & NIF_INFO) && record.szInfo[0] != '\0';
}

inline BOOL WINAPI RecordBalloons(DWORD message, PNOTIFYICONDATAA record) {
    if (IsBalloon(message, *record)) balloons.push_back(*record);
    return Shell_NotifyIconA(message, record);
}

inline BOOL WINAPI RecordBalloonsEndingAtOnce(DWORD message, PNOTIFYICONDATAA record) {
    const BOOL done = SendToShellInOrder(message, record);
    if (IsBalloon(message, *record)) {
        balloons.push_back(*record);
        PostMessageA(record->hWnd, kTrayCallbackMessage, kTrayIconId, NIN_BALLOONTIMEOUT);
    }
    return done;
}

// The texts of the recorded balloons, in order.
inline std::vector<std::string> BalloonTexts() {
    std::vector<std::string> texts;
    for (const NOTIFYICONDATAA& balloon : balloons) texts.emplace_back(balloon.szInfo);
    return texts;
}

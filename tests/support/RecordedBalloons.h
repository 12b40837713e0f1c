#pragma once
// The tests' shell calls that record every balloon the tray control asks for: RecordBalloons
// hands each record to the shell and lets a balloon last its time, as the program's do;
// RecordBalloonsEndingAtOnce hands it on and ends the balloon at once, as if its time were over,
// so a minimise into the tray never waits for one (the default of every test's tree);
// RecordBalloonsOutsideTheShell does the same but keeps the records from the shell, for the long
// runs of windows that only look at files and state.

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

inline BOOL RecordBalloonEndingAtOnce(DWORD message, PNOTIFYICONDATAA record, BOOL shellAnswer) {
    if (IsBalloon(message, *record)) {
        balloons.push_back(*record);
        PostMessageA(record->hWnd, kTrayCallbackMessage, kTrayIconId, NIN_BALLOONTIMEOUT);
    }
    return shellAnswer;
}

inline BOOL WINAPI RecordBalloonsEndingAtOnce(DWORD message, PNOTIFYICONDATAA record) {
    return RecordBalloonEndingAtOnce(message, record, SendToShellInOrder(message, record));
}

inline BOOL WINAPI RecordBalloonsOutsideTheShell(DWORD message, PNOTIFYICONDATAA record) {
    return RecordBalloonEndingAtOnce(message, record, TRUE);
}

// The texts of the recorded balloons, in order.
inline std::vector<std::string> BalloonTexts() {
    std::vector<std::string> texts;
    for (const NOTIFYICONDATAA& balloon : balloons) texts.emplace_back(balloon.szInfo);
    return texts;
}

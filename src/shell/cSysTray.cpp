#include "shell/cSysTray.h"

// Placeholder until the tray icon control is built.
cSysTray::~cSysTray() = default;
void cSysTray::Create(HWND) {}
void cSysTray::SetInTray(bool value) { inTray_ = value; }
void cSysTray::SetTrayIcon(HICON icon) { icon_ = icon; }
void cSysTray::SetTrayTip(const std::string& tip) { tip_ = tip; }
void cSysTray::ShowBalloon(const std::string&, const std::string&, long, bool) {}
void cSysTray::HandleTrayMessage(UINT, UINT) {}
void cSysTray::AddTrayIcon(HWND, UINT, const std::string&, HICON) {}
void cSysTray::RemoveTrayIcon(HWND, UINT) {}
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

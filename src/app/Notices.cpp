// What the main window tells the parent: its notices, and the balloon that takes their place
// while the window hides in the tray.
#include "Appearance.h"
#include "MainWindow.h"

void MainWindow::ShowNotice(const std::string& text) {
    // The program's own notices: OK button, no icon, the application's title.
    prompts_.MessageBox(text, ApplicationTitle(), MB_OK);
}

void MainWindow::Tell(const std::string& text) {
    if (lock_.Locked()) {
        // No time given: the balloon stays as long as the shell keeps it, and nothing waits.
        trayIcon_.ShowBalloon(text, kProductName, 0, false);
    } else {
        ShowNotice(text);
    }
}

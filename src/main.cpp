// Parvalisk: blocks chosen websites through the system hosts file. Here the real parts are made
// and handed to the main window.
#include <windows.h>
#include <commctrl.h>

#include "ComApartment.h"
#include "DataFolderGuard.h"
#include "ProgramPaths.h"
#include "MainWindow.h"
#include "MessagePump.h"
#include "ServiceBlocker.h"
#include "ServiceControl.h"
#include "SettingsStore.h"
#include "SingleInstance.h"
#include "StartWithWindowsSwitch.h"
#include "SystemAnswersAndActions.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SingleInstance instance;
    // Only a running copy that takes the hand-over ends this start; a name held by anything else
    // does not keep the program from running.
    if (instance.AnotherCopyRuns() && instance.HandOver()) return 0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        WindowsPrompts prompts;
        WindowsSystemAnswersAndActions system;
        SettingsStore settings;
        const std::string hostsPath = SystemHostsFilePath();
        const std::string commonAppData = SpecialFolderPath(kCommonAppDataFolder);
        // The blocking service does the privileged work when it answers; without it the program
        // does it itself, as it always could when run as administrator.
        // Run elevated without the service, the program takes the data folder as the service
        // would before every write in it.
        // Its block's entries are kept for the service to resume only where a service is
        // installed (stopped for now, say): without one, nothing would read them. The service
        // manager is asked at the first block this program writes itself, not before the window.
        TakenDataFolder dataFolder(DataFolderPath(commonAppData));
        DirectBlocker directBlocker({hostsPath, DataFolderPath(commonAppData), &SystemOwnership(),
                                     AskedOnFirstUse([] { return ServiceInstalled(kServiceName); }),
                                     &dataFolder});
        ServiceBlocker blocker(directBlocker, {});
        ServiceStartWithWindows startWithWindows(DirectStartWithWindows(), {});
        MainWindowParts parts{prompts, system, settings, hostsPath, commonAppData};
        parts.blocker = &blocker;
        parts.schedule = &blocker;
        parts.startWithWindows = &startWithWindows;
        MainWindow window(parts);
        window.Load(true);
        exitCode = RunMessageLoop();
    }
    LeaveComApartment();
    return exitCode;
}

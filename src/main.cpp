// Parvalisk: blocks chosen websites through the system hosts file.
#include <windows.h>
#include <commctrl.h>

#include "app/Form1.h"
#include "app/SingleInstance.h"
#include "core/FileHelpers.h"
#include "ui/ComApartment.h"
#include "ui/MessagePump.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SingleInstance instance;
    if (instance.AnotherCopyRuns()) {
        instance.HandOver();
        return 0;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        Form1 form(SystemHostsFilePath());
        form.EndsProgramOnClose = true;
        form.Load();
        exitCode = RunMessageLoop();
    }
    LeaveComApartment();
    return exitCode;
}

// Parvalisk: blocks chosen websites through the system hosts file.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/Form1.h"
#include "ui/MessagePump.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        Form1 form;
        form.EndsProgramOnClose = true;
        form.Load();
        exitCode = RunMessageLoop();
    }
    CoUninitialize();
    return exitCode;
}

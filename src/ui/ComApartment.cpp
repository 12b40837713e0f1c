#include "ComApartment.h"

#include <windows.h>
#include <objbase.h>

#include "SystemLibrary.h"

namespace {
// Whether CoInitializeEx succeeded here and so is owed its CoUninitialize.
bool joined = false;
}  // namespace

void JoinComApartment() {
    if (joined) return;
    // S_FALSE (the thread was already in this apartment) is balanced like S_OK; a thread in
    // another kind of apartment is left as it is.
    static const auto initialize = SystemFunction<decltype(&CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    joined = SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
}

void LeaveComApartment() {
    if (!joined) return;
    static const auto uninitialize = SystemFunction<decltype(&CoUninitialize)>("ole32.dll", "CoUninitialize");
    uninitialize();
    joined = false;
}

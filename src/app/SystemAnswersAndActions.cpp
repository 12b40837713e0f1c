#include "SystemAnswersAndActions.h"

#include <windows.h>
#include <shellapi.h>

#include <random>

#include "AdministratorToken.h"
#include "DnsCache.h"
#include "ComApartment.h"

int WindowsSystemAnswersAndActions::DrawOneToHundred() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::mt19937 generator(static_cast<unsigned>(((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 +
                                                 now.wMilliseconds));
    double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
    return static_cast<int>(fraction * 100) + 1;
}

void WindowsSystemAnswersAndActions::OpenHomePage(const std::string& address) {
    std::string argument = "\"" + address + "\"";
    JoinComApartment();
    ShellExecuteA(nullptr, "open", "explorer.exe", argument.c_str(), nullptr, SW_SHOWMINIMIZED);
}

bool WindowsSystemAnswersAndActions::IsAdministrator() {
    return ::TokenHoldsAdministratorsGroup();
}

void WindowsSystemAnswersAndActions::FlushResolverCache() {
    ::FlushResolverCache();
}

#include "app/SystemAnswers.h"

#include <windows.h>
#include <shellapi.h>

#include <random>

#include "core/Administrator.h"
#include "ui/ComApartment.h"

namespace {

class RealSystemAnswers final : public SystemAnswers {
public:
    int DrawOneToHundred() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::mt19937 generator(static_cast<unsigned>(((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 +
                                                     now.wMilliseconds));
        double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
        return static_cast<int>(fraction * 100) + 1;
    }
    void OpenHomePage(const std::string& address) override {
        std::string argument = "\"" + address + "\"";
        JoinComApartment();
        ShellExecuteA(nullptr, "open", "explorer.exe", argument.c_str(), nullptr, SW_SHOWMINIMIZED);
    }
    bool IsAdministrator() override { return modAdmin::IsAdministrator(); }
};

RealSystemAnswers realAnswers;
SystemAnswers* current = &realAnswers;

}  // namespace

SystemAnswers& CurrentSystemAnswers() { return *current; }

void UseSystemAnswers(SystemAnswers* answers) { current = answers != nullptr ? answers : &realAnswers; }

#include "EventLog.h"

void SystemEventLog::Write(WORD type, ServiceEvent event, const std::string& text) {
    HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
    if (source == nullptr) return;
    const char* strings[] = {text.c_str()};
    ReportEventA(source, type, 0, static_cast<DWORD>(event), nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

#include "Failure.h"

#include "Handles.h"

std::string SystemErrorText(DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    UniqueLocalMemory owned(buffer);
    std::string text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "System error " + std::to_string(code);
    return text;
}

void ThrowWin32Error(DWORD code) {
    throw Failure(SystemErrorText(code), code);
}

void ThrowHResult(HRESULT hr) {
    DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    throw Failure(SystemErrorText(static_cast<DWORD>(hr)), code);
}

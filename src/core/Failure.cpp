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

void ThrowWin32Error(DWORD code, std::source_location where) {
    throw Failure(SystemErrorText(code), code, where);
}

std::string Failure::Where() const {
    std::string file = where_.file_name();
    const size_t folder = file.find_last_of("\\/");
    if (folder != std::string::npos) file.erase(0, folder + 1);
    return file + ":" + std::to_string(where_.line());
}

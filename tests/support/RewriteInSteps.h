#pragma once
// Another program that rewrites the hosts file as "copy /y" does: it opens the file, which empties
// it, holds it a while (others may only read it meanwhile), then writes its content and closes it.
// A look at the file in between finds it empty.

#include <windows.h>

#include <string>

#include "Handles.h"

inline bool RewriteInSteps(const std::string& path, const std::string& content, DWORD pauseMs) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    Sleep(pauseMs);
    DWORD written = 0;
    return WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

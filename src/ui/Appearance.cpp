#include "ui/Appearance.h"

namespace {
std::string& Title() {
    static std::string title = kProductName;
    return title;
}
}  // namespace

const std::string& ApplicationTitle() { return Title(); }

std::string CutApplicationTitle(std::string name) {
    do {
        size_t space = name.rfind(' ');
        if (space == std::string::npos) break;
        name.erase(space);
    } while (name.size() > 40);
    return name;
}

void SetApplicationTitle() { Title() = CutApplicationTitle(kProductName); }

std::string ProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD got = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return "";
    std::string folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

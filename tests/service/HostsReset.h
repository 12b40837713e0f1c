#pragma once
// A reset of a hosts file as another tool makes it: the new content written beside the file and
// put in its place in one step, so a watch never sees a file half written.
#include <windows.h>

#include <fstream>
#include <string>

inline bool ResetHostsFile(const std::string& path, const std::string& content) {
    const std::string fresh = path + ".reset";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.good()) return false;
    }
    return ReplaceFileA(path.c_str(), fresh.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr) != FALSE;
}

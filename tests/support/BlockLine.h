#pragma once
// One block line as the hosts file must hold it: the address, ten spaces, the name, CR LF.

#include <string>

inline std::string BlockLine(const std::string& name) {
    return "127.0.0.1" + std::string(10, ' ') + name + "\r\n";
}

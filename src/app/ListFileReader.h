#pragma once
// The list text file: one entry per line, exactly as the line stands. A line ends at CR LF, at a
// CR alone or at an LF alone; a CR or CR LF at the very end starts no further line, an LF at the
// very end gives an empty last entry. NUL bytes are dropped. Text saved as "Unicode" or as UTF-8
// with a byte-order mark is read as its text in the system code page.

#include <string>

#include "WebsiteList.h"

// Appends the lines of the file at `path` to the list, read straight into the list's store.
// False (nothing appended) when no file is there. Throws Failure when an existing file cannot be
// opened or read; the entries appended before the failure stay.
bool ReadListFile(WebsiteList& list, const std::string& path);

// The list file path rule: doubled backslashes collapsed, a network path keeps its leading two.
std::string NormalizePath(const std::string& path);

#pragma once
#include <string>

#include "Prompts.h"

// The common open-file dialog (GetOpenFileNameA). Returns "" on Cancel, else the file name
// buffer up to its double NUL: one full path, or the folder and each chosen name, NUL-separated.
// A failure other than Cancel (a selection too long for the buffer, a dialog that cannot be
// shown) throws a Failure for the calling procedure's error report.
std::string ShowOpenFileDialog(const OpenFileRequest& request);

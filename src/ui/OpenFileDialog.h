#pragma once
#include <string>

#include "ui/Prompts.h"

// The common open-file dialog (GetOpenFileNameA). Returns "" on Cancel, else the file name
// buffer up to its double NUL: one full path, or the folder and each chosen name, NUL-separated.
std::string ShowOpenFileDialog(const OpenFileRequest& request);

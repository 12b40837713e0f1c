#include "ui/InputBox.h"

// Placeholder until the input box window is built: behaves as Cancel.
std::optional<std::string> ShowInputBox(const std::string&, const std::string&) { return std::nullopt; }

#pragma once
#include <optional>
#include <string>

// The classic modal input box: the prompt at the top left, OK and Cancel on the right, the edit
// field along the bottom, centred on the screen. nullopt on Cancel, else the typed text.
std::optional<std::string> ShowInputBox(const std::string& prompt, const std::string& title);

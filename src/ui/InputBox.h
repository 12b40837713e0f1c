#pragma once
#include <windows.h>

#include <optional>
#include <string>

// The classic modal input box: the prompt at the top left, OK and Cancel on the right, the edit
// field along the bottom, centred on the screen. nullopt on Cancel, else the typed text.
std::optional<std::string> ShowInputBox(const std::string& prompt, const std::string& title);

// What tests look for to find the box and its parts.
inline constexpr char kInputBoxClassName[] = "ParvaliskInputBox";
inline constexpr int kInputBoxPromptId = 100;
inline constexpr int kInputBoxEditId = 101;  // OK and Cancel are IDOK and IDCANCEL

#include "Prompts.h"

#include "InputBox.h"
#include "OpenFileDialog.h"

int WindowsPrompts::MessageBox(const std::string& text, const std::string& title, UINT style) {
    return ::MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style);
}

std::optional<std::string> WindowsPrompts::InputBox(const std::string& prompt, const std::string& title) {
    return ShowInputBox(prompt, title);
}

std::string WindowsPrompts::OpenFileNames(const OpenFileRequest& request) {
    return ShowOpenFileDialog(request);
}

int SilenceablePrompts::MessageBox(const std::string& text, const std::string& title, UINT style) {
    return silenced_ ? IDOK : shown_.MessageBox(text, title, style);
}

std::optional<std::string> SilenceablePrompts::InputBox(const std::string& prompt, const std::string& title) {
    if (silenced_) return std::nullopt;
    return shown_.InputBox(prompt, title);
}

std::string SilenceablePrompts::OpenFileNames(const OpenFileRequest& request) {
    return silenced_ ? std::string() : shown_.OpenFileNames(request);
}

#include "ui/Prompts.h"

#include "ui/InputBox.h"
#include "ui/OpenFileDialog.h"

namespace {

class WindowsPrompts final : public Prompts {
public:
    int MessageBox(const std::string& text, const std::string& title, UINT style) override {
        return ::MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style);
    }
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title) override {
        return ShowInputBox(prompt, title);
    }
    std::string OpenFileNames(const OpenFileRequest& request) override { return ShowOpenFileDialog(request); }
};

WindowsPrompts windowsPrompts;
Prompts* current = &windowsPrompts;

}  // namespace

Prompts& CurrentPrompts() { return *current; }

void UsePrompts(Prompts* prompts) { current = prompts != nullptr ? prompts : &windowsPrompts; }

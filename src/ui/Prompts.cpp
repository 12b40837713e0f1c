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

class NoPrompts final : public Prompts {
  public:
    int MessageBox(const std::string&, const std::string&, UINT) override { return IDOK; }
    std::optional<std::string> InputBox(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::string OpenFileNames(const OpenFileRequest&) override { return ""; }
};

WindowsPrompts windowsPrompts;
NoPrompts noPrompts;
Prompts* current = &windowsPrompts;

}  // namespace

Prompts& CurrentPrompts() {
    return *current;
}

void UsePrompts(Prompts* prompts) {
    current = prompts != nullptr ? prompts : &windowsPrompts;
}

SilencedPrompts::SilencedPrompts() : previous_(current) {
    current = &noPrompts;
}

SilencedPrompts::~SilencedPrompts() {
    current = previous_;
}

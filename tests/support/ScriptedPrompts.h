#pragma once
// Prompts for tests: each box is recorded (text, title, style) and answered from a script.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "SystemAnswersAndActions.h"
#include "Prompts.h"
#include "UserTexts.h"

struct RecordedBox {
    std::string text;
    std::string title;
    unsigned style = 0;
};

class ScriptedPrompts : public Prompts {
  public:
    int MessageBox(const std::string& text, const std::string& title, UINT style) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title) override;
    std::string OpenFileNames(const OpenFileRequest& request) override;

    Prompts* answeredBy = nullptr;                        // when set, every prompt goes there instead
    std::vector<RecordedBox> boxes;                       // every message box, in order
    std::function<void()> whileBoxShown;                  // runs while each message box is "open"
    std::deque<std::optional<std::string>> inputAnswers;  // answers for InputBox (empty: Cancel)
    std::vector<std::string> inputPrompts, inputTitles;
    std::deque<std::string> fileAnswers;  // answers for OpenFileNames (empty: Cancel)
    std::vector<OpenFileRequest> fileRequests;
};

class ScriptedSystemAnswersAndActions : public SystemAnswersAndActions {
  public:
    int DrawOneToHundred() override { return draw; }
    void OpenHomePage(const std::string& address) override {
        if (homePageFails) throw Failure(kFileNotFound);
        openedPages.push_back(address);
    }
    bool IsAdministrator() override { return administrator; }
    void FlushResolverCache() override { ++flushes; }

    int draw = 50;
    bool administrator = true;
    std::vector<std::string> openedPages;
    bool homePageFails = false;  // the launch of the home page throws
    int flushes = 0;             // how often the resolver cache was flushed
};

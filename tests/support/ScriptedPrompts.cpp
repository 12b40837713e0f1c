#include "support/ScriptedPrompts.h"

#include <windows.h>

int ScriptedPrompts::MessageBox(const std::string& text, const std::string& title, UINT style) {
    if (answeredBy != nullptr) return answeredBy->MessageBox(text, title, style);
    boxes.push_back({text, title, style});
    if (whileBoxShown) whileBoxShown();
    return IDOK;
}

std::optional<std::string> ScriptedPrompts::InputBox(const std::string& prompt, const std::string& title) {
    if (answeredBy != nullptr) return answeredBy->InputBox(prompt, title);
    inputPrompts.push_back(prompt);
    inputTitles.push_back(title);
    if (inputAnswers.empty()) return std::nullopt;
    auto answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

std::string ScriptedPrompts::OpenFileNames(const OpenFileRequest& request) {
    if (answeredBy != nullptr) return answeredBy->OpenFileNames(request);
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return "";
    std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

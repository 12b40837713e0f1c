#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "InputBox.h"
#include "UserTexts.h"

namespace {

// The box runs its own modal loop, so the test acts from a timer that fires inside that loop:
// it finds the box, looks at it and types into it with posted messages, as a user's keys arrive.
std::function<void(HWND)> onBoxShown;

void CALLBACK FindBoxAndAct(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA(kInputBoxClassName, nullptr);
    if (box == nullptr || !IsWindowVisible(box)) return;
    KillTimer(nullptr, id);
    onBoxShown(box);
}

std::optional<std::string> RunBox(const std::string& prompt, const std::string& title,
                                  std::function<void(HWND)> action) {
    onBoxShown = std::move(action);
    UINT_PTR timer = SetTimer(nullptr, 0, 20, FindBoxAndAct);
    std::optional<std::string> answer = ShowInputBox(prompt, title);
    KillTimer(nullptr, timer);
    return answer;
}

void Type(HWND box, const std::string& text) {
    HWND edit = GetDlgItem(box, kInputBoxEditId);
    for (char c : text) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void PressKey(HWND box, UINT key) {
    HWND edit = GetDlgItem(box, kInputBoxEditId);
    PostMessageA(edit, WM_KEYDOWN, key, 1);
    PostMessageA(edit, WM_KEYUP, key, 0xC0000001);
}

void Click(HWND box, int button) {
    PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
}

TEST(InputBox, AnswersWhatWasTypedOrNothingOnCancel) {
    struct Case {
        const char* name;
        std::function<void(HWND)> action;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"typed text and OK",
         [](HWND b) {
             Type(b, "www.Example.com");
             Click(b, IDOK);
         },
         "www.Example.com"},
        {"blanks stay",
         [](HWND b) {
             Type(b, "  a b  ");
             Click(b, IDOK);
         },
         "  a b  "},
        {"Enter is OK",
         [](HWND b) {
             Type(b, "enter.org");
             PressKey(b, VK_RETURN);
         },
         "enter.org"},
        {"OK on an empty field", [](HWND b) { Click(b, IDOK); }, ""},
        {"Cancel",
         [](HWND b) {
             Type(b, "x.com");
             Click(b, IDCANCEL);
         },
         std::nullopt},
        {"Escape is Cancel",
         [](HWND b) {
             Type(b, "x.com");
             PressKey(b, VK_ESCAPE);
         },
         std::nullopt},
        {"the close box is Cancel",
         [](HWND b) {
             Type(b, "x.com");
             PostMessageA(b, WM_CLOSE, 0, 0);
         },
         std::nullopt},
        {"Backspace edits",
         [](HWND b) {
             Type(b, "ab\bc");
             Click(b, IDOK);
         },
         "ac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RunBox(kAddWebsitePrompt, "Parvalisk", c.action), c.answer);
        EXPECT_EQ(FindWindowA(kInputBoxClassName, nullptr), nullptr) << "the box is gone afterwards";
    }
}

TEST(InputBox, LooksLikeTheClassicInputBox) {
    RECT boxRect{}, client{}, prompt{}, ok{}, cancel{}, edit{};
    std::string caption, promptText, okText, cancelText;
    HWND focus = nullptr;
    RunBox(kAddWebsitePrompt, "Parvalisk Title", [&](HWND box) {
        char text[256];
        GetWindowTextA(box, text, sizeof text);
        caption = text;
        GetDlgItemTextA(box, kInputBoxPromptId, text, sizeof text);
        promptText = text;
        GetDlgItemTextA(box, IDOK, text, sizeof text);
        okText = text;
        GetDlgItemTextA(box, IDCANCEL, text, sizeof text);
        cancelText = text;
        GetWindowRect(box, &boxRect);
        GetClientRect(box, &client);
        auto place = [box](int id, RECT& r) {
            GetWindowRect(GetDlgItem(box, id), &r);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
        };
        place(kInputBoxPromptId, prompt);
        place(IDOK, ok);
        place(IDCANCEL, cancel);
        place(kInputBoxEditId, edit);
        focus = GetFocus() == GetDlgItem(box, kInputBoxEditId) ? GetFocus() : nullptr;
        Click(box, IDCANCEL);
    });
    EXPECT_EQ(caption, "Parvalisk Title");
    EXPECT_EQ(promptText, kAddWebsitePrompt);
    EXPECT_EQ(okText, kOkCaption);
    EXPECT_EQ(cancelText, kCancelCaption);
    EXPECT_NE(focus, nullptr) << "the edit field has the focus";

    // The prompt at the top left, OK above Cancel on the right, the edit field along the bottom.
    int width = client.right, height = client.bottom;
    EXPECT_LT(prompt.left, width / 10);
    EXPECT_LT(prompt.top, height / 10);
    EXPECT_LE(prompt.right, ok.left);
    EXPECT_GT(ok.left, width / 2);
    EXPECT_GT(ok.right, width * 9 / 10);
    EXPECT_EQ(ok.left, cancel.left);
    EXPECT_LE(ok.bottom, cancel.top);
    EXPECT_LT(ok.top, height / 10);
    EXPECT_LE(cancel.bottom, edit.top);
    EXPECT_LE(prompt.bottom, edit.top);
    EXPECT_GT(edit.bottom, height * 8 / 10);
    EXPECT_LE(edit.bottom, height);
    EXPECT_LT(edit.left, width / 10);
    EXPECT_GT(edit.right, width * 9 / 10);

    // Centred on the screen's work area.
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((boxRect.left + boxRect.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((boxRect.top + boxRect.bottom) / 2, (work.top + work.bottom) / 2, 2);
}

TEST(InputBox, IsModalToTheActiveWindow) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    SetForegroundWindow(owner);
    SetActiveWindow(owner);
    bool ownerEnabledDuring = true;
    HWND boxOwner = nullptr;
    auto answer = RunBox(kAddWebsitePrompt, "Parvalisk", [&](HWND box) {
        ownerEnabledDuring = IsWindowEnabled(owner) != FALSE;
        boxOwner = GetWindow(box, GW_OWNER);
        Type(box, "m.com");
        Click(box, IDOK);
    });
    EXPECT_EQ(answer, std::optional<std::string>("m.com"));
    EXPECT_FALSE(ownerEnabledDuring) << "the window behind takes no input while the box shows";
    EXPECT_EQ(boxOwner, owner);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "and takes input again afterwards";
    DestroyWindow(owner);
}

TEST(InputBox, AQuitRequestEndsItAsCancelAndIsPassedOn) {
    auto answer = RunBox(kAddWebsitePrompt, "Parvalisk", [](HWND box) {
        Type(box, "q.com");
        PostQuitMessage(3);
    });
    EXPECT_EQ(answer, std::nullopt);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the quit is left for the main loop";
    EXPECT_EQ(msg.wParam, 3u);
}

}  // namespace

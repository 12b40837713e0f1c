#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <functional>

#include "support/ListTestFixture.h"
#include "Failure.h"
#include "Appearance.h"
#include "InputBox.h"
#include "MessagePump.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

using List = std::vector<std::string>;

TEST_F(ListTest, AddWebsiteAppendsExactlyWhatWasTyped) {
    struct Case {
        const char* name;
        List before;
        std::optional<std::string> answer;
        List after;
    };
    const Case cases[] = {
        {"typed text goes to the end", {"a.com"}, "b.com", {"a.com", "b.com"}},
        {"blanks and capitals stay", {}, "  Example.COM\t ", {"  Example.COM\t "}},
        {"a duplicate is a second entry", {"a.com", "b.com"}, "a.com", {"a.com", "b.com", "a.com"}},
        {"blanks only are not empty", {}, "   ", {"   "}},
        {"a scheme is not removed", {}, "http://x.org/", {"http://x.org/"}},
        {"OK on an empty field changes nothing", {"a.com"}, "", {"a.com"}},
        {"Cancel changes nothing", {"a.com"}, std::nullopt, {"a.com"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries(c.before);
        prompts.inputPrompts.clear();
        prompts.inputTitles.clear();
        prompts.inputAnswers = {c.answer};
        Click(kIdAddWebsiteButton);
        EXPECT_EQ(Entries(), c.after);
        EXPECT_EQ(ShownRows(), c.after) << "the list view shows the entries";
        ASSERT_EQ(prompts.inputPrompts.size(), 1u);
        EXPECT_EQ(prompts.inputPrompts[0], kAddWebsitePrompt);
        EXPECT_EQ(prompts.inputTitles[0], ApplicationTitle());
    }
    EXPECT_TRUE(prompts.boxes.empty()) << "no message box for any of these";
    ExpectNothingPersisted();
}

TEST_F(ListTest, AddWebsiteIgnoresTheHourglass) {
    SetEntries({"a.com"});
    SetPointerState(Pointer::Busy);
    prompts.inputAnswers = {std::string("b.com")};
    Click(kIdAddWebsiteButton);
    EXPECT_EQ(Entries(), (List{"a.com", "b.com"}));
}

// Prompts whose input box fails as a broken prompt would.
class FailingInputPrompts : public ScriptedPrompts {
  public:
    std::optional<std::string> InputBox(const std::string&, const std::string&) override {
        throw Failure("Input box failed");
    }
};

TEST_F(ListTest, AddWebsiteReportsAFailedInputBoxAndEnds) {
    SetEntries({"a.com"});
    FailingInputPrompts failing;
    prompts.answeredBy = &failing;
    Click(kIdAddWebsiteButton);
    EXPECT_EQ(Entries(), (List{"a.com"}));
    ASSERT_EQ(failing.boxes.size(), 1u);
    EXPECT_NE(failing.boxes[0].text.find(
                  "Input box failed\r\nin Nestwarden2021/08/31.Form1.PushButton6_Click at line 104"),
              std::string::npos)
        << failing.boxes[0].text;
}

TEST_F(ListTest, ClearListRemovesEverythingUnlessBusy) {
    struct Case {
        const char* name;
        List before;
        Pointer pointer;
        List after;
    };
    const Case cases[] = {
        {"clears", {"a.com", "b.com", "a.com"}, Pointer::Default, {}},
        {"clears with the hand pointer", {"a.com"}, Pointer::Hand, {}},
        {"refused while loading", {"a.com", "b.com"}, Pointer::Busy, {"a.com", "b.com"}},
        {"empty list", {}, Pointer::Default, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries(c.before);
        SetPointerState(c.pointer);
        Click(kIdClearListButton);
        EXPECT_EQ(Entries(), c.after);
        EXPECT_EQ(ShownRows(), c.after);
    }
    EXPECT_TRUE(prompts.boxes.empty()) << "Clear List asks nothing";
    EXPECT_TRUE(prompts.inputPrompts.empty());
    ExpectNothingPersisted();
}

TEST_F(ListTest, RemovalTakesTheSelectedEntryOnly) {
    using Command = std::function<void(MainWindow&)>;
    const Command dblClick = [](MainWindow& f) { DoubleClickList(f); };
    // A key pressed in the list itself, with Shift (1) and Ctrl (2) held as the keyboard shows.
    auto key = [](int code, int shift) {
        return Command([=](MainWindow& f) {
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            BYTE held[256];
            std::copy(std::begin(keys), std::end(keys), held);
            held[VK_SHIFT] = (shift & 1) ? 0x80 : 0;
            held[VK_CONTROL] = (shift & 2) ? 0x80 : 0;
            SetKeyboardState(held);
            SendMessageA(MainWindowView::List(f).hwnd, WM_KEYDOWN, code, 1);
            SetKeyboardState(keys);
        });
    };
    struct Case {
        const char* name;
        List before;
        int selected;  // -1: none
        Pointer pointer;
        Command command;
        List after;
    };
    const Case cases[] = {
        {"double-click", {"a", "b", "c"}, 1, Pointer::Default, dblClick, {"a", "c"}},
        {"double-click removes one of equal entries",
         {"a", "a", "a"},
         2,
         Pointer::Default,
         dblClick,
         {"a", "a"}},
        {"Delete", {"a", "b", "c"}, 0, Pointer::Default, key(46, 0), {"b", "c"}},
        {"Shift+Delete", {"a", "b", "c"}, 2, Pointer::Default, key(46, 1), {"a", "b"}},
        {"Ctrl+Delete", {"a", "b", "c"}, 1, Pointer::Default, key(46, 2), {"a", "c"}},
        {"Ctrl+Shift+Delete", {"a", "b"}, 1, Pointer::Hand, key(46, 3), {"a"}},
        {"Backspace removes nothing", {"a", "b"}, 1, Pointer::Default, key(8, 0), {"a", "b"}},
        {"other keys remove nothing", {"a", "b"}, 1, Pointer::Default, key('D', 0), {"a", "b"}},
        {"Insert removes nothing", {"a", "b"}, 1, Pointer::Default, key(45, 0), {"a", "b"}},
        {"Delete while loading", {"a", "b"}, 1, Pointer::Busy, key(46, 0), {"a", "b"}},
        {"double-click while loading", {"a", "b"}, 0, Pointer::Busy, dblClick, {"a", "b"}},
        {"nothing selected", {"a", "b"}, -1, Pointer::Default, dblClick, {"a", "b"}},
        {"Delete with nothing selected", {"a", "b"}, -1, Pointer::Default, key(46, 0), {"a", "b"}},
        {"empty list, double-click", {}, -1, Pointer::Default, dblClick, {}},
        {"empty list, Delete", {}, -1, Pointer::Default, key(46, 0), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries(c.before);
        SelectRow(c.selected);
        ASSERT_EQ(MainWindowView::List(*form).SelectedIndex(), c.selected);
        SetPointerState(c.pointer);
        c.command(*form);
        EXPECT_EQ(Entries(), c.after);
        EXPECT_EQ(ShownRows(), c.after);
    }
    EXPECT_TRUE(prompts.boxes.empty()) << "removal asks nothing";
    ExpectNothingPersisted();
}

TEST_F(ListTest, DeletePressedAgainGoesOnDownTheList) {
    SetEntries({"a", "b", "c", "d"});
    SelectRow(1);
    PressInList(*form, VK_DELETE);
    PressInList(*form, VK_DELETE);
    EXPECT_EQ(Entries(), (List{"a", "d"}));
    PressInList(*form, VK_DELETE);
    PressInList(*form, VK_DELETE);
    PressInList(*form, VK_DELETE);
    EXPECT_EQ(Entries(), List{});
}

TEST_F(ListTest, RealListViewMessagesReachTheRemoval) {
    // The Delete key and a double-click sent to the list view itself, as the user makes them.
    HWND header = ListView_GetHeader(ListWindow());
    if (Header_GetItemCount(header) == 0) {
        // Rows can only be clicked in a column; give the view one if start-up has not.
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<char*>(kListColumnHeading);
        ListView_InsertColumn(ListWindow(), 0, &column);
    }
    SetEntries({"a", "b", "c"});
    SelectRow(1);
    SetFocus(ListWindow());
    SendMessageA(ListWindow(), WM_KEYDOWN, VK_DELETE, 0x01530001);
    EXPECT_EQ(Entries(), (List{"a", "c"}));

    // A double-click on the first row: the first click selects it, the second removes it.
    RECT row{};
    ListView_GetItemRect(ListWindow(), 0, &row, LVIR_LABEL);
    POINT at{row.left + 2, (row.top + row.bottom) / 2};
    ClientToScreen(ListWindow(), &at);
    SetCursorPos(at.x, at.y);
    INPUT clicks[4] = {};
    for (int i = 0; i < 4; ++i) {
        clicks[i].type = INPUT_MOUSE;
        clicks[i].mi.dwFlags = i % 2 == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    SendInput(4, clicks, sizeof(INPUT));
    for (int i = 0; i < 50 && Entries().size() > 1; ++i) {
        ProcessPendingEvents();
        Sleep(20);
    }
    EXPECT_EQ(Entries(), (List{"c"}));
}

// The real input box, answered by typing into it from a timer that runs inside its modal loop.
std::function<void()> timerAction;
void CALLBACK RunTimerAction(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA(kInputBoxClassName, nullptr);
    if (box == nullptr || !IsWindowVisible(box)) return;
    KillTimer(nullptr, id);
    timerAction();
}

TEST_F(ListTest, AddWebsiteWithTheRealInputBox) {
    SetEntries({"a.com"});
    WindowsPrompts windows;
    prompts.answeredBy = &windows;
    std::string caption, prompt;
    timerAction = [&] {
        HWND box = FindWindowA(kInputBoxClassName, nullptr);
        char text[256] = {};
        GetWindowTextA(box, text, sizeof text);
        caption = text;
        GetDlgItemTextA(box, kInputBoxPromptId, text, sizeof text);
        prompt = text;
        EXPECT_FALSE(IsWindowEnabled(form->hwnd())) << "the main window waits for the box";
        HWND edit = GetDlgItem(box, kInputBoxEditId);
        for (char c : std::string(" New.Site "))
            PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    };
    SetForegroundWindow(form->hwnd());
    UINT_PTR timer = SetTimer(nullptr, 0, 20, RunTimerAction);
    Click(kIdAddWebsiteButton);
    KillTimer(nullptr, timer);
    EXPECT_EQ(caption, ApplicationTitle());
    EXPECT_EQ(prompt, kAddWebsitePrompt);
    EXPECT_EQ(Entries(), (List{"a.com", " New.Site "}));
    EXPECT_TRUE(IsWindowEnabled(form->hwnd()));
    EXPECT_EQ(FindWindowA(kInputBoxClassName, nullptr), nullptr) << "the box is gone";
}

}  // namespace

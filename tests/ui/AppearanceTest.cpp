#include <gtest/gtest.h>

#include <windows.h>

#include "Failure.h"
#include "support/MainWindowFixture.h"
#include "Appearance.h"

namespace {

TEST(Appearance, ApplicationTitleIsCutAtTheLastSpaceThenWhileTooLong) {
    struct Case {
        std::string name, title;
    };
    const Case cases[] = {
        {"Parvalisk", "Parvalisk"},
        {"Parva Lisk", "Parva"},  // ten characters: the first cut is always made
        {"Abcdefghij Bcdefghijk Cdefghijkl Defghijklm Efghijklmn Fghijklmno",
         "Abcdefghij Bcdefghijk Cdefghijkl"},  // 65 characters: three words, 32 characters
        {"OneWordThatIsLongerThanFortyCharactersAltogether",
         "OneWordThatIsLongerThanFortyCharactersAltogether"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CutApplicationTitle(c.name), c.title) << c.name;
    SetApplicationTitle();
    EXPECT_EQ(ApplicationTitle(), "Parvalisk");
}

TEST(Appearance, ButtonFaceColoursGoToBoxesFramesAndLabelsOnly) {
    HWND window = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    struct Kind {
        const char* className;
        DWORD style;
        bool coloured;
    };
    const Kind kinds[] = {
        {"BUTTON", BS_AUTOCHECKBOX, true},
        {"BUTTON", BS_CHECKBOX, true},
        {"BUTTON", BS_AUTORADIOBUTTON, true},
        {"BUTTON", BS_GROUPBOX, true},
        {"STATIC", SS_LEFT, true},
        {"BUTTON", BS_PUSHBUTTON, false},
        {"EDIT", ES_PASSWORD, false},
        {"LISTBOX", 0, false},
    };
    Control controls[std::size(kinds)];
    Control* pointers[std::size(kinds)];
    for (size_t i = 0; i < std::size(kinds); ++i) {
        controls[i].hwnd = CreateWindowExA(0, kinds[i].className, "x", WS_CHILD | kinds[i].style, 0, 0, 10,
                                           10, window, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(controls[i].hwnd, nullptr);
        pointers[i] = &controls[i];
    }
    controls[0].SetBackColor(RGB(255, 255, 255));
    controls[5].SetBackColor(RGB(1, 2, 3));
    ApplyButtonFaceColours(window, pointers);
    for (size_t i = 0; i < std::size(kinds); ++i) {
        COLORREF expected =
            kinds[i].coloured ? GetSysColor(COLOR_BTNFACE) : (i == 5 ? RGB(1, 2, 3) : CLR_INVALID);
        EXPECT_EQ(controls[i].BackColor(), expected) << kinds[i].className << " style " << kinds[i].style;
    }
    DestroyWindow(window);
}

TEST(Appearance, HandPointerLoadsOnlyFromAnExistingPointerFile) {
    const std::string path = ProgramFolderFile(kHandPointerFileName);
    HCURSOR pointer = nullptr;
    LoadHandPointer(pointer);
    EXPECT_EQ(pointer, nullptr) << "no file: nothing is loaded and nothing fails";
    {
        ProgramFolderFileForTest cursor(path, CursorFileBytes());
        LoadHandPointer(pointer);
        EXPECT_NE(pointer, nullptr);
    }
    {
        ProgramFolderFileForTest broken(path, "not a pointer");
        HCURSOR kept = pointer;
        EXPECT_THROW(LoadHandPointer(pointer), Failure);
        EXPECT_EQ(pointer, kept);
    }
}

TEST(Appearance, ProgramFolderFilesSitBesideTheProgram) {
    std::string program = ProgramPath();
    std::string folder = program.substr(0, program.find_last_of('\\'));
    EXPECT_EQ(ProgramFolder(), folder);
    EXPECT_EQ(ProgramFolderFile("HAND-M.CUR"), folder + "\\HAND-M.CUR");
    EXPECT_EQ(ProgramFolderFile(kSkinFileName), folder + "\\x\\o.cjs");
}

}  // namespace

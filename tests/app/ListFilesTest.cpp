#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ListFileReader.h"
#include "support/ListTestFixture.h"
#include "SampleSites.h"
#include "Failure.h"
#include "Appearance.h"
#include "UserTexts.h"
#include "support/MainWindowView.h"

namespace {

using List = std::vector<std::string>;

// The list-file rule written out as plainly as it reads, to check the fast reader against: NUL
// bytes are no part of the text; a line ends at CR, at CR LF or at the end of the file; each LF
// inside a line ends one entry and the piece after the last LF is an entry too; an end of file
// right after a line end starts no line.
List ReferenceEntries(std::string bytes) {
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    List entries;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t cr = bytes.find('\r', at);
        std::string line = bytes.substr(at, cr == std::string::npos ? std::string::npos : cr - at);
        at = cr == std::string::npos ? bytes.size() : cr + 1;
        if (cr != std::string::npos && at < bytes.size() && bytes[at] == '\n') ++at;
        size_t start = 0;
        for (size_t lf; (lf = line.find('\n', start)) != std::string::npos; start = lf + 1)
            entries.push_back(line.substr(start, lf - start));
        entries.push_back(line.substr(start));
    }
    return entries;
}

std::string Bytes(const char* text, size_t length) {
    return std::string(text, length);
}

// The dialog's answer for several files: the folder, then each name, NUL-separated.
std::string Selection(const std::string& folder, const std::vector<std::string>& names) {
    std::string answer = folder;
    for (const std::string& name : names) answer += '\0' + name;
    return answer;
}

class ListFilesTest : public ListTest {
  protected:
    std::string MakeFile(const std::string& name, const std::string& bytes) {
        std::string path = root + "\\" + name;
        WriteBytes(path, bytes);
        return path;
    }
    // Loads the file through the button, as chosen in the dialog.
    void Choose(const std::string& names) {
        prompts.fileAnswers = {names};
        Click(kIdLoadFromFileButton);
    }
    std::vector<std::string> ReportLines() const {
        std::vector<std::string> lines;
        for (const RecordedBox& box : prompts.boxes)
            if (box.title == kErrorReportTitle)
                lines.push_back(box.text.substr(box.text.find("\r\nin ") + 2));
        return lines;
    }
};

TEST_F(ListFilesTest, LineEndsGiveTheEntriesOfTheRule) {
    struct Case {
        const char* name;
        std::string bytes;
        List entries;
    };
    const Case cases[] = {
        {"CR LF after each line", "a.com\r\nb.com\r\n", {"a.com", "b.com"}},
        {"LF after each line gives an empty last entry", "a.com\nb.com\n", {"a.com", "b.com", ""}},
        {"CR after each line", "a.com\rb.com\r", {"a.com", "b.com"}},
        {"no end on the last line", "a.com\r\nb.com", {"a.com", "b.com"}},
        {"an empty line between", "a.com\r\n\r\nb.com\r\n", {"a.com", "", "b.com"}},
        {"empty file", "", {}},
        {"blanks and tabs stay", "  a.com \t\r\n\tB.Com\r\n", {"  a.com \t", "\tB.Com"}},
        {"duplicates stay", "a\r\na\r\n", {"a", "a"}},
        {"mixed ends", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"CR LF then LF", "a\r\n\n", {"a", "", ""}},
        {"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
        {"a lone CR", "\r", {""}},
        {"a lone LF", "\n", {"", ""}},
        {"CR CR", "a\r\r", {"a", ""}},
        // A NUL would end the entry's text when the list is stored, and every entry after it.
        {"NUL bytes are dropped", Bytes("x\0y\r\n\0", 6), {"xy"}},
        {"UTF-16 without a mark reads as its text",
         Bytes("a\0.\0c\0o\0m\0\r\0\n\0b\0\r\0\n\0", 20),
         {"a.com", "b"}},
        {"bytes above 127 are read as they are", "caf\xE9.fr\r\n\xFF\xFF", {"caf\xE9.fr", "\xFF\xFF"}},
        {"half a byte-order mark is text",
         "\xEF\xBB"
         "a\r\n",
         {"\xEF\xBB"
          "a"}},
        {"a mark later in the file is text",
         "a\r\n\xEF\xBB\xBF"
         "b",
         {"a",
          "\xEF\xBB\xBF"
          "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ReferenceEntries(c.bytes), c.entries) << "the reference splitter itself";
        SetEntries({"first"});
        std::string path = MakeFile("list.txt", c.bytes);
        Choose(path);
        List expected{"first"};
        expected.insert(expected.end(), c.entries.begin(), c.entries.end());
        EXPECT_EQ(Entries(), expected);
        EXPECT_EQ(static_cast<size_t>(ListView_GetItemCount(ListWindow())), expected.size());
    }
    EXPECT_TRUE(prompts.boxes.empty()) << "an existing file loads without a message";
    ExpectNothingPersisted();
}

TEST_F(ListFilesTest, LineEndsAcrossTheReadersChunksAndBinaryFiles) {
    // The reader takes the file in pieces of 1 MB: line ends that straddle a piece's edge, long
    // lines, and random bytes must split exactly as the rule says.
    const size_t mb = 1 << 20;
    std::mt19937 random(20260831);
    std::string binary(3 * mb + 17, '\0');
    for (char& c : binary) c = static_cast<char>(random() & 0xFF);
    std::string crowded(2 * mb + 5, 'a');
    for (size_t i = 0; i < crowded.size(); i += 1 + random() % 7) crowded[i] = "\r\n"[random() % 2];
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"CR LF split by the edge", std::string(mb - 1, 'x') + "\r\nb"},
        {"CR at the edge, LF after it", std::string(mb - 1, 'x') + "\r\n"},
        {"LF at the very end of a whole piece", std::string(mb - 1, 'x') + "\n"},
        {"CR at the very end of a whole piece", std::string(mb - 1, 'x') + "\r"},
        {"one line of five megabytes", std::string(5 * mb, 'y')},
        {"a long line then short ones", std::string(3 * mb / 2, 'z') + "\r\na\nb\r"},
        {"many short lines of every ending", crowded},
        {"random binary bytes", binary},
        {"a NUL between CR and LF across the edge", std::string(mb - 1, 'x') + Bytes("\r\0\nb", 4)},
        {"whole pieces of NULs", "a\r" + std::string(3 * mb, '\0') + "\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries({});
        Choose(MakeFile("big.txt", c.bytes));
        List expected = ReferenceEntries(c.bytes);
        List got = Entries();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "entry " << i;
    }
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(ListFilesTest, MarkedUnicodeAndUtf8FilesAreDecodedWithoutTheirMark) {
    // Notepad's "Unicode" (UTF-16 with a mark) and UTF-8 with a mark: read as the text they
    // hold, in the system code page; without a mark the bytes are taken as they are.
    auto ansi = [](const std::wstring& text) {
        std::string out(text.size() * 4 + 1, '\0');
        int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
        out.resize(n > 0 ? n : 0);
        return out;
    };
    auto utf16 = [](const std::wstring& text, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (wchar_t c : text) {
            char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
            out += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return out;
    };
    const std::string cafe = ansi(L"caf\u00e9.fr");

    ASSERT_FALSE(cafe.empty());
    struct Case {
        const char* name;
        std::string bytes;
        List entries;
    };
    const Case cases[] = {
        {"UTF-8 with a mark",
         "\xEF\xBB\xBF"
         "a.com\r\nb.com",
         {"a.com", "b.com"}},
        {"UTF-8 with a mark, accented",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9.fr\n",
         {cafe, ""}},
        {"UTF-8 mark only", "\xEF\xBB\xBF", {}},
        {"UTF-16 LE", utf16(L"a.com\r\nb.com\r\n", false), {"a.com", "b.com"}},
        {"UTF-16 LE, accented, LF ends", utf16(L"caf\u00e9.fr\nx\n", false), {cafe, "x", ""}},
        {"UTF-16 BE", utf16(L"a.com\rB.com", true), {"a.com", "B.com"}},
        {"UTF-16 LE mark only", "\xFF\xFE", {}},
        {"UTF-16 LE with an odd last byte", utf16(L"a.com", false) + "\x01", {"a.com"}},
        {"UTF-16 LE with NUL characters", utf16(std::wstring(L"a.c\0om\r\n\0", 9), false), {"a.com"}},
        {"UTF-8 with a mark and a NUL",
         Bytes("\xEF\xBB\xBF"
               "a\0b",
               6),
         {"ab"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries({"first"});
        Choose(MakeFile("unicode.txt", c.bytes));
        List expected{"first"};
        expected.insert(expected.end(), c.entries.begin(), c.entries.end());
        EXPECT_EQ(Entries(), expected);
    }
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(ListFilesTest, NormalizePathCollapsesDoubledBackslashes) {
    struct Case {
        const char* path;
        const char* normal;
    };
    const Case cases[] = {
        {"C:\\\\a.txt", "C:\\a.txt"},              // drive root joined with "\"
        {"C:\\lists\\a.txt", "C:\\lists\\a.txt"},  // already single
        {"C:\\lists\\\\a.txt", "C:\\lists\\a.txt"},
        {"a\\\\\\b", "a\\\\b"},                                      // three become two
        {"a\\\\\\\\b", "a\\\\b"},                                    // four become two
        {"\\\\server\\share\\\\a.txt", "\\\\server\\share\\a.txt"},  // a share keeps its two
        {"\\\\server\\share\\a.txt", "\\\\server\\share\\a.txt"},
        {"\\\\\\server\\share\\\\\\a.txt", "\\\\server\\share\\\\a.txt"},  // any leading run gives two
        {"\\lists\\a.txt", "\\\\lists\\a.txt"},                            // one leading gives two
        {"\\\\", "\\\\"},
        {"", ""},
        {"a.txt", "a.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizePath(c.path), c.normal) << "path " << c.path;
}

TEST_F(ListFilesTest, LoadButtonAsksWithTheDialogAndLoadsOneFile) {
    SetEntries({"first"});
    std::string path = MakeFile("one.txt", "a.com\r\nb.com\r\n");
    Choose(path);
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].flags, 0x280201u);
    EXPECT_EQ(prompts.fileRequests[0].title, kOpenListTitle);
    EXPECT_EQ(prompts.fileRequests[0].filter, kOpenListFilter);
    EXPECT_EQ(Entries(), (List{"first", "a.com", "b.com"}));
    EXPECT_EQ(ShownRows(), Entries());
    EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Default) << "the hourglass ends with the load";
    Choose(path);
    EXPECT_EQ(Entries(), (List{"first", "a.com", "b.com", "a.com", "b.com"}))
        << "loading twice appends twice";
    EXPECT_TRUE(prompts.boxes.empty());
    ExpectNothingPersisted();
}

TEST_F(ListFilesTest, CancelChangesNothingNotEvenThePointer) {
    SetEntries({"first"});
    SetPointerState(Pointer::Hand);
    Choose("");
    EXPECT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(Entries(), (List{"first"}));
    EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Hand);
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(ListFilesTest, SeveralFilesLoadInTheirOrderAndMissingOnesAreNamed) {
    CreateDirectoryA((root + "\\lists").c_str(), nullptr);
    MakeFile("lists\\one.txt", "1a\r\n1b\r\n");
    MakeFile("lists\\two.txt", "2a\n");
    MakeFile("lists\\three.txt", "3a");
    // A folder ending in a backslash, as a drive root does, still gives single separators.
    std::string folders[] = {root + "\\lists", root + "\\lists\\"};
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        SetEntries({"first"});
        prompts.boxes.clear();
        Choose(Selection(folder, {"three.txt", "gone.txt", "one.txt", "two.txt", "also gone.txt"}));
        EXPECT_EQ(Entries(), (List{"first", "3a", "1a", "1b", "2a", ""}));
        ASSERT_EQ(prompts.boxes.size(), 2u) << "one \"File not found\" per missing name";
        for (const RecordedBox& box : prompts.boxes) {
            EXPECT_EQ(box.text, kFileNotFound);
            EXPECT_EQ(box.title, ApplicationTitle());
            EXPECT_EQ(box.style, static_cast<unsigned>(MB_OK));
        }
        EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Default);
    }
    ExpectNothingPersisted();
}

// Prompts that, while a load shows its "File not found", try the commands the hourglass blocks.
class BusyProbePrompts : public ScriptedPrompts {
  public:
    MainWindow* form = nullptr;
    std::vector<Pointer> pointers;
    int MessageBox(const std::string& text, const std::string& title, UINT style) override {
        pointers.push_back(MainWindowView::PointerState(*form));
        ListView_SetItemState(MainWindowView::List(*form).hwnd, 0, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ClickControl(*form, kIdClearListButton);
        PressInList(*form, VK_DELETE);
        DoubleClickList(*form);
        return ScriptedPrompts::MessageBox(text, title, style);
    }
};

TEST_F(ListFilesTest, TheHourglassShowsDuringTheLoadAndBlocksListEdits) {
    BusyProbePrompts probe;
    prompts.answeredBy = &probe;
    probe.form = form.get();
    SetEntries({"first", "second"});
    MakeFile("one.txt", "a.com");
    probe.fileAnswers = {Selection(root, {"missing.txt", "one.txt"})};
    Click(kIdLoadFromFileButton);
    EXPECT_EQ(probe.pointers, (std::vector<Pointer>{Pointer::Busy}));
    EXPECT_EQ(Entries(), (List{"first", "second", "a.com"})) << "nothing was cleared or removed";
    EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Default);
}

TEST_F(ListFilesTest, UnreadableFilesAreReportedAndTheRestStays) {
    MakeFile("good.txt", "g1\r\ng2\r\n");
    std::string locked = MakeFile("locked.txt", "never\r\n");
    CreateDirectoryA((root + "\\folder.txt").c_str(), nullptr);
    // Another program holds the file open and shares it with nobody.
    HANDLE holder =
        CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    struct Case {
        const char* name;
        std::string chosen;
        List entries;
        std::vector<std::string> reports;
        size_t notFound;
    };
    const std::string longName = root + "\\" + std::string(MAX_PATH + 20, 'n') + ".txt";
    const Case cases[] = {
        {"a locked file alone",
         locked,
         {"first"},
         {"in Nestwarden2021/08/31.Form1.PushButton4_Click at line 124"},
         0},
        {"a folder typed as a file",
         root + "\\folder.txt",
         {"first"},
         {"in Nestwarden2021/08/31.Form1.PushButton4_Click at line 124"},
         0},
        {"a locked file among others",
         Selection(root, {"good.txt", "locked.txt", "folder.txt", "good.txt"}),
         {"first", "g1", "g2", "g1", "g2"},
         {"in Nestwarden2021/08/31.Form1.PushButton4_Click at line 142",
          "in Nestwarden2021/08/31.Form1.PushButton4_Click at line 142"},
         0},
        {"a name longer than MAX_PATH", longName, {"first"}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetEntries({"first"});
        prompts.boxes.clear();
        Choose(c.chosen);
        EXPECT_EQ(Entries(), c.entries);
        std::vector<std::string> reports = ReportLines();
        ASSERT_EQ(reports.size(), c.reports.size());
        for (size_t i = 0; i < reports.size(); ++i)
            EXPECT_EQ(reports[i].rfind(c.reports[i], 0), 0u) << reports[i];
        EXPECT_EQ(prompts.boxes.size() - reports.size(), c.notFound);
        EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Default) << "line 150 still runs";
    }
    CloseHandle(holder);
    SetEntries({});
    Choose(locked);
    EXPECT_EQ(Entries(), (List{"never"})) << "once let go, the file loads";
}

// Prompts whose open dialog fails.
class FailingDialogPrompts : public ScriptedPrompts {
  public:
    std::string OpenFileNames(const OpenFileRequest&) override { throw Failure("Dialog failed"); }
};

TEST_F(ListFilesTest, AFailedDialogIsReportedAndEndsTheCommand) {
    FailingDialogPrompts failing;
    prompts.answeredBy = &failing;
    SetEntries({"first"});
    Click(kIdLoadFromFileButton);
    ASSERT_EQ(failing.boxes.size(), 1u);
    EXPECT_NE(failing.boxes[0].text.find(
                  "Dialog failed\r\nin Nestwarden2021/08/31.Form1.PushButton4_Click at line 112"),
              std::string::npos);
    EXPECT_EQ(Entries(), (List{"first"}));
    EXPECT_EQ(MainWindowView::PointerState(*form), Pointer::Default);
}

TEST_F(ListFilesTest, SampleSitesAreAppendedOnEveryPress) {
    SetEntries({"first"});
    SetPointerState(Pointer::Busy);  // the samples do not look at the pointer
    Click(kIdLoadSamplesButton);
    Click(kIdLoadSamplesButton);
    List expected{"first"};
    for (int press = 0; press < 2; ++press)
        for (const char* site : kSampleSites) expected.push_back(site);
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(ShownRows(), expected);
    EXPECT_EQ(expected[1], kSampleSite1);
    EXPECT_EQ(expected[4], kSampleSite4);
    EXPECT_TRUE(prompts.boxes.empty());
    ExpectNothingPersisted();
}

}  // namespace

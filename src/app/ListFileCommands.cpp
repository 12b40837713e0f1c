// The main window's two bulk commands: "Load Websites From File" and "Load Sample/Example Sites".
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "Appearance.h"
#include "ListFileReader.h"
#include "MainWindow.h"
#include "SampleSites.h"
#include "UserTexts.h"

namespace {

constexpr DWORD kOpenListFlags = OFN_READONLY | OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_LONGNAMES;

// Every NUL-separated part of the dialog's answer.
std::vector<std::string> SplitAtNul(const std::string& names) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t nul = names.find('\0', start);
        parts.push_back(names.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
        if (nul == std::string::npos) return parts;
        start = nul + 1;
    }
}

}  // namespace

void MainWindow::LoadListFile(const std::string& path) {
    if (!ReadListFile(websiteList_, path)) prompts_.MessageBox(kFileNotFound, ApplicationTitle(), MB_OK);
}

void MainWindow::OnLoadFromFileClicked() {
    Guarded p{reports_, ReportLocation(kLoadFromFileClickedProcedure)};
    OpenFileRequest dialog;
    std::string fileName;
    std::vector<std::string> parts;
    std::string path;

    p.Line(104, [&] { fileName.clear(); });
    p.Line(106, [&] { dialog.flags = kOpenListFlags; });
    p.Line(108, [&] { dialog.title = kOpenListTitle; });
    p.Line(110, [&] { dialog.filter = kOpenListFilter; });
    p.Line(112, [&] { fileName = prompts_.OpenFileNames(dialog); });
    if (p.Test(114, [&] { return fileName.empty(); })) return;
    p.Line(116, [&] { parts = SplitAtNul(fileName); });
    p.Line(118, [&] { SetPointer(Pointer::Busy); });
    if (p.Test(120, [&] { return parts.size() == 1; })) {
        p.Line(122, [&] { path = parts.empty() ? std::string() : parts[0]; });
        p.Line(124, [&] { LoadListFile(path); });
    } else if (p.Test(126, [&] { return parts.size() > 1; })) {
        // The Explorer multi-selection: the folder, then each chosen name in it.
        size_t first = 1, last = 0;
        p.Line(128, [&] { first = 1; });
        p.Line(130, [&] { last = parts.size() - 1; });
        for (size_t i = first; i <= last && i < parts.size(); ++i) {
            p.Line(138, [&] { path = parts[0] + "\\" + parts[i]; });
            p.Line(140, [&] { path = NormalizePath(path); });
            p.Line(142, [&] { LoadListFile(path); });
        }
    }
    p.Line(150, [&] { SetPointer(Pointer::Default); });
}

void MainWindow::OnLoadSamplesClicked() {
    Guarded p{reports_, ReportLocation(kLoadSamplesClickedProcedure)};
    int line = 100;
    for (const char* site : kSampleSites) {
        p.Line(line, [&] { websiteList_.Append(site); });
        line += 2;
    }
}

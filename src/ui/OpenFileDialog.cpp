#include "OpenFileDialog.h"

#include <cderr.h>
#include <commdlg.h>

#include <vector>

#include "Failure.h"
#include "SystemLibrary.h"
#include "ComApartment.h"
#include "UserTexts.h"

std::string ShowOpenFileDialog(const OpenFileRequest& request) {
    // The dialog's library is loaded at the first file command, not at start-up.
    static const auto getOpenFileName =
        SystemFunction<decltype(&GetOpenFileNameA)>("comdlg32.dll", "GetOpenFileNameA");
    static const auto extendedError =
        SystemFunction<decltype(&CommDlgExtendedError)>("comdlg32.dll", "CommDlgExtendedError");

    // The program writes filters with "|" between the parts; the dialog wants NULs.
    std::string filter = request.filter;
    for (char& c : filter)
        if (c == '|') c = '\0';
    filter.push_back('\0');

    // A multi-selection can be long: room for thousands of names in one folder.
    std::vector<char> names(512 * 1024, '\0');
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = names.data();
    ofn.nMaxFile = static_cast<DWORD>(names.size());
    ofn.lpstrTitle = request.title.c_str();
    ofn.Flags = request.flags;
    JoinComApartment();
    if (!getOpenFileName(&ofn)) {
        // Cancel leaves no error; anything else is a failure the calling procedure reports,
        // never a silent "nothing chosen".
        DWORD error = extendedError();
        if (error == 0) return "";
        char text[96];
        wsprintfA(text, error == FNERR_BUFFERTOOSMALL ? kTooManyFilesSelected : kOpenDialogNotShown, error);
        throw Failure(text, error);
    }

    // The buffer ends with two NULs; keep everything before them.
    size_t end = 0;
    while (end + 1 < names.size() && !(names[end] == '\0' && names[end + 1] == '\0')) ++end;
    std::string result(names.data(), end);
    while (!result.empty() && result.back() == '\0') result.pop_back();
    return result;
}

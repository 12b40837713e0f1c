#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include "Failure.h"
#include "SystemLibrary.h"

namespace {

TEST(SystemLibrary, BindsAFunctionFromTheSystemFolder) {
    auto extendedError =
        SystemFunction<decltype(&CommDlgExtendedError)>("comdlg32.dll", "CommDlgExtendedError");
    ASSERT_NE(extendedError, nullptr);
    EXPECT_EQ(extendedError(), 0u) << "no dialog has failed";

    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, MAX_PATH);
    char loadedFrom[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(GetModuleHandleA("comdlg32.dll"), loadedFrom, MAX_PATH), 0u);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, loadedFrom, -1,
                             (std::string(folder) + "\\comdlg32.dll").c_str(), -1),
              CSTR_EQUAL)
        << loadedFrom;
}

TEST(SystemLibrary, AMissingLibraryOrFunctionIsAFailureWithTheSystemsWords) {
    try {
        SystemFunction<FARPROC>("parvalisk-no-such-library.dll", "Anything");
        ADD_FAILURE() << "a missing library was bound";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_EQ(failure.what(), SystemErrorText(ERROR_MOD_NOT_FOUND));
    }
    try {
        SystemFunction<FARPROC>("comdlg32.dll", "ParvaliskNoSuchFunction");
        ADD_FAILURE() << "a missing function was bound";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.code(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
}

}  // namespace

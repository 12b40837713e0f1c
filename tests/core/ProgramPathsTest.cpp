#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ProgramPaths.h"
#include "support/SystemHostsFolder.h"
#include "support/TempTree.h"

namespace {

using ProgramPaths = TempTree;

TEST_F(ProgramPaths, FromTheShellAndTheMachine) {
    std::string common = SpecialFolderPath(kCommonAppDataFolder);
    ASSERT_FALSE(common.empty());
    EXPECT_NE(common.back(), ' ');
    EXPECT_NE(common.back(), '\\');
    EXPECT_EQ(common.front() == ' ', false);
    EXPECT_EQ(common.find('\0'), std::string::npos);
    DWORD attributes = GetFileAttributesA(common.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << common;
    EXPECT_EQ(SpecialFolderPath(0x7F), "") << "an unknown folder number gives the empty string";

    // The hosts folder comes from the machine's DataBasePath, expanded with the system's
    // Windows folder; a user's own WINDIR variable changes nothing.
    char system[MAX_PATH] = "";
    GetSystemWindowsDirectoryA(system, MAX_PATH);
    const std::string machineHosts = SystemHostsFilePath();
    EXPECT_EQ(machineHosts.rfind(system, 0), 0u) << machineHosts;
    char windirVariable[MAX_PATH] = "";
    GetEnvironmentVariableA("WINDIR", windirVariable, MAX_PATH);
    SetEnvironmentVariableA("WINDIR", "Q:\\elsewhere");
    EXPECT_EQ(SystemHostsFilePath(), machineHosts) << "the environment never moves the hosts file";
    SetEnvironmentVariableA("WINDIR", windirVariable);
    {
        SystemHostsFolder pointed(windir + "\\system32\\drivers\\etc");
        ASSERT_TRUE(pointed.InForce());
        EXPECT_EQ(SystemHostsFilePath(), hostsPath) << "the folder the machine names";
    }
    EXPECT_EQ(SystemHostsFilePath(), machineHosts);

    const std::string etc = "C:\\Win\\system32\\drivers\\etc";
    const struct {
        const char* stored;
        std::string folder;
    } rows[] = {
        {"%SystemRoot%\\System32\\drivers\\etc", "C:\\Win\\System32\\drivers\\etc"},
        {"%systemroot%\\other\\", "C:\\Win\\other"},
        {"%WinDir%\\x", "C:\\Win\\x"},
        {"D:\\hosts folder", "D:\\hosts folder"},
        {"\\\\server\\share\\etc", "\\\\server\\share\\etc"},
        {"", etc},
        {"%USERPROFILE%\\etc", etc},
        {"relative\\etc", etc},
        {"%SystemRoot", etc},
    };
    for (const auto& row : rows)
        EXPECT_EQ(HostsFolderFromDatabasePath(row.stored, "C:\\Win"), row.folder) << row.stored;
}

}  // namespace

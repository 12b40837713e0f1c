#pragma once
// Where the program and its files are, and the machine-wide names other parts rely on: the
// program, its uninstaller and anything else that acts for it spell them here and nowhere else.

#include <windows.h>
#include <shlobj.h>

#include <string>

inline constexpr char kProductName[] = "Parvalisk";
// The blocking service's name in the service manager.
inline constexpr char kServiceName[] = "Parvalisk";
// The program's file name, beside which the service and the restore program are installed.
inline constexpr char kProgramFileName[] = "Parvalisk.exe";
inline constexpr char kMakerName[] = "Kelmarin";

// ---- special folders ----------------------------------------------------------------------
inline constexpr int kCommonAppDataFolder = CSIDL_COMMON_APPDATA;

// The path of a shell special folder; "" when the shell cannot resolve it.
std::string SpecialFolderPath(int folder);

// ---- the data folder, machine-wide in the all-users application data folder ----------------
// The maker's folder: the common application data folder + "\Kelmarin".
std::string MakerFolderPath(const std::string& commonAppData);
// The program's data folder: the maker's folder + "\Parvalisk", without a trailing backslash.
std::string DataFolderPath(const std::string& commonAppData);
// The clean copy of the hosts file that a block keeps: DataFolder + "\hosts".
std::string HostsBackupPath(const std::string& dataFolder);
// The entries the service's block wrote, kept while it is on so a restarted service knows what to
// put back: DataFolder + "\\blocked".
std::string BlockedEntriesPath(const std::string& dataFolder);
// The weekly schedule the service follows (its text), the entries and password it blocks with,
// and the lift (or the block set by hand against the schedule) with its end.
std::string ScheduleFilePath(const std::string& dataFolder);
std::string ScheduledEntriesPath(const std::string& dataFolder);
std::string LiftFilePath(const std::string& dataFolder);
// The start-with-Windows marker, which stands while start with Windows is on for the machine.
inline constexpr char kStartWithWindowsMarkerSuffix[] = "\\iStart";
std::string StartWithWindowsMarkerPath(const std::string& dataFolder);

// ---- the system hosts file ----------------------------------------------------------------
// The system hosts file: the folder the system's name resolution reads (the machine's
// DataBasePath, see HostsFolderFromDatabasePath) followed by "\hosts". It comes from the machine's
// settings, never from the environment, which any user may change for their own programs.
std::string SystemHostsFilePath();

// The hosts folder for a stored DataBasePath value: the value with %SystemRoot% (or %windir%)
// replaced by the system's Windows folder. An empty value, one that names any other variable or
// one that is not a full path gives the Windows folder + "\system32\drivers\etc".
std::string HostsFolderFromDatabasePath(const std::string& value, const std::string& windowsFolder);

// ---- the program's own folder -------------------------------------------------------------
// The folder of the program's executable, without a trailing backslash (unless a drive root).
std::string ProgramFolder();
// The full path of the program's executable.
std::string ProgramPath();
// A file in the program folder: the folder, one backslash, the relative name.
std::string ProgramFolderFile(const std::string& relative);

// ---- start with Windows: the machine-wide Run key -----------------------------------------
inline constexpr char kRunKeyPath[] = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";
inline constexpr REGSAM kRunKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                        KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK;

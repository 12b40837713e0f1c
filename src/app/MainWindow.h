#pragma once
// The main window: the website list, the Start/Stop and list buttons, the start-up option boxes,
// the password field and the tray icon. It owns the program's state; its procedures live in the
// files of this folder named after what they do (MainWindowStartup.cpp, BlockingCommands.cpp ...).

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Blocker.h"
#include "Controls.h"
#include "ErrorReport.h"
#include "FileOwnership.h"
#include "Handles.h"
#include "PasswordHash.h"
#include "Pointer.h"
#include "Prompts.h"
#include "SettingsStore.h"
#include "StartWithWindowsSwitch.h"
#include "SystemAnswersAndActions.h"
#include "TrayIcon.h"
#include "WebsiteList.h"
#include "WindowProc.h"

class PasswordWindow;

inline constexpr char kStopBlockingCaption[] = "Stop Blocking";
inline constexpr char kStartBlockingCaption[] = "Start Blocking";
inline constexpr char kMainWindowClassName[] = "ParvaliskMainWindow";
// The blocking service keeps a block bound to the password it was started with.
inline constexpr char kStopNeedsBlockPassword[] =
    "The Parvalisk service did not stop blocking: the block was started with another password. Start "
    "Parvalisk as administrator to stop it.";
inline constexpr char kBlockKeepsItsPassword[] =
    "The Parvalisk service keeps the block under the password it was started with. Start Parvalisk as "
    "administrator to stop it.";
// The window timer that ends the quiet time after a change of the hosts folder.
inline constexpr UINT_PTR kHostsSettleTimerId = 1;

enum class WindowState { Normal, Minimized };

// Control identifiers of the main window.
enum MainWindowControlId : int {
    kIdHelpButton = 1001,
    kIdStartStopButton,
    kIdClearListButton,
    kIdLoadFromFileButton,
    kIdLoadSamplesButton,
    kIdAddWebsiteButton,
    kIdWebsiteList,
    kIdOptionsFrame,
    kIdPasswordFrame,
    kIdStartWithWindowsBox,
    kIdStartInTrayBox,
    kIdPasswordField,
    kIdStatusLabel,
};

// What the main window is given when it is made: the program gives the real parts (main.cpp), a
// test its own.
struct MainWindowParts {
    Prompts& prompts;
    SystemAnswersAndActions& system;
    const SettingsStore& settings;
    std::string hostsFilePath;        // the system hosts file
    std::string commonAppDataFolder;  // the all-users application data folder
    ShellNotifyIconFunction shellNotifyIcon = &SendToShellInOrder;
    Ownership* ownership = &SystemOwnership();  // whose files in the data folder are believed
    // How the block is written and lifted; none given: in this process, on the hosts file above
    // and the data folder in the application data folder.
    Blocker* blocker = nullptr;
    // Who writes the machine-wide entries of "Load this software on Windows startup".
    StartWithWindowsSwitch* startWithWindows = &DirectStartWithWindows();
};

// The program's state, owned by the main window; the window's controls follow it.
struct ProgramState {
    bool blocking = false;         // the hosts file holds the block (the Start/Stop caption follows)
    bool hiddenInTray = false;     // the window hides in the notification area
    bool loading = false;          // start-up is setting the option boxes
    bool userIsAdmin = false;      // taken once at start-up
    bool blockNotPutBack = false;  // a resumed start could not write the block; told once
    bool blockWritten = false;     // this run's start wrote the block: the watch guards its lines
    std::string dataFolder;
};

class MainWindow {
  public:
    explicit MainWindow(const MainWindowParts& parts);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls (hidden), runs start-up, then shows the window in the
    // state start-up left it in (a minimised start goes straight to the tray). `endsProgram`: the
    // window's end ends the message loop.
    void Load(bool endsProgram = false);
    HWND hwnd() const { return hwnd_; }
    // Asks the window to close, as its close box does (runs the close, then destroys it).
    void Close();

    // ---- what the window holds and shows, to read ----------------------------------------
    const ProgramState& State() const { return state_; }
    const WebsiteList& List() const { return websiteList_; }
    const TrayIcon& Tray() const { return trayIcon_; }
    // The control with this identifier (kIdHelpButton ... kIdStatusLabel; the list is List()).
    // Throws std::out_of_range for any other identifier.
    const Control& ControlById(int id) const;
    Pointer PointerState() const { return pointer_; }
    HCURSOR HandPointer() const { return handPointer_; }
    // The password window while it is loaded, else nullptr.
    const PasswordWindow* LoadedPasswordWindow() const;

    Prompts& prompts() { return prompts_; }
    FailureReport& reports() { return reports_; }
    const SettingsStore& settings() const { return settings_; }

    void SetWindowState(WindowState state);
    // Hides the window, or shows it again. A show is refused while the window hides in the tray:
    // the accepted password clears that first.
    void SetVisible(bool visible);
    // Blocking on or off: the state, and the Start/Stop caption that shows it.
    void SetBlocking(bool blocking);
    // Sets the pointer state and shows the matching pointer at once when it is over the window.
    void SetPointer(Pointer pointer);
    // The accepted password's way back from the tray: the tray icon goes, the hidden flag
    // clears, the controls are enabled again and the window shows. `typedPassword`: what the
    // parent typed, held until the window locks again, for the stop of a block bound to it.
    void Unlock(std::string_view typedPassword = {});

    // ---- procedures that other parts and the tests run ------------------------------------
    void StartBlocking(bool atStartup);
    void StopBlocking(bool atStartup);
    void OnHostsFolderChanged();

    void OnClearListClicked();
    void OnLoadFromFileClicked();
    void OnLoadSamplesClicked();
    void OnAddWebsiteClicked();
    void OnWebsiteListDoubleClicked();
    void OnWebsiteListKeyDown(int keyCode);

    // Appends the lines of one list file to the list ("File not found" when it does not exist).
    void LoadListFile(const std::string& path);

  private:
    friend LRESULT CALLBACK ForwardingWindowProc<MainWindow>(HWND, UINT, WPARAM, LPARAM);
    // The steps of RunStartup, in their order; each runs its numbered lines under the load's report.
    struct DataFolderMade {
        bool makerFolderTight = false;  // made now with the protected list: nothing to tighten
        bool dataFolderTight = false;
    };
    void ApplyStartupLook(Guarded& p);
    void FillWebsiteList(Guarded& p);
    DataFolderMade MakeDataFolder(Guarded& p);
    void SetStartupOptionBoxes(Guarded& p);
    void TakeAdministratorAnswer(Guarded& p, const DataFolderMade& made);
    void ResumeOrAdoptBlock(Guarded& p);
    // The locked window's door: a show, an added visible style or a restore from outside is
    // refused here. True when the message is handled and goes no further.
    bool RefusedWhileLocked(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    // Gives the list its tooltip, once.
    void AddListToolTip(HWND list);
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR& header);

    // ---- the window's own procedures ------------------------------------------------------
    WindowState GetWindowState() const;
    void RunStartup();
    void RunClose();
    void OnResized();
    void OnTrayIconClicked();
    // The program was started again: the running copy comes forward instead.
    void OnSecondStart();
    // The end of the Windows session: what the close stores, stored silently before it returns.
    void EndSession();

    // While the block this run wrote is on, the hosts file's folder is watched: when those lines
    // are gone they are put back, and the parent is told at most once a minute.
    void StartWatchingHosts();
    void StopWatchingHosts();
    // The entries the watch guards: those of the list as a written start found it.
    void KeepWrittenEntries();
    void ForgetWrittenEntries();
    const WebsiteList& WrittenEntries() const;
    // Stores at once whether blocking is on ("BlockOnStart", and "Minimized" with it).
    void RecordBlockingOn();
    void RecordBlockingOff();
    void OnHelpClicked();
    void OnStartStopClicked();
    void OnStartWithWindowsChanged();
    void OnStartInTrayChanged();
    void OnPasswordFieldChanged();
    // The password field's new text (stored as `hash`) made the password of the block in force.
    void ChangeBlockPassword(const std::string& text, const std::string& hash);
    void ChangeBlockPasswordNow(const std::string& text, const std::string& hash);

    // While the window hides in the tray it is locked: only the accepted password brings it back,
    // and no command, key, text or show from any program reaches past it.
    bool Locked() const { return state_.hiddenInTray; }
    // Goes into the tray: locked (the hidden flag set, controls disabled, the password field's
    // text kept as it is), out of sight and off the taskbar, with the tray icon shown.
    void HideInTray();
    void EnableControls(bool enabled);
    bool OnSetCursor(HWND over);
    // What the close stores (the block and the list), for a session that ends.
    void StoreCloseState();
    void ShowNotice(const std::string& text);
    // Runs `work`, which may wait for the blocking service while the window's events run: the
    // busy pointer shows, no command is obeyed (no second exchange starts inside the first), and
    // a close or a change of the hosts folder that comes meanwhile is handled once it is done.
    void WhileServiceWorks(const std::function<void()>& work);
    // Tells the parent: a balloon from the tray icon while hidden, a notice while shown.
    void Tell(const std::string& text);
    // The watch's parts: the hosts folder opened (again) at the hosts path, the folder above it
    // changed, the written lines looked for and put back, a notice told or held back.
    void WatchHostsFolder();
    void OnHostsParentFolderChanged();
    void CheckWhenHostsSettled();
    void OnHostsSettled();
    void CheckWrittenBlock();
    void CheckWrittenBlockNow();
    bool TellFromWatch(const char* text);
    void OnWatchNoticeTimeUp();

    ProgramState state_;
    WebsiteList websiteList_;
    Control helpButton_, startStopButton_, clearListButton_, loadFromFileButton_, loadSamplesButton_,
        addWebsiteButton_;
    Control optionsFrame_, passwordFrame_, statusLabel_, passwordField_;
    CheckBox startWithWindowsBox_, startInTrayBox_;
    // Every control but the list with its identifier, in the layout's order: the one table the
    // controls are found by.
    const std::array<std::pair<Control*, int>, 12> controls_{{
        {&helpButton_, kIdHelpButton},
        {&startStopButton_, kIdStartStopButton},
        {&clearListButton_, kIdClearListButton},
        {&loadFromFileButton_, kIdLoadFromFileButton},
        {&loadSamplesButton_, kIdLoadSamplesButton},
        {&addWebsiteButton_, kIdAddWebsiteButton},
        {&optionsFrame_, kIdOptionsFrame},
        {&passwordFrame_, kIdPasswordFrame},
        {&statusLabel_, kIdStatusLabel},
        {&passwordField_, kIdPasswordField},
        {&startWithWindowsBox_, kIdStartWithWindowsBox},
        {&startInTrayBox_, kIdStartInTrayBox},
    }};
    TrayIcon trayIcon_;
    Pointer pointer_ = Pointer::Default;
    HCURSOR handPointer_ = nullptr;                   // from the program folder's "\HAND-M.CUR"
    std::unique_ptr<PasswordWindow> passwordWindow_;  // the one password window, once asked for

    SilenceablePrompts prompts_;
    ErrorReportBox reports_{prompts_};
    SystemAnswersAndActions& system_;
    const SettingsStore& settings_;
    const std::string hostsFilePath_;
    const std::string commonAppDataFolder_;
    Ownership& ownership_;
    std::unique_ptr<DirectBlocker> ownBlocker_;  // the blocker made here when none was given
    Blocker& blocker_;
    StartWithWindowsSwitch& startWithWindows_;
    HWND hwnd_ = nullptr;
    bool endsProgram_ = false;
    WindowState pendingState_ = WindowState::Normal;  // the state asked for before the window shows
    UniqueFont windowFont_, buttonFont_;
    UniqueCursor ownedPointer_;  // the hand pointer, destroyed with the window
    HWND listToolTip_ = nullptr;
    bool closing_ = false;
    bool startStopRunning_ = false;           // a Start/Stop click is being handled
    bool passwordStoreFailureShown_ = false;  // told once while the store refuses the password
    int startInTrayBeforeBlock_ = -1;         // the tray box before this run's block ticked it (-1: none)
    std::string lockedPassword_;              // the password field's text when the window locked
    // The password that lifts the block this window starts or stops: the one typed to unlock,
    // then each one the parent sets in the password field. Held only while the window is unlocked.
    HeldPassword unlockPassword_;
    bool passwordChangeRefusalShown_ = false;  // told once while the service keeps the old password
    bool changingBlockPassword_ = false;       // the service is taking a new password
    // The text and hash typed meanwhile, taken once that change is done.
    std::optional<std::pair<std::string, std::string>> pendingPasswordChange_;
    UniqueChangeNotification hostsWatch_;  // the hosts folder, while blocking is on
    bool removalTold_ = false;             // the parent knows the block is gone
    bool checkingHosts_ = false;           // a change is being handled
    bool serviceWorking_ = false;          // the window waits for the blocking service
    bool closeHeld_ = false;               // a close came while it waited
    bool recheckHosts_ = false;            // a change came while it waited or checked

    // The watch: on while the block this run wrote is on (its folder may be gone for a time).
    bool watching_ = false;
    // The entries whose lines the last written start wrote: the list itself until it next
    // changes, and only then copied here, so a start of a million entries copies none of them.
    WebsiteList writtenEntries_;
    bool writtenAreTheList_ = false;
    UniqueChangeNotification hostsParentWatch_;  // the folder that holds the hosts folder
    UniqueKernelHandle watchNoticeTimer_;        // ends the minute in which notices are held back
    std::optional<ULONGLONG> watchToldAt_;       // when the watch last told the parent
};

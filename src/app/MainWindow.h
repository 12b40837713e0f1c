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
#include "HostsWatch.h"
#include "MainWindowControls.h"
#include "PasswordHash.h"
#include "Pointer.h"
#include "Schedule.h"
#include "ScheduleService.h"
#include "Prompts.h"
#include "SettingsStore.h"
#include "StartWithWindowsSwitch.h"
#include "SystemAnswersAndActions.h"
#include "TrayIcon.h"
#include "WebsiteList.h"
#include "WindowLock.h"
#include "WindowProc.h"
#include "UserTexts.h"

class PasswordWindow;

inline constexpr char kMainWindowClassName[] = "ParvaliskMainWindow";

enum class WindowState { Normal, Minimized };

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
    // Who keeps the weekly schedule and the lifts (the blocking service); none: no schedule.
    ScheduleService* schedule = nullptr;
};

// The program's state, owned by the main window; the window's controls follow it.
struct ProgramState {
    bool blocking = false;         // the hosts file holds the block (the Start/Stop caption follows)
    bool loading = false;          // start-up is setting the option boxes
    bool userIsAdmin = false;      // taken once at start-up
    bool blockNotPutBack = false;  // a resumed start could not write the block; told once
    std::string dataFolder;
};

class MainWindow : private HostsWatchOwner {
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

    Prompts& prompts() { return prompts_; }
    FailureReport& reports() { return reports_; }
    const SettingsStore& settings() const { return settings_; }

    // The accepted password's way back from the tray: the tray icon goes, the hidden flag
    // clears, the controls are enabled again and the window shows. `typedPassword`: what the
    // parent typed, held until the window locks again, for the stop of a block bound to it.
    void Unlock(std::string_view typedPassword = {});

  private:
    // ---- what the window holds and shows, and the procedures behind its commands ----------
    const ProgramState& State() const { return state_; }
    const WebsiteList& List() const { return websiteList_; }
    void SetWindowState(WindowState state);
    // Hides the window, or shows it again. A show is refused while the window hides in the tray:
    // the accepted password clears that first.
    void SetVisible(bool visible);
    // Blocking on or off: the state, and the Start/Stop caption that shows it.
    void SetBlocking(bool blocking);
    void StartBlocking(bool atStartup);
    void StopBlocking(bool atStartup);

    friend LRESULT CALLBACK ForwardingWindowProc<MainWindow>(HWND, UINT, WPARAM, LPARAM);
    friend struct MainWindowView;  // the tests' reading of it
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
    // The close box, Alt+F4 or another program's WM_CLOSE: the close runs once, then the window goes.
    void OnCloseAsked();
    // The control with this identifier (kIdHelpButton ... kIdStatusLabel); throws
    // std::out_of_range for any other identifier.
    const Control& ControlById(int id) const;
    // The password window while it is loaded, else nullptr.
    const PasswordWindow* LoadedPasswordWindow() const;
    void OnResized();
    void OnTrayIconClicked();
    // The program was started again: the running copy comes forward instead.
    void OnSecondStart();
    // The end of the Windows session: what the close stores, stored silently before it returns.
    void EndSession();

    // Stores at once whether blocking is on ("BlockOnStart", and "Minimized" with it).
    void RecordBlockingOn();
    void RecordBlockingOff();
    // A start wrote the block: it is recorded, flushed and watched from now on.
    void KeepWrittenBlock(Guarded& p);
    void OnHelpClicked();
    void OnScheduleClicked();
    void SaveSchedule(const StoredSchedule& schedule);
    void LiftBlock(std::uint32_t minutes);
    // Follows the block the service keeps by the clock: the caption, the Status line and a timer
    // for its next change. False when no schedule or lift decides (the window is as ever).
    bool FollowServiceSchedule();
    static void CALLBACK OnFollowTimer(HWND window, UINT msg, UINT_PTR id, DWORD time);
    // Waits on the service's change signal while the service answers: its "something changed"
    // makes the window follow at once, and again after a rest in which it is not waited on.
    void WatchChangeSignal(bool on);
    void OnChangeSignalled();
    // A command or the close is under way (a timer may fire in the loop it waits in): what the
    // service changed is followed once it is done, not in its middle.
    bool FollowMustWait() const { return busy_.serviceWorking || busy_.startStopRunning || busy_.closing; }
    void OnStartStopClicked();
    void OnClearListClicked();
    void OnLoadFromFileClicked();
    void OnLoadSamplesClicked();
    void OnAddWebsiteClicked();
    void OnWebsiteListDoubleClicked();
    void OnWebsiteListKeyDown(int keyCode);
    // Appends the lines of one list file to the list ("File not found" when it does not exist).
    void LoadListFile(const std::string& path);
    // Sets the pointer state and shows the matching pointer at once when it is over the window.
    void SetPointer(Pointer pointer);
    void OnStartWithWindowsChanged();
    void OnStartInTrayChanged();
    void OnPasswordFieldChanged();
    // The password field's new text (stored as `hash`) made the password of the block in force.
    void ChangeBlockPassword(const std::string& text, const std::string& hash);
    void ChangeBlockPasswordNow(const std::string& text, const std::string& hash);

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
    void WhileServiceWorks(const std::function<void()>& work) override;
    bool ServiceWorking() const override { return busy_.serviceWorking; }
    // Tells the parent: a balloon from the tray icon while hidden, a notice while shown.
    void Tell(const std::string& text) override;
    HWND TimerWindow() const override { return hwnd_; }

    ProgramState state_;
    WebsiteList websiteList_;
    MainWindowControls controls_;
    // While the window hides in the tray it is locked: only the accepted password brings it back.
    WindowLock lock_{controls_.passwordField, [this] { OnTrayIconClicked(); }};
    TrayIcon trayIcon_;
    Pointer pointer_ = Pointer::Default;
    std::unique_ptr<PasswordWindow> passwordWindow_;  // the one password window, once asked for

    SilenceablePrompts prompts_;
    ErrorReportBox reports_{prompts_};
    SystemAnswersAndActions& system_;
    const SettingsStore& settings_;
    const std::string commonAppDataFolder_;
    Ownership& ownership_;
    std::unique_ptr<DirectBlocker> ownBlocker_;  // the blocker made here when none was given
    Blocker& blocker_;
    StartWithWindowsSwitch& startWithWindows_;
    // Following the block the service keeps by the clock.
    struct ScheduleFollowing {
        ScheduleService* service = nullptr;  // none: no schedule
        bool followed = false;               // the Status line shows the schedule's words
        UniqueKernelHandle changeSignal;     // the service's, while waited on or resting
        bool signalResting = false;          // told of a change moments ago: not waited on
    } schedule_;
    HWND hwnd_ = nullptr;
    bool endsProgram_ = false;
    WindowState pendingState_ = WindowState::Normal;  // the state asked for before the window shows
    // What the window draws with, made once and destroyed with the window.
    struct Look {
        UniqueFont windowFont, buttonFont;
        UniqueCursor handPointer;  // from the program folder's "\HAND-M.CUR"
        HWND listToolTip = nullptr;
    } look_;
    int startInTrayBeforeBlock_ = -1;  // the tray box before this run's block ticked it (-1: none)
    // The password field's changes on their way to the store and to the block in force.
    struct PasswordChanges {
        bool storeFailureShown = false;  // told once while the store refuses the password
        bool refusalShown = false;       // told once while the service keeps the old password
        bool changing = false;           // the service is taking a new password
        // The text and hash typed meanwhile, taken once that change is done.
        std::optional<std::pair<std::string, std::string>> pending;
    } passwordChanges_;
    // What the window is in the middle of: a command that waits must not meet its own repeat,
    // nor a close that would take the window away under it.
    struct Busy {
        bool closing = false;           // the close is running
        bool startStopRunning = false;  // a Start/Stop click is being handled
        bool serviceWorking = false;    // the window waits for the blocking service
        bool closeHeld = false;         // a close came while it waited
    } busy_;
    // While the block this run wrote is on, the hosts file's folder is watched: when those lines
    // are gone they are put back, and the parent is told at most once a minute.
    HostsWatch hostsWatch_;
};

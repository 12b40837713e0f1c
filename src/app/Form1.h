#pragma once
// Form1, the main window: the website list, the Start/Stop and list buttons, the start-up option
// boxes, the password field and the tray icon. The window owns the state that the event
// procedures share; the procedures themselves live in the files named after what they do:
//   core/HostsBlocking.cpp      StartBlocking, StopBlocking
//   core/BlockingToggle.cpp     PushButton1_Click (Help), PushButton2_Click (Start/Stop)
//   app/MainWindowStartup.cpp   Form_Load
//   app/MainWindowClose.cpp     Form_Resize, Form_QueryUnload, cSysTray1_MouseUp
//   app/ListCommands.cpp        PushButton6_Click, PushButton3_Click, removal by double-click/Delete
//   app/ListFiles.cpp           PushButton4_Click, PushButton5_Click, LoadListFile, NormalizePath
//   shell/StartupOptions.cpp    Check1_Click, Check8_Click
//   app/PasswordWindow.cpp      txtPassword_Change and the password window Form2

#include <windows.h>

#include <memory>
#include <string>

#include "ui/WindowProc.h"
#include "app/WebsiteList.h"
#include "shell/cSysTray.h"
#include "ui/Controls.h"

class Form2;

// Pointer states of a window.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;
inline constexpr int kPointerCustom = 99;

inline constexpr char kStopBlockingCaption[] = "Stop Blocking";
inline constexpr char kStartBlockingCaption[] = "Start Blocking";
inline constexpr char kMainWindowClassName[] = "ParvaliskMainWindow";

enum class WindowState { Normal, Minimized };

// Control identifiers of the main window.
enum Form1ControlId : int {
    kIdPushButton1 = 1001,
    kIdPushButton2,
    kIdPushButton3,
    kIdPushButton4,
    kIdPushButton5,
    kIdPushButton6,
    kIdListView1,
    kIdFrame1,
    kIdFrame2,
    kIdCheck1,
    kIdCheck8,
    kIdTxtPassword,
    kIdLabel2,
};

class Form1 {
public:
    // The hosts file the blocker writes: the system's (main) or a test's own.
    explicit Form1(std::string hostsFilePath);
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Creates the window and its controls (hidden), runs Form_Load, then shows the window in the
    // state start-up left it in (a minimised start goes straight to the tray).
    void Load();
    HWND hwnd() const { return hwnd_; }
    // Asks the window to close, as its close box does (runs Form_QueryUnload, then destroys it).
    void Close();
    // The program's own window ends the message loop when it closes; tests' windows do not.
    bool EndsProgramOnClose = false;

    // ---- state shared by the event procedures -------------------------------------------
    WebsiteList ListView1;
    Control PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6;
    Control Frame1, Frame2, Label2, txtPassword;
    CheckBox Check1, Check8;
    cSysTray cSysTray1;

    const std::string HostsFilePath;
    std::string SavedButtonCaption;
    bool UserIsAdmin = false;
    std::string DataFolder;
    bool HiddenInTray = false;
    // A resumed start could not write the block; the tray balloon tells the parent once.
    bool BlockNotPutBack = false;
    bool Loading = false;               // true only while start-up sets the option boxes
    int MousePointer = kPointerDefault; // 0, 11 (hourglass) or 99 (hand)
    HCURSOR HandPointer = nullptr;      // loaded from the program folder's "\HAND-M.CUR", if present
    std::unique_ptr<Form2> PasswordWindow;  // the one password window, while it is loaded

    WindowState GetWindowState() const;
    void SetWindowState(WindowState state);
    bool Visible() const;
    void SetVisible(bool visible);
    // Sets the pointer state and shows the matching cursor at once when it is over the window.
    void SetMousePointer(int pointer);
    // The tooltip the list shows (the tooltip is made on first need, here or when the pointer
    // first comes over the list).
    std::string ListToolTipText();

    // ---- event procedures ---------------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Form_QueryUnload();
    void cSysTray1_MouseUp(int button, int id);
    // The program was started again: the running copy comes forward instead.
    void OnSecondStart();
    // The end of the Windows session: the close, silent and finished before it returns.
    void EndSession();

    void StartBlocking(bool atStartup);
    void StopBlocking(bool atStartup);
    // Stores at once whether blocking is on ("BlockOnStart", and "Minimized" with it).
    void RecordBlockingOn();
    void RecordBlockingOff();

    void PushButton1_Click();  // Help
    void PushButton2_Click();  // Start/Stop
    void PushButton3_Click();  // Clear List
    void PushButton4_Click();  // Load Websites From File
    void PushButton5_Click();  // Load Sample/Example Sites
    void PushButton6_Click();  // Add Website
    void ListView1_DblClick();
    void ListView1_KeyDown(int keyCode, int shift);
    void Check1_Click();
    void Check8_Click();
    void txtPassword_Change();

    // Appends the lines of one list file to the list ("File not found" when it does not exist).
    void LoadListFile(WebsiteList& list, const std::string& path);

private:
    friend LRESULT CALLBACK ForwardingWindowProc<Form1>(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    // Gives the list its tooltip, once.
    void AddListToolTip(HWND list);
    // What the close stores (the block and the list), for a session that ends during a close.
    void StoreCloseState();
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR& header);
    bool OnSetCursor(HWND over);
    LRESULT OnControlColour(HDC dc, HWND control);

    HWND hwnd_ = nullptr;
    WindowState pendingState_ = WindowState::Normal;  // the state asked for before the window shows
    HFONT windowFont_ = nullptr;
    HFONT buttonFont_ = nullptr;
    HWND listToolTip_ = nullptr;
    bool closing_ = false;
    bool startStopRunning_ = false;  // a Start/Stop click is being handled
};

// The list file path rule: doubled backslashes collapsed, a network path keeps its leading two.
std::string NormalizePath(const std::string& path);

// The one main window of the running program (null before it is created and after it closed).
Form1* MainWindow();

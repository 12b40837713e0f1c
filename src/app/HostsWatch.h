#pragma once
// The watch on the hosts file while the block this run wrote is on. Security tools, "cleanup"
// programs and a member of the family with administrator rights can rewrite the hosts file; the
// watch notices through a change notification on the hosts folder that the message loop waits on
// together with its messages, and puts the block back. It guards the lines its start wrote, not
// the list as it is now: a change of the list reaches the hosts file only at the next start.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "Blocker.h"
#include "Handles.h"
#include "SystemAnswersAndActions.h"
#include "WebsiteList.h"

// What the watch needs from the window that shows the block.
class HostsWatchOwner {
  public:
    // Runs `work`, which may wait for the blocking service while the window's events run. When a
    // wait of the owner's own is over, the owner calls HostsWatch::CheckHeldChange.
    virtual void WhileServiceWorks(const std::function<void()>& work) = 0;
    // True while the owner waits for the blocking service.
    virtual bool ServiceWorking() const = 0;
    // Tells the parent what the watch did.
    virtual void Tell(const std::string& text) = 0;
    // A window of the GUI thread that carries the watch's timer: its message wakes every loop the
    // program waits in, the tray balloon's too.
    virtual HWND TimerWindow() const = 0;

  protected:
    ~HostsWatchOwner() = default;
};

class HostsWatch {
  public:
    HostsWatch(std::string hostsFilePath, Blocker& blocker, SystemAnswersAndActions& system,
               HostsWatchOwner& owner);
    ~HostsWatch();
    HostsWatch(const HostsWatch&) = delete;
    HostsWatch& operator=(const HostsWatch&) = delete;

    // A start has just written the block lines of `list` as it is now: those are the lines Start
    // watches over from now on.
    void GuardWrittenBlock(WebsiteList& list);
    // The block was lifted: the watch ends and nothing is guarded any more.
    void ForgetWrittenBlock();
    // Whether a block this run wrote is guarded (from GuardWrittenBlock to ForgetWrittenBlock).
    bool GuardsWrittenBlock() const { return guardedList_ != nullptr; }
    // The entries whose lines the guarded block holds (empty when none is guarded).
    const WebsiteList& WrittenEntries() const;

    // Watches again the guarded block after Stop; nothing when no block is guarded.
    void Start();
    // Ends the watch for now (the block stays guarded): the program's own restore is no removal.
    void Stop();
    // A change that came while the owner waited for the service is looked at now.
    void CheckHeldChange();
    // The hosts folder changed: the written lines are looked for, and put back when gone.
    void OnHostsFolderChanged();

  private:
    void WatchHostsFolder();
    void OnHostsParentFolderChanged();
    void CheckWhenHostsSettled();
    static void CALLBACK OnSettleTimer(HWND window, UINT msg, UINT_PTR id, DWORD time);
    void CheckWrittenBlock();
    void CheckWrittenBlockNow();
    bool Tell(const char* text);
    void OnNoticeTimeUp();

    const std::string hostsFilePath_;
    Blocker& blocker_;
    SystemAnswersAndActions& system_;
    HostsWatchOwner& owner_;

    // The list whose lines the last written start wrote, while that block is guarded. Its entries
    // are copied only when it next changes, so a start of a million entries copies none of them.
    WebsiteList* guardedList_ = nullptr;
    WebsiteList writtenEntries_;
    bool writtenAreTheList_ = false;

    bool watching_ = false;     // on while the guarded block is on (its folder may be gone for a time)
    bool removalTold_ = false;  // the parent knows the block is gone
    bool checking_ = false;     // a change is being handled
    bool recheck_ = false;      // a change came while the owner waited or this checked
    HWND settleTimerWindow_ = nullptr;           // carries the settle timer while it is set
    UniqueChangeNotification hostsWatch_;        // the hosts folder
    UniqueChangeNotification hostsParentWatch_;  // the folder that holds the hosts folder
    UniqueKernelHandle noticeTimer_;             // ends the minute in which notices are held back
    std::optional<ULONGLONG> toldAt_;            // when the watch last told the parent
};

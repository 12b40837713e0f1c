#pragma once
// Starting and stopping the block: the hosts file gains one block line per listed entry after a
// clean copy of it is kept in the data folder, and the stop puts that copy back. No window takes
// part: each operation reports an unexpected failure of one of its numbered steps through the
// report it is given and answers an outcome, which the caller turns into what the user sees.

#include <concepts>
#include <functional>
#include <string>

#include "FileOwnership.h"
#include "HostsText.h"
#include "NumberedSteps.h"

struct DataFolderGuard;

// A yes or no that is either known or asked on its first use, once: a question whose answer costs
// a call into another part of the system (the service manager, say) is then not asked before it
// matters, nor at all when nothing needs it.
class AskedOnFirstUse {
  public:
    // Only a bool itself is a known answer, never a function that converts to one.
    AskedOnFirstUse(std::same_as<bool> auto answer) : answer_(answer) {}
    explicit AskedOnFirstUse(std::function<bool()> ask) : ask_(std::move(ask)) {}

    explicit operator bool() const {
        if (ask_) {
            answer_ = ask_();
            ask_ = nullptr;
        }
        return answer_;
    }

  private:
    mutable std::function<bool()> ask_;
    mutable bool answer_ = false;
};

// Where the block is written: the system hosts file and the program's data folder, which holds
// the clean copy as "\hosts".
struct BlockingPlace {
    std::string hostsPath;
    std::string dataFolder;
    Ownership* ownership = &SystemOwnership();  // whose backup is believed
    // Whether a written start keeps its entries in the data folder (BlockedEntriesPath) and a lift
    // removes them, so that a service started later guards this block and no older one. The
    // service, which keeps its own once its answer is on its way, says no.
    AskedOnFirstUse keepsEntries = true;
    // Asked before every operation on the data folder's files; none is done when it refuses.
    // Nothing to ask when null (a folder of the caller's own, as in a test's tree).
    DataFolderGuard* folder = nullptr;
};

enum class StartOutcome {
    Written,           // the hosts file holds the block
    Refused,           // the write was refused (or would have risked the clean content)
    NotAdministrator,  // nothing was written: the user has no administrator rights
    // Nothing was written: the blocking service that does the work did not answer in time. Never
    // on the pipe: the service's answers carry only the outcomes above.
    ServiceNotAnswering,
};

// Writes the block: the hosts file's content, CR LF, then one block line per entry. The user's
// start (atStartup false) takes the backup whether or not the user is an administrator; the
// start-up resume takes one only with administrator rights and only when none is there. A backup
// already there is never replaced (it may be the only clean copy), and a backup this start took
// is removed again when the write is refused. A hosts file that already holds the complete set
// of the entries' block lines is left as it is (a set more would only make it grow at every
// start of Windows) and the start counts as written, whether or not the file could be written.
StartOutcome StartBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                        bool atStartup, FailureReport& report);

enum class StopOutcome {
    Lifted,            // the clean copy is back (or there was none to put back)
    Refused,           // the clean copy could not be put back; it stays, and so does the block
    NotAdministrator,  // nothing was done: the user has no administrator rights
    // Nothing was done: the block is bound to a password (the blocking service's), and the stop
    // came without it.
    WrongPassword,
    ServiceNotAnswering,  // nothing was done: the blocking service did not answer in time
};

// Puts the backup back over the hosts file and deletes it; a backup that stays is reported at
// line 106, and the block counts as lifted all the same. With no backup (deleted while blocking,
// the data folder wiped), the block lines of the entries are taken out of the hosts file instead
// (LiftBlockWithoutCleanCopy). `letEventsRun` lets pending window events run just before the
// backup is deleted.
StopOutcome StopBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                      FailureReport& report, const std::function<void()>& letEventsRun);

// Lifts a block that has no clean copy to put back: the hosts file loses every run of the
// entries' block lines and the line break a start put before each (WithoutBlockLines) and keeps
// everything else byte for byte, through the safe write. True when the file holds none of those lines
// afterwards (also when there is no file, or nothing to take out); false when the write is
// refused. Throws Failure when the file exists but cannot be read.
bool LiftBlockWithoutCleanCopy(const std::string& hostsPath, const BlockEntries& entries);

// Deletes the clean copy a finished stop left behind: one it put back over the hosts file but
// could not delete. Such a copy equals the hosts file byte for byte, and the hosts file does not
// hold the entries' block lines (a written block adds them after the clean content); kept, it
// would make the next start-up resume a block the parent has seen lifted. True when the copy was
// such a leftover, whether or not the delete succeeded (without rights it fails); false when
// there is no trusted copy, it differs from the hosts file, or either cannot be read.
bool DropCleanCopyOfFinishedStop(const BlockingPlace& place, const BlockEntries& entries);

// Whether the hosts file still holds the block: every listed entry's block line, in the order a
// start writes them. An edit that keeps them (another tool adding lines of its own) still holds;
// a file reset to its default, lines deleted, or no file at all does not. Throws Failure when the
// file exists but cannot be read.
bool HostsHoldBlock(const std::string& hostsPath, const BlockEntries& entries);

enum class PutBackOutcome {
    PutBack,  // a full set of block lines was appended to the file's current content
    Refused,  // the file could not be read or written (read-only, held, a folder in its place)
    Busy,     // another program holds the file open for writing: nothing written, look again soon
};

// How long the hosts folder must go without a change before the hosts file is looked at: a
// change says only that the file may have changed, and a program that writes it may not be done.
inline constexpr unsigned kHostsSettleMs = 200;

// Whether another program holds the hosts file open for writing (or with no sharing at all), as
// one that empties the file and then writes it does: the file is then not what that program
// will leave, and neither a look at it nor a put-back over it may go ahead. False for a missing
// file.
bool HostsFileHeldForWriting(const std::string& hostsPath);

// Puts back a block that another program removed, exactly as a resumed start does: one full set
// of block lines appended to the hosts file's current content through the safe write. A backup
// that is there is left untouched (it still holds the clean copy from before blocking); with none
// there, the current content is kept as the clean copy first. Nothing is written over a file that
// another program holds open for writing (Busy): what it writes would be lost.
PutBackOutcome PutBackBlock(const BlockingPlace& place, const BlockEntries& entries);

#include "HostsBlocker.h"

#include <windows.h>

#include <exception>

#include "FileHelpers.h"
#include "FileOwnership.h"
#include "Handles.h"
#include "HostsBackup.h"

namespace {

// Lines 104 to 112: the clean copy, kept before anything is written. The user's start takes it
// whether or not the user is an administrator, but never over a backup that is already there (see
// DecideBackupAtStart); the start-up resume takes one only with administrator rights. A backup
// whose owner is not trusted was planted: it is moved aside first, so a fresh one is taken. True
// when this start took the copy.
bool KeepCleanCopy(Guarded& p, const BlockingPlace& place, const std::string& backupPath,
                   const BlockEntries& entries, bool userIsAdmin, bool atStartup) {
    bool taken = false;
    if (p.Test(104, [&] { return !atStartup; })) {
        p.Line(106, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            if (DecideBackupAtStart(backupPath) == BackupAction::TakeFresh)
                taken = TakeBackup(place.hostsPath, backupPath, entries);
        });
    } else if (p.Test(108, [&] { return userIsAdmin; })) {
        // A failed look at the backup path takes no copy: the backup kept from the last run
        // may be the only clean copy.
        bool takeFresh = false;
        p.Line(110, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            takeFresh = DecideBackupAtStart(backupPath) == BackupAction::TakeFresh;
        });
        if (takeFresh) p.Line(112, [&] { taken = TakeBackup(place.hostsPath, backupPath, entries); });
    }
    return taken;
}

// The hosts file as line 116 found it.
struct HostsBeforeBlock {
    bool read = false;  // read, or found missing
    bool existed = true;
    std::string text;
};

// Line 124: the hosts file becomes its content, then the block lines, when it was read and its
// content from before the block survives elsewhere; otherwise the start counts as a refused
// write, so a hosts file that cannot be read never becomes the block lines alone. A failure while
// the lines are made for the write is handed to `linesStep`, the step that makes them.
bool WriteBlock(Guarded& p, const BlockingPlace& place, const std::string& backupPath,
                const BlockEntries& entries, const HostsBeforeBlock& hosts, bool backupTaken,
                const std::function<void(const std::function<void()>&)>& linesStep) {
    bool written = false;
    std::exception_ptr linesFailure;
    p.Line(124, [&] {
        const ContentProducer blocked = [&](ContentSink& sink) {
            // The sinks of a write never throw: what does is the making of the lines.
            try {
                PutBlockedHosts(sink, hosts.text, entries);
            } catch (...) {
                linesFailure = std::current_exception();
                throw;
            }
        };
        try {
            written = PreBlockingContentIsSafe(backupTaken, hosts.existed, backupPath) &&
                      // a planted backup that could not be moved aside keeps nothing
                      (backupTaken || !hosts.existed || IsTrustedOwner(backupPath, *place.ownership)) &&
                      WriteFileContent(place.hostsPath, blocked);
        } catch (...) {
            if (!linesFailure) throw;
        }
    });
    if (linesFailure) linesStep([&] { std::rethrow_exception(linesFailure); });
    return written;
}

}  // namespace

StartOutcome StartBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                        bool atStartup, FailureReport& report) {
    Guarded p{report, ReportLocation(kStartBlockingProcedure)};
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    RemovePartialBackup(backupPath);
    const bool backupTaken = KeepCleanCopy(p, place, backupPath, entries, userIsAdmin, atStartup);
    if (!p.Test(114, [&] { return userIsAdmin; })) return StartOutcome::NotAdministrator;

    HostsBeforeBlock hosts;
    p.Line(116, [&] {
        HostsContent read = ReadHostsForBlocking(place.hostsPath);
        hosts.text = std::move(read.text);
        hosts.existed = read.exists;
        hosts.read = true;
    });
    if (!hosts.read) {
        if (backupTaken) DiscardBackupTakenNow(backupPath);
        return StartOutcome::Refused;
    }
    // Lines 118 to 122 make one block line per list entry: here to see whether the hosts file
    // holds them all already (a set more would only make it grow at every start of Windows), and
    // again while line 124 writes them, so the whole text is never held in memory at once. A
    // failure while they are made is reported at line 120 either time.
    const auto linesStep = [&](const std::function<void()>& making) { p.Line(120, making); };
    bool held = false, linesMade = false;
    linesStep([&] {
        held = hosts.existed && HoldsBlockLines(hosts.text, entries);
        linesMade = true;
    });
    if (held) return StartOutcome::Written;
    if (linesMade && WriteBlock(p, place, backupPath, entries, hosts, backupTaken, linesStep))
        return StartOutcome::Written;
    // The copy this start took is of no use without the block, and a later stop would roll the
    // hosts file back to it; a backup kept from before stays. (Never throws.)
    if (backupTaken) DiscardBackupTakenNow(backupPath);
    return StartOutcome::Refused;
}

StopOutcome StopBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                      FailureReport& report, const std::function<void()>& letEventsRun) {
    Guarded p{report, ReportLocation(kStopBlockingProcedure)};
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    if (!p.Test(100, [&] { return userIsAdmin; })) return StopOutcome::NotAdministrator;
    RemovePartialBackup(backupPath);
    // A backup whose owner is not trusted is never copied over the hosts file: it is moved aside
    // and the stop goes on as if there were none.
    const bool cleanCopyKept = p.Test(
        102, [&] { return FileExists(backupPath) && !SetAsideIfUntrusted(backupPath, *place.ownership); });
    // Only a restore known to have succeeded deletes the backup: should it fail, the backup stays
    // and blocking stays on, so the clean copy is kept and the program never says the sites are
    // free while they are blocked. With no clean copy the block lines come out of the hosts file,
    // and only they.
    bool lifted = false;
    p.Line(104, [&] {
        lifted = cleanCopyKept ? IsTrustedOwner(backupPath, *place.ownership) &&
                                     RestoreBackup(backupPath, place.hostsPath)
                               : LiftBlockWithoutCleanCopy(place.hostsPath, entries);
    });
    if (!lifted) return StopOutcome::Refused;
    if (!cleanCopyKept) return StopOutcome::Lifted;
    p.Line(106, [&] {
        letEventsRun();
        DeleteBackupPutBack(backupPath);
    });
    return StopOutcome::Lifted;
}

bool LiftBlockWithoutCleanCopy(const std::string& hostsPath, const BlockEntries& entries) {
    HostsContent hosts = ReadHostsForBlocking(hostsPath);
    if (!hosts.exists) return true;
    std::string clean = WithoutBlockLines(hosts.text, entries);
    return clean.size() == hosts.text.size() || WriteFileText(hostsPath, clean);
}

bool DropCleanCopyOfFinishedStop(const BlockingPlace& place, const BlockEntries& entries) {
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    if (!BackupFileIsPresent(backupPath) || !IsTrustedOwner(backupPath, *place.ownership)) return false;
    try {
        const HostsContent backup = ReadHostsForBlocking(backupPath);
        const HostsContent hosts = ReadHostsForBlocking(place.hostsPath);
        if (!hosts.exists || hosts.text != backup.text) return false;
        // HoldsBlockLines finds no entries held anywhere, even in an empty text: with no entries
        // there is no block the file could hold.
        const bool noEntries = HoldsBlockLines("", entries);
        if (!noEntries && HoldsBlockLines(hosts.text, entries)) return false;
    } catch (...) {
        return false;  // a copy that cannot be compared may be the only clean one: it stays
    }
    DeleteFileForced(backupPath);
    return true;
}

bool HostsHoldBlock(const std::string& hostsPath, const BlockEntries& entries) {
    HostsContent hosts = ReadHostsForBlocking(hostsPath);
    return hosts.exists && HoldsBlockLines(hosts.text, entries);
}

bool HostsFileHeldForWriting(const std::string& hostsPath) {
    // An open that lets others only read is refused while anyone has the file open for writing.
    UniqueFile file(CreateFileA(hostsPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

PutBackOutcome PutBackBlock(const BlockingPlace& place, const BlockEntries& entries) {
    if (HostsFileHeldForWriting(place.hostsPath)) return PutBackOutcome::Busy;
    // The watch says what happened in one notice; a failed step needs no report of its own.
    SilentFailureReport unreported;
    return StartBlock(place, entries, true, true, unreported) == StartOutcome::Written
               ? PutBackOutcome::PutBack
               : PutBackOutcome::Refused;
}

#include "HostsBlocker.h"

#include <exception>

#include "FileHelpers.h"
#include "FileOwnership.h"
#include "HostsBackup.h"

StartOutcome StartBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                        bool atStartup, FailureReport& report) {
    Guarded p{report, ReportLocation(kStartBlockingProcedure)};
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    bool backupTaken = false;  // this start kept the clean copy at the backup path
    bool hostsRead = false;    // line 116 read the hosts file (or found it missing)
    bool hostsExisted = true;
    bool linesMade = false;  // lines 118 to 122 made the block lines
    bool held = false;       // the hosts file already holds them all
    bool written = false;
    std::string previous;  // the hosts file's content before this start
    std::exception_ptr linesFailure;

    RemovePartialBackup(backupPath);
    if (p.Test(104, [&] { return !atStartup; })) {
        // The user's start takes the copy whether or not the user is an administrator, but
        // never over a backup that is already there (see DecideBackupAtStart). A backup whose
        // owner is not trusted was planted: it is moved aside first, so a fresh one is taken.
        p.Line(106, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            if (DecideBackupAtStart(backupPath) == BackupAction::TakeFresh)
                backupTaken = TakeBackup(place.hostsPath, backupPath, entries);
        });
    } else if (p.Test(108, [&] { return userIsAdmin; })) {
        // A failed look at the backup path takes no copy: the backup kept from the last run
        // may be the only clean copy.
        bool takeFresh = false;
        p.Line(110, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            takeFresh = DecideBackupAtStart(backupPath) == BackupAction::TakeFresh;
        });
        if (takeFresh) p.Line(112, [&] { backupTaken = TakeBackup(place.hostsPath, backupPath, entries); });
    }
    if (!p.Test(114, [&] { return userIsAdmin; })) return StartOutcome::NotAdministrator;

    p.Line(116, [&] {
        HostsContent hosts = ReadHostsForBlocking(place.hostsPath);
        previous = std::move(hosts.text);
        hostsExisted = hosts.exists;
        hostsRead = true;
    });
    // Lines 118 to 122 make one block line per list entry: here to see whether the hosts file
    // holds them all already, and again while line 124 writes them (PutBlockedHosts), so the
    // whole text is never held in memory at once.
    if (hostsRead)
        p.Line(120, [&] {
            held = hostsExisted && HoldsBlockLines(previous, entries);
            linesMade = true;
        });
    if (held) return StartOutcome::Written;
    // The hosts file is rewritten only when it was read and its content from before the block
    // survives elsewhere; otherwise the start counts as a refused write. So a hosts file that
    // cannot be read never becomes the block lines alone.
    p.Line(124, [&] {
        const ContentProducer blocked = [&](ContentSink& sink) {
            // The sinks of a write never throw: what does is the making of the lines.
            try {
                PutBlockedHosts(sink, previous, entries);
            } catch (...) {
                linesFailure = std::current_exception();
                throw;
            }
        };
        try {
            written = linesMade && PreBlockingContentIsSafe(backupTaken, hostsExisted, backupPath) &&
                      // a planted backup that could not be moved aside keeps nothing
                      (backupTaken || !hostsExisted || IsTrustedOwner(backupPath, *place.ownership)) &&
                      WriteFileContent(place.hostsPath, blocked);
        } catch (...) {
            if (!linesFailure) throw;
        }
    });
    if (linesFailure) p.Line(120, [&] { std::rethrow_exception(linesFailure); });
    if (written) return StartOutcome::Written;
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
    if (!p.Test(102, [&] {
            return FileExists(backupPath) && !SetAsideIfUntrusted(backupPath, *place.ownership);
        })) {
        // No clean copy: the block lines come out of the hosts file, and only they.
        bool lifted = false;
        p.Line(104, [&] { lifted = LiftBlockWithoutCleanCopy(place.hostsPath, entries); });
        return lifted ? StopOutcome::Lifted : StopOutcome::Refused;
    }
    // Only a restore known to have succeeded deletes the backup: should it fail, the backup stays
    // and blocking stays on, so the clean copy is kept and the program never says the sites are
    // free while they are blocked.
    bool restored = false;
    p.Line(104, [&] {
        restored = IsTrustedOwner(backupPath, *place.ownership) && RestoreBackup(backupPath, place.hostsPath);
    });
    if (!restored) return StopOutcome::Refused;
    p.Line(106, [&] {
        letEventsRun();
        DeleteFileForced(backupPath);
    });
    return StopOutcome::Lifted;
}

bool LiftBlockWithoutCleanCopy(const std::string& hostsPath, const BlockEntries& entries) {
    HostsContent hosts = ReadHostsForBlocking(hostsPath);
    if (!hosts.exists) return true;
    std::string clean = WithoutBlockLines(hosts.text, entries);
    return clean.size() == hosts.text.size() || WriteFileText(hostsPath, clean);
}

bool HostsHoldBlock(const std::string& hostsPath, const BlockEntries& entries) {
    HostsContent hosts = ReadHostsForBlocking(hostsPath);
    return hosts.exists && HoldsBlockLines(hosts.text, entries);
}

PutBackOutcome PutBackBlock(const BlockingPlace& place, const BlockEntries& entries) {
    // The watch says what happened in one notice; a failed step needs no report of its own.
    struct Unreported final : FailureReport {
        void Show(const std::string&, const std::string&, int) override {}
    } unreported;
    return StartBlock(place, entries, true, true, unreported) == StartOutcome::Written
               ? PutBackOutcome::PutBack
               : PutBackOutcome::Refused;
}

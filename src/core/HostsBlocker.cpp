#include "HostsBlocker.h"

#include "FileHelpers.h"
#include "FileOwnership.h"
#include "HostsBackup.h"

StartOutcome StartBlock(const BlockingPlace& place, const BlockEntries& entries, bool userIsAdmin,
                        bool atStartup, FailureReport& report) {
    Guarded p{report, ReportLocation(kStartBlockingProcedure)};
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    bool backupTaken = false;  // this start copied the hosts file to the backup path
    bool hostsRead = false;    // line 116 read the hosts file (or found it missing)
    bool hostsExisted = true;
    bool written = false;
    std::string previous;  // the hosts file's content before this start

    if (p.Test(104, [&] { return !atStartup; })) {
        // The user's start takes the copy whether or not the user is an administrator, but
        // never over a backup that is already there (see DecideBackupAtStart). A backup whose
        // owner is not trusted was planted: it is moved aside first, so a fresh one is taken.
        p.Line(106, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            if (DecideBackupAtStart(backupPath) == BackupAction::TakeFresh) {
                TakeBackup(place.hostsPath, backupPath);
                backupTaken = true;
            }
        });
    } else if (p.Test(108, [&] { return userIsAdmin; })) {
        // A failed look at the backup path takes no copy: the backup kept from the last run
        // may be the only clean copy.
        bool takeFresh = false;
        p.Line(110, [&] {
            SetAsideIfUntrusted(backupPath, *place.ownership);
            takeFresh = DecideBackupAtStart(backupPath) == BackupAction::TakeFresh;
        });
        if (takeFresh) {
            p.Line(112, [&] {
                TakeBackup(place.hostsPath, backupPath);
                backupTaken = true;
            });
        }
    }
    if (!p.Test(114, [&] { return userIsAdmin; })) return StartOutcome::NotAdministrator;

    p.Line(116, [&] {
        HostsContent hosts = ReadHostsForBlocking(place.hostsPath);
        previous = std::move(hosts.text);
        hostsExisted = hosts.exists;
        hostsRead = true;
    });
    // Lines 118 to 122, one block line per list entry, are produced while line 124 writes them
    // (PutBlockedHosts), so the whole text is never held in memory at once.
    //
    // The hosts file is rewritten only when it was read and its content from before the block
    // survives elsewhere; otherwise the start counts as a refused write. So a hosts file that
    // cannot be read never becomes the block lines alone.
    p.Line(124, [&] {
        written = hostsRead && PreBlockingContentIsSafe(backupTaken, hostsExisted, backupPath) &&
                  // a planted backup that could not be moved aside keeps nothing
                  (backupTaken || !hostsExisted || IsTrustedOwner(backupPath, *place.ownership)) &&
                  WriteFileContent(place.hostsPath,
                                   [&](ContentSink& sink) { PutBlockedHosts(sink, previous, entries); });
    });
    if (written) return StartOutcome::Written;
    // The copy this start took is of no use without the block, and a later stop would roll the
    // hosts file back to it; a backup kept from before stays.
    if (backupTaken) p.Line(124, [&] { DiscardBackupTakenNow(backupPath); });
    return StartOutcome::Refused;
}

StopOutcome StopBlock(const BlockingPlace& place, bool userIsAdmin, FailureReport& report,
                      const std::function<void()>& letEventsRun) {
    Guarded p{report, ReportLocation(kStopBlockingProcedure)};
    const std::string backupPath = HostsBackupPath(place.dataFolder);
    if (!p.Test(100, [&] { return userIsAdmin; })) return StopOutcome::NotAdministrator;
    // A backup whose owner is not trusted is never copied over the hosts file: it is moved aside
    // and the stop goes on as if there were none.
    if (!p.Test(102,
                [&] { return FileExists(backupPath) && !SetAsideIfUntrusted(backupPath, *place.ownership); }))
        return StopOutcome::Lifted;
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

namespace {

// Compares what it is given with a text from a position on, without keeping any of it.
class MatchingSink final : public ContentSink {
  public:
    MatchingSink(std::string_view text, size_t at) : text_(text), at_(at) {}
    void Put(const char* data, size_t size) override {
        same_ = same_ && at_ + size <= text_.size() &&
                text_.compare(at_, size, std::string_view(data, size)) == 0;
        at_ += size;
    }
    bool Same() const { return same_; }

  private:
    std::string_view text_;
    size_t at_;
    bool same_ = true;
};

}  // namespace

bool HostsHoldBlock(const std::string& hostsPath, const BlockEntries& entries) {
    HostsContent hosts = ReadHostsForBlocking(hostsPath);
    if (!hosts.exists) return false;
    // The block lines are made piece by piece and compared where the first of them stands, so a
    // long list needs no second copy of its lines in memory.
    std::string first;
    {
        struct FirstLine final : ContentSink {
            std::string& line;
            explicit FirstLine(std::string& into) : line(into) {}
            void Put(const char* data, size_t size) override {
                if (line.find('\n') == std::string::npos) line.append(data, size);
            }
        } firstLine(first);
        BlockLineWriter writer(firstLine);
        entries(writer);
        writer.Finish();
    }
    const size_t end = first.find('\n');
    if (end == std::string::npos) return true;  // no entries: nothing to hold
    first.resize(end + 1);
    for (size_t at = hosts.text.find(first); at != std::string::npos; at = hosts.text.find(first, at + 1)) {
        MatchingSink matching(hosts.text, at);
        BlockLineWriter writer(matching);
        entries(writer);
        writer.Finish();
        if (matching.Same()) return true;
    }
    return false;
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

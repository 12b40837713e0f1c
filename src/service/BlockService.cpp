#include "BlockService.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "DnsCache.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "HostsBlocker.h"
#include "HostsText.h"
#include "ProgramPaths.h"
#include "UserTexts.h"

namespace {

// The entries whose block lines stand in the text as whole lines, in list order.
EntryList EntriesWithLinesIn(std::string_view text, const EntryList& entries) {
    std::unordered_set<std::string_view> blockLines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.starts_with(kBlockLinePrefix)) blockLines.insert(line);
        at = end + 1;
    }
    EntryList found;
    std::string line;
    for (std::string_view entry : entries) {
        line.assign(kBlockLinePrefix).append(HostNameOfEntry(entry));
        if (blockLines.count(line) != 0) found.Add(entry);
    }
    return found;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A tool that resets the hosts file again and again gets the block back every time, but the log
// tells of it at most once in this time, with how many removals the entry stands for.
constexpr ULONGLONG kRemovalLogIntervalMs = 60 * 1000;

// How long the change signal stays set: every program's loop sees it in that time, and a program
// that saw it asks again only after a longer rest, so one change wakes it once.
constexpr LONGLONG kChangeSignalHeldMs = 2000;

}  // namespace

BlockService::BlockService(BlockServiceParts parts)
    : parts_(std::move(parts)),
      scheduled_(ScheduledBlockParts{ScheduleFilePath(FolderOf(parts_.entriesPath)),
                                     ScheduledEntriesPath(FolderOf(parts_.entriesPath)),
                                     LiftFilePath(FolderOf(parts_.entriesPath)), *this, parts_.events,
                                     parts_.clock != nullptr ? *parts_.clock : systemClock_, parts_.folder}),
      requestParts_{parts_.blocker, parts_.startWithWindows, parts_.stop, &scheduled_} {}

void BlockService::Resume() {
    ResumeBlock();
    scheduled_.Load();
    scheduled_.Follow();
}

bool BlockService::StartBlock(const EntryList& entries, const std::string& passwordHash) {
    SilentFailureReport unreported;
    if (parts_.blocker.Start(ListedEntries(entries), true, false, unreported) != StartOutcome::Written)
        return false;
    state_.blocking = true;
    state_.sharedEntries.reset();
    if (&entries != &state_.entries) state_.entries = entries;
    state_.passwordHash = passwordHash;
    Watch();
    return true;
}

bool BlockService::LiftBlock(FailureReport& report) {
    SettleSharedEntries(state_);
    if (parts_.blocker.Stop(ListedEntries(state_.entries), true, report, [] {}) != StopOutcome::Lifted)
        return false;
    Unwatch();
    if (FolderReady()) DeleteFileForced(parts_.entriesPath);
    state_.blocking = false;
    state_.entries.Clear();
    state_.passwordHash.clear();
    return true;
}

void BlockService::ResumeBlock() {
    if (!parts_.blocker.KeepsCleanCopy()) {
        // The block was lifted without the service (by the program itself, or an uninstall): its
        // entries are of no block any more.
        if (FolderReady()) DeleteFileForced(parts_.entriesPath);
        return;
    }
    if (!ReadKeptEntries()) {
        // A lifted block's entries are forgotten, also by a stop that put the clean copy back but
        // could not delete it: that copy, equal to the hosts file, is no block to resume.
        if (parts_.blocker.DropCleanCopyOfFinishedStop(ListedEntries(state_.entries))) {
            DeleteFileForced(parts_.entriesPath);
            return;
        }
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesUnreadable,
                            EntriesUnreadableEventText(parts_.entriesPath));
        return;
    }
    KeepOnlyEntriesInHosts();
    state_.blocking = true;
    CheckBlock(true);
    Watch();
}

void BlockService::KeepOnlyEntriesInHosts() {
    // Whoever wrote the block last kept its entries, but a program that could not (an older
    // version, a full disk) leaves an older block's: of those, only the entries whose lines the
    // hosts file holds are the block now, so sites lifted since are not put back. A file that
    // holds none of them was reset while the service was away, and the whole block goes back.
    try {
        const HostsContent hosts = ReadHostsForBlocking(parts_.hostsPath);
        EntryList inHosts = EntriesWithLinesIn(hosts.text, state_.entries);
        if (!inHosts.empty()) state_.entries = std::move(inHosts);
    } catch (...) {
        // A file that cannot be read (or no memory for the look) tells nothing: the check below
        // handles an unreadable file as a removal.
    }
}

bool BlockService::FolderReady() {
    return parts_.folder == nullptr || parts_.folder->Ready();
}

bool BlockService::ReadKeptEntries() {
    // Kept as the start request that wrote them, bound to the block's password, so they are read
    // with the same checks as a request: a file cut short, grown or written by anything else
    // reads as no entries.
    if (!FolderReady()) return false;
    std::optional<ServiceRequest> kept = ReadKeptStart(parts_.entriesPath);
    if (!kept || kept->entries.empty()) return false;
    state_.entries = std::move(kept->entries);
    state_.passwordHash = std::move(kept->passwordHash);
    return true;
}

void BlockService::KeepEntries(std::string_view startRequest) {
    // The written start's own request holds exactly its entries, in the form they are read back in.
    if (!FolderReady() || !WriteFileContent(parts_.entriesPath, [&](ContentSink& sink) {
            sink.Put(startRequest.data(), startRequest.size());
        }))
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesNotKept,
                            EntriesNotKeptEventText(parts_.entriesPath));
}

// The kept entries bound to the password now in force, written as a start through the pipe would
// carry them.
void BlockService::KeepPassword() {
    KeepEntries(KeptStartText(state_.entries, state_.passwordHash));
}

std::string BlockService::Answer(std::string_view request, CallerGroups& caller) {
    keepAfterAnswer_ = false;
    passwordAfterAnswer_ = false;
    std::string answer = AnswerRequest(request, caller, requestParts_, state_);
    ServiceAnswer outcome;
    if (DecodeAnswer(answer, outcome) != MessageProblem::None) return answer;
    tellAfterAnswer_ =
        (outcome.kind == MessageKind::StartBlockAnswer && outcome.start == StartOutcome::Written) ||
        (outcome.kind == MessageKind::StopBlockAnswer && outcome.stop == StopOutcome::Lifted) ||
        (outcome.kind == MessageKind::SaveScheduleAnswer && outcome.schedule == ScheduleOutcome::Saved) ||
        (outcome.kind == MessageKind::LiftAnswer && outcome.lift == LiftOutcome::Lifted);
    if (outcome.kind == MessageKind::StartBlockAnswer && outcome.start == StartOutcome::Written) {
        // Kept and watched after the answer: the block is in force and its flushes done, and the
        // program need not also wait for this file's. Nothing is served before both are done.
        keepAfterAnswer_ = true;
    } else if (outcome.kind == MessageKind::StopBlockAnswer && outcome.stop == StopOutcome::Lifted) {
        Unwatch();
        if (FolderReady()) DeleteFileForced(parts_.entriesPath);
        scheduled_.AfterStopByHand();
    } else if (outcome.kind == MessageKind::ChangePasswordAnswer &&
               outcome.passwordChange == PasswordChangeOutcome::Changed && state_.blocking) {
        passwordAfterAnswer_ = true;
    }
    return answer;
}

void BlockService::AfterAnswer(std::string_view request) {
    ScopeExit tell([this] {
        if (std::exchange(tellAfterAnswer_, false)) TellPrograms();
    });
    if (std::exchange(passwordAfterAnswer_, false)) {
        try {
            KeepPassword();
        } catch (...) {
            // Only for want of memory: the kept entries keep the password they had, which lifts
            // the block after a restart as the old one did.
        }
        return;
    }
    if (!std::exchange(keepAfterAnswer_, false)) return;
    Watch();
    KeepStartedEntries(request);
    try {
        scheduled_.AfterStartByHand();
    } catch (...) {
        // Only for want of memory: the schedule keeps the entries it had.
    }
}

void BlockService::KeepStartedEntries(std::string_view request) {
    try {
        if (!state_.sharedEntries) {
            KeepEntries(request);
            return;
        }
        const std::string kept = SettleSharedEntries(state_);
        if (!kept.empty()) {
            // The section holds the start as the program wrote it; its password came on the pipe.
            KeepEntries(EncodePasswordBoundStart(state_.passwordHash, kept));
            return;
        }
        // Changed by the caller since they were written: the block stands, but there is nothing
        // the service could put back.
        if (FolderReady()) DeleteFileForced(parts_.entriesPath);
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesNotKept,
                            kSentEntriesUnreadableEventText);
    } catch (...) {
        // Only for want of memory: the block stays written, and kept entries of an older block
        // would put that one back after a restart.
        if (FolderReady()) DeleteFileForced(parts_.entriesPath);
    }
}

void BlockService::Watch() {
    Unwatch();
    // The folder above tells when the hosts folder itself is renamed, deleted or made anew; the
    // watch then follows the hosts path to the folder that stands there now.
    parentWatch_.reset(FindFirstChangeNotificationA(FolderOf(FolderOf(parts_.hostsPath)).c_str(), FALSE,
                                                    FILE_NOTIFY_CHANGE_DIR_NAME));
    WatchHostsFolder();
}

void BlockService::WatchHostsFolder() {
    constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                               FILE_NOTIFY_CHANGE_LAST_WRITE;
    // A folder that cannot be watched (or is gone for now) leaves the block as it was written; the
    // folder above still tells when one stands at the hosts path again.
    folderWatch_.reset(FindFirstChangeNotificationA(FolderOf(parts_.hostsPath).c_str(), FALSE, kChanges));
}

void BlockService::Unwatch() {
    folderWatch_.reset();
    parentWatch_.reset();
    if (settleTimer_) CancelWaitableTimer(settleTimer_.get());
    checkAtStart_ = false;
}

std::vector<HANDLE> BlockService::Handles() {
    std::vector<HANDLE> handles;
    if (scheduled_.Timer() != nullptr) handles.push_back(scheduled_.Timer());
    if (parts_.clockChanged != nullptr) handles.push_back(parts_.clockChanged);
    if (folderWatch_) handles.push_back(folderWatch_.get());
    if (parentWatch_) handles.push_back(parentWatch_.get());
    if (settleTimer_) handles.push_back(settleTimer_.get());
    if (tellTimer_ && parts_.changeSignal != nullptr) handles.push_back(tellTimer_.get());
    return handles;
}

void BlockService::CheckWhenSettled(bool atStart) {
    checkAtStart_ = checkAtStart_ || atStart;
    // Each change sets the time anew. The server waits on the timer with everything else, so
    // requests are served meanwhile.
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(kHostsSettleMs) * 10000;
    if (settleTimer_ && SetWaitableTimer(settleTimer_.get(), &due, 0, nullptr, nullptr, FALSE)) return;
    CheckBlock(std::exchange(checkAtStart_, false));  // no timer to be had: looked at now
}

void BlockService::Signalled(HANDLE handle) {
    if (handle == scheduled_.Timer() || (parts_.clockChanged != nullptr && handle == parts_.clockChanged)) {
        scheduled_.Follow();
        TellPrograms();
        return;
    }
    if (tellTimer_ && handle == tellTimer_.get()) {
        ResetEvent(parts_.changeSignal);
        return;
    }
    // Armed again first, so a change made while this one is handled is not missed.
    if (folderWatch_ && handle == folderWatch_.get()) {
        if (!FindNextChangeNotification(handle)) folderWatch_.reset();
    } else if (parentWatch_ && handle == parentWatch_.get()) {
        if (!FindNextChangeNotification(handle)) parentWatch_.reset();
        WatchHostsFolder();
    } else {
        if (settleTimer_ && handle == settleTimer_.get()) CheckBlock(std::exchange(checkAtStart_, false));
        return;
    }
    CheckWhenSettled(false);
}

void BlockService::TellPrograms() {
    if (parts_.changeSignal == nullptr) return;
    LARGE_INTEGER due;
    due.QuadPart = -kChangeSignalHeldMs * 10000;
    // Without a timer to reset it, the signal is not set: a program would otherwise ask every few
    // seconds for good.
    if (tellTimer_ && SetWaitableTimer(tellTimer_.get(), &due, 0, nullptr, nullptr, FALSE))
        SetEvent(parts_.changeSignal);
}

void BlockService::CheckBlock(bool atStart) {
    if (!state_.blocking || state_.entries.empty()) return;
    // Another program still writing the file (emptied it, say, and not yet written it again):
    // looked at once it is done.
    if (HostsFileHeldForWriting(parts_.hostsPath)) {
        CheckWhenSettled(atStart);
        return;
    }
    const ListedEntries written(state_.entries);
    bool holds = false;
    try {
        holds = parts_.blocker.HoldsBlock(written);
    } catch (const Failure&) {
        // A file that cannot be read is handled like a removal: the put-back says whether the
        // file can be had at all.
    }
    if (holds) return;
    const PutBackOutcome outcome = parts_.blocker.PutBack(written);
    if (outcome == PutBackOutcome::Busy) {
        CheckWhenSettled(atStart);
        return;
    }
    const bool putBack = outcome == PutBackOutcome::PutBack;
    // A refused put-back is tried again at every change until it succeeds, but logged once per
    // removal: a folder that keeps changing would otherwise fill the log.
    const bool told = !putBack && !state_.lastPutBackSucceeded;
    state_.lastPutBackSucceeded = putBack;
    // Every put-back flushes: an answer cached while the lines were gone would outlive them.
    if (putBack) {
        FlushResolverCache();
        ++state_.putBacks;
        // Counted every time, told at most once a minute: the entry after the minute says how
        // many removals there were since the last one.
        ++removalsUntold_;
        const ULONGLONG now = parts_.ticks();
        if (removalToldAt_ && now - *removalToldAt_ < kRemovalLogIntervalMs) return;
        removalToldAt_ = now;
        parts_.events.Write(
            EVENTLOG_WARNING_TYPE, ServiceEvent::BlockPutBack,
            BlockRemovedEventText(atStart, true, parts_.hostsPath, std::exchange(removalsUntold_, 0)));
        return;
    }
    if (!told)
        parts_.events.Write(EVENTLOG_ERROR_TYPE, ServiceEvent::PutBackRefused,
                            BlockRemovedEventText(atStart, false, parts_.hostsPath, 1));
}

#include "BlockService.h"

#include <utility>

#include "DnsCache.h"
#include "Failure.h"
#include "FileHelpers.h"
#include "HostsBlocker.h"

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string PutBackText(bool atStart, bool putBack, const std::string& hostsPath) {
    std::string text = atStart ? "When the Parvalisk service started, the hosts file " + hostsPath +
                                     " no longer held its block"
                               : "Another program removed Parvalisk's block from the hosts file " + hostsPath;
    return text + (putBack ? ". It has been put back." : ", and it could not be put back.");
}

}  // namespace

BlockService::BlockService(BlockServiceParts parts)
    : parts_(std::move(parts)),
      requestParts_{parts_.blocker, parts_.startup, parts_.tokenCalls, parts_.stop} {}

void BlockService::Resume() {
    if (!parts_.blocker.KeepsCleanCopy()) {
        // The block was lifted without the service (by the program itself, or an uninstall): its
        // entries are of no block any more.
        DeleteFileForced(parts_.entriesPath);
        return;
    }
    if (!ReadKeptEntries()) {
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesUnreadable,
                            "The Parvalisk service could not read the blocked entries kept in " +
                                parts_.entriesPath +
                                ": it has nothing to put back until blocking starts again.");
        return;
    }
    state_.blocking = true;
    CheckBlock(true);
    Watch();
}

bool BlockService::ReadKeptEntries() {
    // Kept as the start request that wrote them, so they are read with the same checks as a
    // request: a file cut short, grown or written by anything else reads as no entries.
    ServiceRequest kept;
    try {
        if (DecodeRequest(ReadFileText(parts_.entriesPath), kept) != MessageProblem::None) return false;
    } catch (const Failure&) {
        return false;
    }
    if (kept.kind != MessageKind::StartBlockRequest || kept.entries.empty()) return false;
    state_.entries = std::move(kept.entries);
    return true;
}

void BlockService::KeepEntries(std::string_view startRequest) {
    // The written start's own request holds exactly its entries, in the form they are read back in.
    if (!WriteFileContent(parts_.entriesPath,
                          [&](ContentSink& sink) { sink.Put(startRequest.data(), startRequest.size()); }))
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesNotKept,
                            "The Parvalisk service could not keep the blocked entries in " +
                                parts_.entriesPath + ": after a restart it cannot put the block back.");
}

std::string BlockService::Answer(std::string_view request, CallerGroups& caller) {
    keepAfterAnswer_ = false;
    std::string answer = AnswerRequest(request, caller, requestParts_, state_);
    ServiceAnswer outcome;
    if (DecodeAnswer(answer, outcome) != MessageProblem::None) return answer;
    if (outcome.kind == MessageKind::StartBlockAnswer && outcome.start == StartOutcome::Written) {
        // Kept and watched after the answer: the block is in force and its flushes done, and the
        // program need not also wait for this file's. Nothing is served before both are done.
        keepAfterAnswer_ = true;
    } else if (outcome.kind == MessageKind::StopBlockAnswer && outcome.stop == StopOutcome::Lifted) {
        Unwatch();
        DeleteFileForced(parts_.entriesPath);
    }
    return answer;
}

void BlockService::AfterAnswer(std::string_view request) {
    if (!std::exchange(keepAfterAnswer_, false)) return;
    Watch();
    try {
        if (!state_.sharedEntries) {
            KeepEntries(request);
            return;
        }
        const std::string kept = SettleSharedEntries(state_);
        if (!kept.empty()) {
            KeepEntries(kept);
            return;
        }
        // Changed by the caller since they were written: the block stands, but there is nothing
        // the service could put back.
        DeleteFileForced(parts_.entriesPath);
        parts_.events.Write(EVENTLOG_WARNING_TYPE, ServiceEvent::EntriesNotKept,
                            "The Parvalisk service could not read back the blocked entries it was sent: it "
                            "cannot put the block back until blocking starts again.");
    } catch (...) {
        // Only for want of memory: the block stays written, and kept entries of an older block
        // would put that one back after a restart.
        DeleteFileForced(parts_.entriesPath);
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
    if (folderWatch_) handles.push_back(folderWatch_.get());
    if (parentWatch_) handles.push_back(parentWatch_.get());
    if (settleTimer_) handles.push_back(settleTimer_.get());
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
    }
    if (!told)
        parts_.events.Write(putBack ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE,
                            putBack ? ServiceEvent::BlockPutBack : ServiceEvent::PutBackRefused,
                            PutBackText(atStart, putBack, parts_.hostsPath));
}

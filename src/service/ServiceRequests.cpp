#include "ServiceRequests.h"

#include <optional>

#include "FileHelpers.h"
#include "PasswordHash.h"

namespace {

// The pipe caller check: what the caller's own token says of the Administrators group, read once
// per request.
struct PipeCallerRights {
    bool administrator = false;  // the group is there, whatever its attributes
    bool elevated = false;       // and enabled: it may lift a block without its password
};

PipeCallerRights RightsOfPipeCaller(CallerGroups& caller) {
    const TokenGroupList* groups = caller.Groups();
    if (groups == nullptr) return {};
    const std::optional<DWORD> attributes = AdministratorsGroupAttributes(*groups);
    if (!attributes) return {};
    // An administrator's program that was not elevated holds the group for deny only.
    return {true, (*attributes & SE_GROUP_ENABLED) != 0 && (*attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0};
}

// Whether the request may lift (or bind anew) the block in force: it gives the password the block
// is bound to (any will do for a block bound to none), or comes from an elevated caller. A hash
// that cannot be checked lifts nothing.
bool MayLift(const ServiceRequest& request, const PipeCallerRights& rights, const std::string& passwordHash) {
    if (rights.elevated || passwordHash.empty()) return true;
    try {
        return TypedPasswordAccepted(request.password, passwordHash);
    } catch (const Failure&) {
        return false;
    }
}

bool MayLift(const ServiceRequest& request, const PipeCallerRights& rights, const ServiceState& state) {
    return MayLift(request, rights, state.passwordHash);
}

// A schedule or a lift loosens the block in force, or the schedule's blocks to come when none is.
bool MayLoosenSchedule(const ServiceRequest& request, const PipeCallerRights& rights,
                       const ServiceState& state, const ScheduleKeeper& schedule) {
    return MayLift(request, rights, state.blocking ? state.passwordHash : schedule.PasswordHash());
}

// Whether a start may bind the block to its password. A block in force keeps the one it has: a
// start may repeat it (the program's resumed start) or bind a block that had none, but another
// password in its place, which would let whoever chose it lift the block, takes an elevated caller.
bool MayBind(const ServiceRequest& request, const PipeCallerRights& rights, const ServiceState& state) {
    return !state.blocking || state.passwordHash.empty() || request.passwordHash == state.passwordHash ||
           rights.elevated;
}

// Whether the list holds an entry: read only as far as the first.
bool HasEntries(const BlockList& entries) {
    struct Found {};
    try {
        entries.ForEach([](std::string_view) { throw Found{}; });
    } catch (const Found&) {
        return true;
    }
    return false;
}

std::string AnswerStatus(const ServiceState& state, ServiceParts& parts) {
    ServiceStatus status;
    status.blocking = state.blocking;
    status.entryCount = static_cast<std::uint32_t>(state.entries.size());
    status.lastPutBackSucceeded = state.lastPutBackSucceeded;
    status.putBacks = state.putBacks;
    if (parts.schedule != nullptr) parts.schedule->AddToStatus(status);
    return EncodeStatusAnswer(status);
}

std::string AnswerSaveSchedule(ServiceRequest& request, const PipeCallerRights& rights, ServiceParts& parts,
                               const ServiceState& state) {
    if (!rights.administrator) return EncodeSaveScheduleAnswer(ScheduleOutcome::NotAdministrator);
    if (parts.schedule == nullptr) return EncodeSaveScheduleAnswer(ScheduleOutcome::Refused);
    if (!MayLoosenSchedule(request, rights, state, *parts.schedule))
        return EncodeSaveScheduleAnswer(ScheduleOutcome::WrongPassword);
    return EncodeSaveScheduleAnswer(parts.schedule->Save(request));
}

std::string AnswerLift(const ServiceRequest& request, const PipeCallerRights& rights, ServiceParts& parts,
                       const ServiceState& state) {
    if (!rights.administrator) return EncodeLiftAnswer(LiftOutcome::NotAdministrator, 0, {});
    if (parts.schedule == nullptr || request.minutes == 0 || request.minutes > kLongestLiftMinutes)
        return EncodeLiftAnswer(LiftOutcome::Refused, 0, {});
    if (!MayLoosenSchedule(request, rights, state, *parts.schedule))
        return EncodeLiftAnswer(LiftOutcome::WrongPassword, 0, {});
    CollectedFailures report;
    std::uint64_t until = 0;
    const LiftOutcome outcome = parts.schedule->Lift(request.minutes, until, report);
    return EncodeLiftAnswer(outcome, until, report.failures);
}

std::string AnswerStart(ServiceRequest& request, const PipeCallerRights& rights, ServiceParts& parts,
                        ServiceState& state) {
    // Refused here rather than in the blocker: the user's start would keep a clean copy even for
    // a non-administrator, and a request from one changes no file.
    if (!rights.administrator) return EncodeStartBlockAnswer(StartOutcome::NotAdministrator, {});
    // A start of no entries would keep a clean copy and write no line, and leave a block with
    // nothing to put back: refused, as the window refuses it.
    if (request.entries.empty() || !MayBind(request, rights, state))
        return EncodeStartBlockAnswer(StartOutcome::Refused, {});
    CollectedFailures report;
    const StartOutcome outcome =
        parts.blocker.Start(ListedEntries(request.entries), true, request.atStartup, report);
    if (outcome == StartOutcome::Written) {
        state.blocking = true;
        state.entries = std::move(request.entries);
        state.passwordHash = std::move(request.passwordHash);
    }
    return EncodeStartBlockAnswer(outcome, report.failures, state.putBacks);
}

// A start whose request lies in the caller's file: its entries are read there while the
// caller still writes them, and kept once the answer is on its way (SettleSharedEntries).
std::string AnswerSharedStart(ServiceRequest& request, CallerGroups& caller, const PipeCallerRights& rights,
                              ServiceParts& parts, ServiceState& state) {
    // Nothing of a non-administrator's is even looked at.
    if (!rights.administrator) return EncodeStartBlockAnswer(StartOutcome::NotAdministrator, {});
    if (!MayBind(request, rights, state)) return EncodeStartBlockAnswer(StartOutcome::Refused, {});
    std::shared_ptr<SharedListView> view;
    try {
        view = caller.OpenSharedList(request.sharedSection);
    } catch (const Failure&) {
        // No list to read: nothing written, as for a request that went wrong.
        return EncodeStartBlockAnswer(StartOutcome::Refused, {});
    }
    const SharedEntries entries(*view, request.atStartup, parts.stop);
    // No entries: refused before a clean copy is taken. A list that does not read is left to the
    // start, which reports it at its step.
    bool empty = false;
    try {
        empty = !HasEntries(entries);
    } catch (const Failure&) {
    }
    if (empty) return EncodeStartBlockAnswer(StartOutcome::Refused, {});
    CollectedFailures report;
    const StartOutcome outcome = parts.blocker.Start(entries, true, request.atStartup, report);
    if (outcome == StartOutcome::Written) {
        state.blocking = true;
        state.entries.Clear();
        state.sharedEntries = std::move(view);
        state.passwordHash = std::move(request.passwordHash);
    }
    return EncodeStartBlockAnswer(outcome, report.failures, state.putBacks);
}

std::string AnswerStop(const ServiceRequest& request, const PipeCallerRights& rights, ServiceParts& parts,
                       ServiceState& state) {
    if (!rights.administrator) return EncodeStopBlockAnswer(StopOutcome::NotAdministrator, {});
    // Without the block's password the block stays, as it is, and so does its clean copy.
    if (!MayLift(request, rights, state)) return EncodeStopBlockAnswer(StopOutcome::WrongPassword, {});
    CollectedFailures report;
    // Without a clean copy the lines that come out are those of the block the service wrote: its
    // kept entries, whatever list the caller holds now. Only when it keeps none (a block written
    // without it) does the caller's list say which lines they are.
    const EntryList& written = state.entries.empty() ? request.entries : state.entries;
    // No window waits on the service: there are no pending events to let run.
    const StopOutcome outcome = parts.blocker.Stop(ListedEntries(written), true, report, [] {});
    if (outcome == StopOutcome::Lifted) {
        state.blocking = false;
        state.entries.Clear();
        state.passwordHash.clear();
    }
    return EncodeStopBlockAnswer(outcome, report.failures);
}

std::string AnswerChangePassword(ServiceRequest& request, const PipeCallerRights& rights,
                                 ServiceState& state) {
    if (!rights.administrator) return EncodeChangePasswordAnswer(PasswordChangeOutcome::NotAdministrator);
    // With no block in force nothing is bound: the next start brings the new password.
    if (!state.blocking) return EncodeChangePasswordAnswer(PasswordChangeOutcome::Changed);
    if (!MayLift(request, rights, state))
        return EncodeChangePasswordAnswer(PasswordChangeOutcome::WrongPassword);
    state.passwordHash = std::move(request.passwordHash);
    return EncodeChangePasswordAnswer(PasswordChangeOutcome::Changed);
}

std::string AnswerPutBack(const ServiceRequest& request, const PipeCallerRights& rights, ServiceParts& parts,
                          ServiceState& state) {
    // The put-back writes the hosts file: refused to a non-administrator, and that refusal is not
    // a failed put-back of the service's own block. It lifts nothing, so it needs no password.
    if (!rights.administrator) return EncodePutBackAnswer(PutBackOutcome::Refused, {});
    if (parts.schedule != nullptr && parts.schedule->KeepsBlockLifted())
        return EncodePutBackAnswer(PutBackOutcome::Refused, {});
    const PutBackOutcome outcome = parts.blocker.PutBack(ListedEntries(request.entries));
    state.lastPutBackSucceeded = outcome == PutBackOutcome::PutBack;
    return EncodePutBackAnswer(outcome, {});
}

std::string AnswerStartWithWindows(const ServiceRequest& request, const PipeCallerRights& rights,
                                   ServiceParts& parts) {
    if (!rights.administrator)
        return EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome::NotAdministrator);
    SwitchMachineStartWithWindows(request.on, parts.startWithWindows);
    return EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome::Switched);
}

}  // namespace

std::optional<ServiceRequest> ReadKeptStart(const std::string& path) {
    ServiceRequest kept;
    try {
        if (DecodeRequest(ReadFileText(path), kept) != MessageProblem::None) return std::nullopt;
    } catch (const Failure&) {
        return std::nullopt;
    }
    if (kept.kind != MessageKind::StartBlockRequest) return std::nullopt;
    return kept;
}

std::string KeptStartText(const EntryList& entries, const std::string& passwordHash) {
    return EncodePasswordBoundStart(passwordHash, EncodeStartBlockRequest(entries, false));
}

std::string SettleSharedEntries(ServiceState& state) {
    const std::shared_ptr<SharedListView> view = std::move(state.sharedEntries);
    if (!view) return {};
    std::string kept;
    try {
        // Copied once and read from the copy: what the caller changes afterwards changes nothing.
        kept = view->Complete();
    } catch (const Failure&) {
        return {};
    }
    ServiceRequest request;
    // A plain start, as the program writes it: its password came with the pipe's request.
    if (DecodeRequest(kept, request) != MessageProblem::None ||
        request.kind != MessageKind::StartBlockRequest || !request.passwordHash.empty())
        return {};
    state.entries = std::move(request.entries);
    return kept;
}

std::string AnswerRequest(std::string_view request, CallerGroups& caller, ServiceParts& parts,
                          ServiceState& state) {
    // Whatever comes next reads the entries of the last start.
    SettleSharedEntries(state);
    ServiceRequest decoded;
    if (const MessageProblem problem = DecodeRequest(request, decoded); problem != MessageProblem::None)
        return EncodeMalformedAnswer(problem);
    if (decoded.kind == MessageKind::StatusRequest) return AnswerStatus(state, parts);

    const PipeCallerRights rights = RightsOfPipeCaller(caller);
    switch (decoded.kind) {
        case MessageKind::StartBlockRequest:
            return AnswerStart(decoded, rights, parts, state);
        case MessageKind::SharedStartBlockRequest:
            return AnswerSharedStart(decoded, caller, rights, parts, state);
        case MessageKind::StopBlockRequest:
            return AnswerStop(decoded, rights, parts, state);
        case MessageKind::PutBackRequest:
            return AnswerPutBack(decoded, rights, parts, state);
        case MessageKind::ChangePasswordRequest:
            return AnswerChangePassword(decoded, rights, state);
        case MessageKind::SaveScheduleRequest:
            return AnswerSaveSchedule(decoded, rights, parts, state);
        case MessageKind::LiftRequest:
            return AnswerLift(decoded, rights, parts, state);
        default:
            return AnswerStartWithWindows(decoded, rights, parts);
    }
}

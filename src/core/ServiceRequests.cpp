#include "ServiceRequests.h"

namespace {

std::string AnswerStatus(const ServiceState& state) {
    ServiceStatus status;
    status.blocking = state.blocking;
    status.entryCount = static_cast<std::uint32_t>(state.entries.size());
    status.lastPutBackSucceeded = state.lastPutBackSucceeded;
    status.putBacks = state.putBacks;
    return EncodeStatusAnswer(status);
}

std::string AnswerStart(ServiceRequest& request, bool administrator, ServiceParts& parts,
                        ServiceState& state) {
    // Refused here rather than in the blocker: the user's start would keep a clean copy even for
    // a non-administrator, and a request from one changes no file.
    if (!administrator) return EncodeStartBlockAnswer(StartOutcome::NotAdministrator, {});
    CollectedFailures report;
    const StartOutcome outcome =
        parts.blocker.Start(ListedEntries(request.entries), true, request.atStartup, report);
    if (outcome == StartOutcome::Written) {
        state.blocking = true;
        state.entries = std::move(request.entries);
    }
    return EncodeStartBlockAnswer(outcome, report.failures, state.putBacks);
}

// A start whose request lies in the caller's file: its entries are read there while the
// caller still writes them, and kept once the answer is on its way (SettleSharedEntries).
std::string AnswerSharedStart(const ServiceRequest& request, CallerGroups& caller, bool administrator,
                              ServiceParts& parts, ServiceState& state) {
    // Nothing of a non-administrator's is even looked at.
    if (!administrator) return EncodeStartBlockAnswer(StartOutcome::NotAdministrator, {});
    std::shared_ptr<SharedListView> view;
    try {
        view = caller.OpenSharedList(request.sharedSection);
    } catch (const Failure&) {
        // No list to read: nothing written, as for a request that went wrong.
        return EncodeStartBlockAnswer(StartOutcome::Refused, {});
    }
    const SharedEntries entries(*view, request.atStartup, parts.stop);
    CollectedFailures report;
    const StartOutcome outcome = parts.blocker.Start(entries, true, request.atStartup, report);
    if (outcome == StartOutcome::Written) {
        state.blocking = true;
        state.entries.Clear();
        state.sharedEntries = std::move(view);
    }
    return EncodeStartBlockAnswer(outcome, report.failures, state.putBacks);
}

std::string AnswerStop(const ServiceRequest& request, bool administrator, ServiceParts& parts,
                       ServiceState& state) {
    if (!administrator) return EncodeStopBlockAnswer(StopOutcome::NotAdministrator, {});
    CollectedFailures report;
    // No window waits on the service: there are no pending events to let run.
    const StopOutcome outcome = parts.blocker.Stop(ListedEntries(request.entries), true, report, [] {});
    if (outcome == StopOutcome::Lifted) {
        state.blocking = false;
        state.entries.Clear();
    }
    return EncodeStopBlockAnswer(outcome, report.failures);
}

std::string AnswerPutBack(const ServiceRequest& request, bool administrator, ServiceParts& parts,
                          ServiceState& state) {
    // The put-back writes the hosts file: refused to a non-administrator, and that refusal is not
    // a failed put-back of the service's own block.
    if (!administrator) return EncodePutBackAnswer(PutBackOutcome::Refused, {});
    const PutBackOutcome outcome = parts.blocker.PutBack(ListedEntries(request.entries));
    state.lastPutBackSucceeded = outcome == PutBackOutcome::PutBack;
    return EncodePutBackAnswer(outcome, {});
}

std::string AnswerStartWithWindows(const ServiceRequest& request, bool administrator, ServiceParts& parts) {
    if (!administrator) return EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome::NotAdministrator);
    SwitchMachineStartup(request.on, parts.startup);
    return EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome::Switched);
}

}  // namespace

bool CallerIsAdministrator(CallerGroups& caller, TokenCalls& calls) {
    const TokenGroupList* groups = caller.Groups();
    return groups != nullptr && GroupsIncludeAdministrators(*groups, calls);
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
    if (DecodeRequest(kept, request) != MessageProblem::None ||
        request.kind != MessageKind::StartBlockRequest)
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
    if (decoded.kind == MessageKind::StatusRequest) return AnswerStatus(state);

    const bool administrator = CallerIsAdministrator(caller, parts.tokenCalls);
    switch (decoded.kind) {
        case MessageKind::StartBlockRequest:
            return AnswerStart(decoded, administrator, parts, state);
        case MessageKind::SharedStartBlockRequest:
            return AnswerSharedStart(decoded, caller, administrator, parts, state);
        case MessageKind::StopBlockRequest:
            return AnswerStop(decoded, administrator, parts, state);
        case MessageKind::PutBackRequest:
            return AnswerPutBack(decoded, administrator, parts, state);
        default:
            return AnswerStartWithWindows(decoded, administrator, parts);
    }
}

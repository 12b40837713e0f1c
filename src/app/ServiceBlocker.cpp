#include "ServiceBlocker.h"

#include "Failure.h"

template <typename Encode>
std::optional<ServiceAnswer> ServiceBlocker::Ask(Encode encode, MessageKind answerKind) const {
    std::string request;
    try {
        request = encode();
    } catch (const Failure&) {
        // A list more than one message may carry: refused where a service answers (a default
        // answer refuses everything and reports nothing), done here where none does.
        if (ExchangeWithService(EncodeStatusRequest(), options_).outcome ==
            ServiceExchange::Outcome::NoService)
            return std::nullopt;
        return ServiceAnswer{};
    }
    return AskService(request, answerKind, options_);
}

StartOutcome ServiceBlocker::Start(const BlockList& entries, bool userIsAdmin, bool atStartup,
                                   FailureReport& report) {
    // The window's own check stands: whom it takes for no administrator the service would refuse
    // too, and nothing is asked or written for them.
    if (!userIsAdmin) return StartOutcome::NotAdministrator;
    const std::optional<ServiceAnswer> answer =
        Ask([&] { return EncodeStartBlockRequest(entries, atStartup); }, MessageKind::StartBlockAnswer);
    if (!answer) return direct_.Start(entries, userIsAdmin, atStartup, report);
    ShowReportedFailures(answer->failures, report);
    if (answer->start == StartOutcome::Written) seenPutBacks_ = answer->putBacks;
    return answer->start;
}

StopOutcome ServiceBlocker::Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                                 const std::function<void()>& letEventsRun) {
    if (!userIsAdmin) return StopOutcome::NotAdministrator;
    const std::optional<ServiceAnswer> answer =
        Ask([&] { return EncodeStopBlockRequest(entries); }, MessageKind::StopBlockAnswer);
    if (!answer) return direct_.Stop(entries, userIsAdmin, report, letEventsRun);
    ShowReportedFailures(answer->failures, report);
    return answer->stop;
}

std::optional<std::uint32_t> ServiceBlocker::ServicePutBacks() const {
    const std::optional<ServiceAnswer> answer =
        AskService(EncodeStatusRequest(), MessageKind::StatusAnswer, options_);
    if (!answer || answer->kind != MessageKind::StatusAnswer) return std::nullopt;
    return answer->status.putBacks;
}

bool ServiceBlocker::PutBackElsewhereSinceAsked() {
    if (!seenPutBacks_) return false;
    const std::optional<std::uint32_t> now = ServicePutBacks();
    if (!now) return false;
    // A count that went down is a service started again since: it is where the count stands now.
    const bool grew = *now > *seenPutBacks_;
    seenPutBacks_ = now;
    return grew;
}

PutBackOutcome ServiceBlocker::PutBack(const BlockList& entries) {
    // The service watches its own block and may have put the lines back already; asked, it puts
    // them back or finds them there, and either way answers that they are back.
    const std::optional<ServiceAnswer> answer =
        Ask([&] { return EncodePutBackRequest(entries); }, MessageKind::PutBackAnswer);
    if (!answer) return direct_.PutBack(entries);
    return answer->putBack;
}

#include "ServiceBlocker.h"

#include "Failure.h"

template <typename Encode>
std::optional<std::string> ServiceBlocker::Request(Encode encode) {
    try {
        return encode();
    } catch (const Failure&) {
        return std::nullopt;  // more than one message may carry
    }
}

bool ServiceBlocker::ServiceAnswers() const {
    return ExchangeWithService(EncodeStatusRequest(), options_).outcome !=
           ServiceExchange::Outcome::NoService;
}

StartOutcome ServiceBlocker::Start(const BlockList& entries, bool userIsAdmin, bool atStartup,
                                   FailureReport& report) {
    // The window's own check stands: whom it takes for no administrator the service would refuse
    // too, and nothing is asked or written for them.
    if (!userIsAdmin) return StartOutcome::NotAdministrator;
    const std::optional<std::string> request =
        Request([&] { return EncodeStartBlockRequest(entries, atStartup); });
    if (!request) {
        if (ServiceAnswers()) return StartOutcome::Refused;
        return direct_.Start(entries, userIsAdmin, atStartup, report);
    }
    const std::optional<ServiceAnswer> answer = AskService(*request, MessageKind::StartBlockAnswer, options_);
    if (!answer) return direct_.Start(entries, userIsAdmin, atStartup, report);
    ShowReportedFailures(answer->failures, report);
    if (answer->start == StartOutcome::Written) seenPutBacks_ = answer->putBacks;
    return answer->start;
}

StopOutcome ServiceBlocker::Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                                 const std::function<void()>& letEventsRun) {
    if (!userIsAdmin) return StopOutcome::NotAdministrator;
    const std::optional<std::string> request = Request([&] { return EncodeStopBlockRequest(entries); });
    if (!request) {
        if (ServiceAnswers()) return StopOutcome::Refused;
        return direct_.Stop(entries, userIsAdmin, report, letEventsRun);
    }
    const std::optional<ServiceAnswer> answer = AskService(*request, MessageKind::StopBlockAnswer, options_);
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
    const std::optional<std::string> request = Request([&] { return EncodePutBackRequest(entries); });
    if (!request) return ServiceAnswers() ? PutBackOutcome::Refused : direct_.PutBack(entries);
    const std::optional<ServiceAnswer> answer = AskService(*request, MessageKind::PutBackAnswer, options_);
    if (!answer) return direct_.PutBack(entries);
    return answer->putBack;
}

#include "ServiceBlocker.h"

#include "Failure.h"
#include "MessagePump.h"
#include "SharedList.h"

namespace {

// Whether the start request of these entries would be long enough to go through a shared file.
// Counts only as far as it needs to.
bool IsLong(const BlockList& entries) {
    struct LongEnough {};
    size_t bytes = kServiceMessageHeaderSize + 1 + MessageWriter::kCountBytes;
    try {
        entries.ForEach([&](std::string_view entry) {
            bytes += MessageWriter::kCountBytes + entry.size();
            if (bytes >= kSharedListThreshold) throw LongEnough{};
        });
    } catch (const LongEnough&) {
        return true;
    }
    return false;
}

bool IsService(ServiceExchange::Outcome outcome) {
    return outcome != ServiceExchange::Outcome::NoService && outcome != ServiceExchange::Outcome::Impostor;
}

}  // namespace

ServiceBlocker::ServiceBlocker(Blocker& direct, ServicePipeOptions options, SharedListWrite sharedWrite)
    : direct_(direct), options_(std::move(options)), sharedWrite_(std::move(sharedWrite)) {
    if (!options_.wait) options_.wait = WaitWhileEventsRun;
}

std::optional<ServiceAnswer> ServiceBlocker::Exchange(std::string_view request, MessageKind answerKind,
                                                      const WhileServed& whileServed) {
    const ServiceExchange exchange = ExchangeWithService(request, options_, whileServed);
    lastByService_ = IsService(exchange.outcome);
    notAnswering_ = exchange.outcome == ServiceExchange::Outcome::Failed;
    if (!lastByService_) return std::nullopt;
    ServiceAnswer answer;
    if (exchange.outcome == ServiceExchange::Outcome::Answered &&
        DecodeAnswer(exchange.answer, answer) == MessageProblem::None && answer.kind == answerKind)
        return answer;
    // A default answer is the sound one: every outcome in it is a refusal, and it reports nothing.
    return ServiceAnswer{};
}

template <typename Encode>
std::optional<ServiceAnswer> ServiceBlocker::Ask(Encode encode, MessageKind answerKind,
                                                 const WhileServed& whileServed) {
    std::string request;
    try {
        request = encode();
    } catch (const Failure&) {
        // A list more than one message may carry: refused where a service answers (a default
        // answer refuses everything and reports nothing), done here where none does.
        const ServiceExchange status = ExchangeWithService(EncodeStatusRequest(), options_);
        lastByService_ = IsService(status.outcome);
        notAnswering_ = false;
        if (!lastByService_) return std::nullopt;
        return ServiceAnswer{};
    }
    return Exchange(request, answerKind, whileServed);
}

std::optional<ServiceAnswer> ServiceBlocker::AskToStart(const BlockList& entries, bool atStartup,
                                                        const std::string& passwordHash) {
    const auto encode = [&] {
        return EncodePasswordBoundStart(passwordHash, EncodeStartBlockRequest(entries, atStartup));
    };
    if (!IsLong(entries)) return Ask(encode, MessageKind::StartBlockAnswer);
    // A long list goes into a file the service reads, and is written there while the service
    // already reads it and writes the first block lines.
    std::optional<SharedListWriter> shared;
    try {
        shared.emplace(sharedWrite_);
    } catch (const Failure&) {
        return Ask(encode, MessageKind::StartBlockAnswer);  // nowhere to share it: through the pipe
    }
    auto filled = SharedListWriter::Filled::Complete;
    std::optional<ServiceAnswer> answer = Ask(
        [&] {
            return EncodePasswordBoundStart(passwordHash,
                                            EncodeSharedStartBlockRequest(shared->File(), atStartup));
        },
        MessageKind::StartBlockAnswer, [&] { filled = shared->Fill(entries, atStartup); });
    // The service refused a spoilt request. A list more than one message may carry is refused, as
    // through the pipe, and reports nothing; one the file would not take goes through the pipe.
    if (!answer || notAnswering_ || filled == SharedListWriter::Filled::Complete) return answer;
    if (filled == SharedListWriter::Filled::TooLong) return ServiceAnswer{};
    return Ask(encode, MessageKind::StartBlockAnswer);
}

StartOutcome ServiceBlocker::Start(const BlockList& entries, bool userIsAdmin, bool atStartup,
                                   FailureReport& report, const std::string& passwordHash) {
    // The window's own check stands: whom it takes for no administrator the service would refuse
    // too, and nothing is asked or written for them.
    if (!userIsAdmin) return StartOutcome::NotAdministrator;
    const std::optional<ServiceAnswer> answer = AskToStart(entries, atStartup, passwordHash);
    if (!answer) return direct_.Start(entries, userIsAdmin, atStartup, report);
    if (notAnswering_) return StartOutcome::ServiceNotAnswering;
    ShowReportedFailures(answer->failures, report);
    if (answer->start == StartOutcome::Written) seenPutBacks_ = answer->putBacks;
    return answer->start;
}

StopOutcome ServiceBlocker::Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                                 const std::function<void()>& letEventsRun, const std::string& password) {
    if (!userIsAdmin) return StopOutcome::NotAdministrator;
    const std::optional<ServiceAnswer> answer =
        Ask([&] { return EncodeStopBlockRequest(entries, password); }, MessageKind::StopBlockAnswer);
    if (!answer) return direct_.Stop(entries, userIsAdmin, report, letEventsRun);
    if (notAnswering_) return StopOutcome::ServiceNotAnswering;
    ShowReportedFailures(answer->failures, report);
    return answer->stop;
}

PasswordChangeOutcome ServiceBlocker::ChangePassword(const std::string& oldPassword,
                                                     const std::string& newPasswordHash) {
    // Without a service no block is bound to a password; an exchange that failed changed nothing
    // (a default answer says so).
    const std::optional<ServiceAnswer> answer =
        Ask([&] { return EncodeChangePasswordRequest(oldPassword, newPasswordHash); },
            MessageKind::ChangePasswordAnswer);
    return answer ? answer->passwordChange : PasswordChangeOutcome::Changed;
}

std::optional<std::uint32_t> ServiceBlocker::ServicePutBacks() {
    const std::optional<ServiceAnswer> answer = Exchange(EncodeStatusRequest(), MessageKind::StatusAnswer);
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

std::optional<ServiceStatus> ServiceBlocker::ScheduleStatus() {
    const std::optional<ServiceAnswer> answer = Exchange(EncodeStatusRequest(), MessageKind::StatusAnswer);
    if (!answer || answer->kind != MessageKind::StatusAnswer) return std::nullopt;
    return answer->status;
}

std::optional<ServiceAnswer> ServiceBlocker::SaveSchedule(const std::string& password,
                                                          const std::string& passwordHash,
                                                          const std::string& schedule,
                                                          const BlockList& entries) {
    return Ask([&] { return EncodeSaveScheduleRequest(password, passwordHash, schedule, entries); },
               MessageKind::SaveScheduleAnswer);
}

std::optional<ServiceAnswer> ServiceBlocker::Lift(const std::string& password, std::uint32_t minutes) {
    return Ask([&] { return EncodeLiftRequest(password, minutes); }, MessageKind::LiftAnswer);
}

UniqueKernelHandle ServiceBlocker::OpenChangeSignal() {
    return UniqueKernelHandle(OpenEventA(SYNCHRONIZE, FALSE, options_.changeSignalName.c_str()));
}

#include "ServiceProtocol.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "Failure.h"

// The outcomes travel as their numbers: a program and a service of the same protocol version
// must read them alike, so the numbers are fixed here.
static_assert(static_cast<int>(StartOutcome::Written) == 0 && static_cast<int>(StartOutcome::Refused) == 1 &&
              static_cast<int>(StartOutcome::NotAdministrator) == 2);
static_assert(static_cast<int>(StopOutcome::Lifted) == 0 && static_cast<int>(StopOutcome::Refused) == 1 &&
              static_cast<int>(StopOutcome::NotAdministrator) == 2 &&
              static_cast<int>(StopOutcome::WrongPassword) == 3);
static_assert(static_cast<int>(PasswordChangeOutcome::Changed) == 0 &&
              static_cast<int>(PasswordChangeOutcome::WrongPassword) == 1 &&
              static_cast<int>(PasswordChangeOutcome::NotAdministrator) == 2 &&
              static_cast<int>(PasswordChangeOutcome::Refused) == 3);
static_assert(static_cast<int>(ScheduleOutcome::Saved) == 0 &&
              static_cast<int>(ScheduleOutcome::NotKept) == 4);
static_assert(static_cast<int>(LiftOutcome::Lifted) == 0 && static_cast<int>(LiftOutcome::Failed) == 4);
static_assert(static_cast<int>(PutBackOutcome::PutBack) == 0 &&
              static_cast<int>(PutBackOutcome::Refused) == 1 && static_cast<int>(PutBackOutcome::Busy) == 2);

namespace {

void PutNumber(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutNumber(std::string& bytes, size_t at, std::uint32_t value) {
    PutNumber(bytes.data() + at, value);
}

std::uint32_t GetNumber(std::string_view bytes, size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint16_t GetShort(std::string_view bytes, size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

bool IsRequest(MessageKind kind) {
    return kind >= MessageKind::StatusRequest && kind <= MessageKind::LiftRequest;
}

bool IsAnswer(MessageKind kind) {
    return (kind >= MessageKind::StatusAnswer && kind <= MessageKind::SetStartWithWindowsAnswer) ||
           (kind >= MessageKind::ChangePasswordAnswer && kind <= MessageKind::LiftAnswer) ||
           kind == MessageKind::MalformedAnswer;
}

// A UTC time as two numbers, the low half first.
std::uint32_t LowHalf(std::uint64_t value) {
    return static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
}
std::uint32_t HighHalf(std::uint64_t value) {
    return static_cast<std::uint32_t>(value >> 32);
}

// Reads a body field by field; every read is checked against the bytes that are left.
class BodyReader {
  public:
    explicit BodyReader(std::string_view body) : body_(body) {}

    size_t Left() const { return body_.size() - at_; }

    MessageProblem Byte(std::uint8_t& value) {
        if (Left() < 1) return MessageProblem::Truncated;
        value = static_cast<unsigned char>(body_[at_++]);
        return MessageProblem::None;
    }
    MessageProblem Switch(bool& value) {
        std::uint8_t byte = 0;
        if (auto problem = Byte(byte); problem != MessageProblem::None) return problem;
        if (byte > 1) return MessageProblem::BadValue;
        value = byte == 1;
        return MessageProblem::None;
    }
    // An outcome given as a byte below `limit`.
    template <typename Outcome>
    MessageProblem Choice(Outcome& value, std::uint8_t limit) {
        std::uint8_t byte = 0;
        if (auto problem = Byte(byte); problem != MessageProblem::None) return problem;
        if (byte >= limit) return MessageProblem::BadValue;
        value = static_cast<Outcome>(byte);
        return MessageProblem::None;
    }
    MessageProblem Number(std::uint32_t& value) {
        if (Left() < 4) return MessageProblem::Truncated;
        value = GetNumber(body_, at_);
        at_ += 4;
        return MessageProblem::None;
    }
    MessageProblem Time(std::uint64_t& value) {
        std::uint32_t low = 0, high = 0;
        if (auto problem = Number(low); problem != MessageProblem::None) return problem;
        if (auto problem = Number(high); problem != MessageProblem::None) return problem;
        value = (static_cast<std::uint64_t>(high) << 32) | low;
        return MessageProblem::None;
    }
    MessageProblem Text(std::string_view& text) {
        std::uint32_t length = 0;
        if (auto problem = Number(length); problem != MessageProblem::None) return problem;
        if (length > Left()) return MessageProblem::Truncated;
        text = body_.substr(at_, length);
        at_ += length;
        return MessageProblem::None;
    }
    // A count of items each at least `smallest` bytes long: one the rest cannot hold is refused
    // before anything is sized from it.
    MessageProblem Count(std::uint32_t& count, size_t smallest) {
        if (auto problem = Number(count); problem != MessageProblem::None) return problem;
        if (count > Left() / smallest) return MessageProblem::BadCount;
        return MessageProblem::None;
    }
    MessageProblem End() const { return Left() == 0 ? MessageProblem::None : MessageProblem::LengthMismatch; }
    // Everything left, read at once.
    std::string_view Rest() {
        std::string_view rest = body_.substr(at_);
        at_ = body_.size();
        return rest;
    }

  private:
    std::string_view body_;
    size_t at_ = 0;
};

#define PARVALISK_READ(step)                                                                     \
    do {                                                                                         \
        if (MessageProblem problem_ = (step); problem_ != MessageProblem::None) return problem_; \
    } while (false)

MessageProblem ReadEntries(BodyReader& reader, EntryList& entries) {
    std::uint32_t count = 0;
    PARVALISK_READ(reader.Count(count, MessageWriter::kCountBytes));
    entries.Clear();
    entries.Reserve(count, reader.Left() - size_t{count} * MessageWriter::kCountBytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view entry;
        PARVALISK_READ(reader.Text(entry));
        entries.Add(entry);
    }
    return MessageProblem::None;
}

MessageProblem ReadFailures(BodyReader& reader, std::vector<ReportedFailure>& failures) {
    std::uint32_t count = 0;
    PARVALISK_READ(reader.Count(count, 3 * MessageWriter::kCountBytes));
    failures.clear();
    failures.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view location, description;
        std::uint32_t line = 0;
        PARVALISK_READ(reader.Text(location));
        PARVALISK_READ(reader.Text(description));
        PARVALISK_READ(reader.Number(line));
        failures.push_back({std::string(location), std::string(description), static_cast<int>(line)});
    }
    return MessageProblem::None;
}

// Checks the header and the body's length against the bytes there, and gives the body.
MessageProblem ReadFrame(std::string_view bytes, bool (*kindFits)(MessageKind), MessageHeader& header,
                         std::string_view& body) {
    PARVALISK_READ(ReadMessageHeader(bytes, header));
    if (!kindFits(header.kind)) return MessageProblem::UnknownKind;
    const size_t announced = kServiceMessageHeaderSize + header.bodyLength;
    if (bytes.size() < announced) return MessageProblem::Truncated;
    if (bytes.size() > announced) return MessageProblem::LengthMismatch;
    body = bytes.substr(kServiceMessageHeaderSize);
    return MessageProblem::None;
}

// An outcome, the failures reported on the way and the numbers of the answer's kind (a start's
// count of put-backs, a lift's end).
std::string OutcomeAnswer(MessageKind kind, std::uint8_t outcome,
                          const std::vector<ReportedFailure>& failures,
                          std::initializer_list<std::uint32_t> numbers = {}) {
    size_t bodyBytes = 1 + MessageWriter::kCountBytes + numbers.size() * MessageWriter::kCountBytes;
    for (const auto& failure : failures)
        bodyBytes += 3 * MessageWriter::kCountBytes + failure.location.size() + failure.description.size();
    MessageWriter writer(kind, bodyBytes);
    writer.Byte(outcome);
    writer.Number(static_cast<std::uint32_t>(failures.size()));
    for (const auto& failure : failures) {
        writer.Text(failure.location);
        writer.Text(failure.description);
        writer.Number(static_cast<std::uint32_t>(failure.line));
    }
    for (std::uint32_t number : numbers) writer.Number(number);
    return writer.Finish();
}

// The byte limit of an outcome whose last value is `last`.
template <typename Outcome>
constexpr std::uint8_t Limit(Outcome last) {
    return static_cast<std::uint8_t>(static_cast<int>(last) + 1);
}

// A BlockList walked as the list encoders walk their entries.
auto WalkOf(const BlockList& entries) {
    return [&entries](const auto& visit) { entries.ForEach(visit); };
}

[[noreturn]] void ThrowTooLarge() {
    ThrowWin32Error(ERROR_MESSAGE_EXCEEDS_MAX_SIZE);
}

}  // namespace

MessageProblem ReadMessageHeader(std::string_view bytes, MessageHeader& header) {
    if (bytes.size() > kMaxServiceMessageSize) return MessageProblem::TooLarge;
    if (bytes.size() < kServiceMessageHeaderSize) return MessageProblem::Truncated;
    header.magic = GetNumber(bytes, 0);
    header.version = GetShort(bytes, 4);
    header.kind = static_cast<MessageKind>(GetShort(bytes, 6));
    header.bodyLength = GetNumber(bytes, 8);
    if (header.magic != kServiceMessageMagic) return MessageProblem::BadMagic;
    if (header.version != kServiceProtocolVersion) return MessageProblem::UnknownVersion;
    if (header.bodyLength > kMaxServiceMessageSize - kServiceMessageHeaderSize)
        return MessageProblem::TooLarge;
    return MessageProblem::None;
}

void EntryList::Reserve(size_t count, size_t textBytes) {
    ends_.reserve(count);
    text_.reserve(textBytes);
}

void EntryList::Add(std::string_view entry) {
    text_.append(entry);
    ends_.push_back(text_.size());
}

void EntryList::Clear() {
    text_.clear();
    ends_.clear();
}

MessageWriter::MessageWriter(MessageKind kind, size_t bodyBytes) {
    if (bodyBytes > kMaxServiceMessageSize - kServiceMessageHeaderSize) ThrowTooLarge();
    bytes_.reserve(kServiceMessageHeaderSize + bodyBytes);
    bytes_.resize(kServiceMessageHeaderSize);
    PutHeader(bytes_.data(), kind, 0);  // the length once it is known (Finish)
}

void MessageWriter::Byte(std::uint8_t value) {
    bytes_.push_back(static_cast<char>(value));
}

void MessageWriter::Number(std::uint32_t value) {
    const size_t at = bytes_.size();
    bytes_.resize(at + 4);
    PutNumber(bytes_, at, value);
}

void MessageWriter::Text(std::string_view text) {
    // Checked at each text, so a message never grows past the limit however its size was guessed.
    if (text.size() > kMaxServiceMessageSize - bytes_.size()) ThrowTooLarge();
    Number(static_cast<std::uint32_t>(text.size()));
    bytes_.append(text);
}

char* MessageWriter::Room(size_t bytes) {
    if (bytes > kMaxServiceMessageSize - bytes_.size()) ThrowTooLarge();
    const size_t at = bytes_.size();
    bytes_.resize(at + bytes);
    return bytes_.data() + at;
}

char* MessageWriter::PutText(char* at, std::string_view text) {
    at = PutCount(at, static_cast<std::uint32_t>(text.size()));
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

void MessageWriter::PutHeader(char* at, MessageKind kind, size_t bodyBytes) {
    PutNumber(at, kServiceMessageMagic);
    at[4] = static_cast<char>(kServiceProtocolVersion & 0xFF);
    at[5] = static_cast<char>(kServiceProtocolVersion >> 8);
    at[6] = static_cast<char>(static_cast<std::uint16_t>(kind) & 0xFF);
    at[7] = static_cast<char>(static_cast<std::uint16_t>(kind) >> 8);
    PutNumber(at + 8, static_cast<std::uint32_t>(bodyBytes));
}

char* MessageWriter::PutCount(char* at, std::uint32_t count) {
    PutNumber(at, count);
    return at + 4;
}

std::string MessageWriter::Finish() {
    if (bytes_.size() > kMaxServiceMessageSize) ThrowTooLarge();
    PutNumber(bytes_, 8, static_cast<std::uint32_t>(bytes_.size() - kServiceMessageHeaderSize));
    return std::move(bytes_);
}

std::string EncodeStatusRequest() {
    return MessageWriter(MessageKind::StatusRequest, 0).Finish();
}

std::string EncodeSetStartWithWindowsRequest(bool on) {
    MessageWriter writer(MessageKind::SetStartWithWindowsRequest, 1);
    writer.Byte(on ? 1 : 0);
    return writer.Finish();
}

std::string EncodeStartBlockRequest(const BlockList& entries, bool atStartup) {
    return EncodeWalkedEntries(MessageKind::StartBlockRequest, WalkOf(entries), atStartup ? 1 : 0, true);
}

std::string EncodeStopBlockRequest(const BlockList& entries, const std::string& password) {
    return EncodeWalkedEntries(MessageKind::StopBlockRequest, WalkOf(entries), 0, false, &password);
}

std::string EncodePutBackRequest(const BlockList& entries) {
    return EncodeWalkedEntries(MessageKind::PutBackRequest, WalkOf(entries), 0, false);
}

std::string EncodeSharedStartBlockRequest(std::uint32_t section, bool atStartup) {
    MessageWriter writer(MessageKind::SharedStartBlockRequest, MessageWriter::kCountBytes + 1);
    writer.Number(section);
    writer.Byte(atStartup ? 1 : 0);
    return writer.Finish();
}

std::string EncodePasswordBoundStart(const std::string& passwordHash, std::string startRequest) {
    if (passwordHash.empty()) return startRequest;
    MessageWriter writer(MessageKind::PasswordBoundStartRequest,
                         MessageWriter::kCountBytes + passwordHash.size() + startRequest.size());
    writer.Text(passwordHash);
    char* at = writer.Room(startRequest.size());
    if (!startRequest.empty()) std::memcpy(at, startRequest.data(), startRequest.size());
    return writer.Finish();
}

std::string ScheduleRequestTexts(const std::string& password, const std::string& passwordHash,
                                 const std::string& schedule) {
    std::string texts;
    for (const std::string* text : {&password, &passwordHash, &schedule}) {
        texts.append(4, '\0');
        PutNumber(texts, texts.size() - 4, static_cast<std::uint32_t>(text->size()));
        texts += *text;
    }
    return texts;
}

std::string EncodeSaveScheduleRequest(const std::string& password, const std::string& passwordHash,
                                      const std::string& schedule, const BlockList& entries) {
    const std::string texts = ScheduleRequestTexts(password, passwordHash, schedule);
    return EncodeWalkedEntries(MessageKind::SaveScheduleRequest, WalkOf(entries), 0, false, &texts);
}

std::string EncodeLiftRequest(const std::string& password, std::uint32_t minutes) {
    MessageWriter writer(MessageKind::LiftRequest, 2 * MessageWriter::kCountBytes + password.size());
    writer.Text(password);
    writer.Number(minutes);
    return writer.Finish();
}

std::string EncodeChangePasswordRequest(const std::string& oldPassword, const std::string& newPasswordHash) {
    MessageWriter writer(MessageKind::ChangePasswordRequest,
                         2 * MessageWriter::kCountBytes + oldPassword.size() + newPasswordHash.size());
    writer.Text(oldPassword);
    writer.Text(newPasswordHash);
    return writer.Finish();
}

MessageProblem DecodeRequest(std::string_view bytes, ServiceRequest& request) {
    MessageHeader header;
    std::string_view body;
    PARVALISK_READ(ReadFrame(bytes, IsRequest, header, body));
    BodyReader reader(body);
    request.kind = header.kind;
    request.passwordHash.clear();
    request.password.clear();
    std::string_view text;
    switch (header.kind) {
        case MessageKind::StartBlockRequest:
            PARVALISK_READ(reader.Switch(request.atStartup));
            PARVALISK_READ(ReadEntries(reader, request.entries));
            break;
        case MessageKind::StopBlockRequest:
            PARVALISK_READ(reader.Text(text));
            request.password.assign(text);
            PARVALISK_READ(ReadEntries(reader, request.entries));
            break;
        case MessageKind::PutBackRequest:
            PARVALISK_READ(ReadEntries(reader, request.entries));
            break;
        case MessageKind::PasswordBoundStartRequest: {
            // One start inside, never another bound one; a start without a password is sent as
            // it is, so a bound one with an empty hash is no message of this side's.
            PARVALISK_READ(reader.Text(text));
            if (text.empty()) return MessageProblem::BadValue;
            const std::string passwordHash(text);
            // The kind is judged before the start is read: bound requests nested a million deep
            // are refused at the first.
            const std::string_view start = reader.Rest();
            MessageHeader startHeader;
            PARVALISK_READ(ReadMessageHeader(start, startHeader));
            if (startHeader.kind != MessageKind::StartBlockRequest &&
                startHeader.kind != MessageKind::SharedStartBlockRequest)
                return MessageProblem::UnknownKind;
            PARVALISK_READ(DecodeRequest(start, request));
            request.passwordHash = passwordHash;
            break;
        }
        case MessageKind::ChangePasswordRequest:
            PARVALISK_READ(reader.Text(text));
            request.password.assign(text);
            PARVALISK_READ(reader.Text(text));
            request.passwordHash.assign(text);
            break;
        case MessageKind::SetStartWithWindowsRequest:
            PARVALISK_READ(reader.Switch(request.on));
            break;
        case MessageKind::SaveScheduleRequest: {
            // The password, the new password's hash and the schedule, as one text, then the list.
            PARVALISK_READ(reader.Text(text));
            BodyReader texts(text);
            std::string_view part;
            PARVALISK_READ(texts.Text(part));
            request.password.assign(part);
            PARVALISK_READ(texts.Text(part));
            request.passwordHash.assign(part);
            PARVALISK_READ(texts.Text(part));
            request.schedule.assign(part);
            PARVALISK_READ(texts.End());
            PARVALISK_READ(ReadEntries(reader, request.entries));
            break;
        }
        case MessageKind::LiftRequest:
            PARVALISK_READ(reader.Text(text));
            request.password.assign(text);
            PARVALISK_READ(reader.Number(request.minutes));
            break;
        case MessageKind::SharedStartBlockRequest:
            PARVALISK_READ(reader.Number(request.sharedSection));
            PARVALISK_READ(reader.Switch(request.atStartup));
            break;
        default:
            break;
    }
    return reader.End();
}

std::string EncodeStatusAnswer(const ServiceStatus& status) {
    MessageWriter writer(MessageKind::StatusAnswer, 10 + 4 + status.schedule.size() + 2 + 16);
    writer.Byte(status.blocking ? 1 : 0);
    writer.Number(status.entryCount);
    writer.Byte(status.lastPutBackSucceeded ? 1 : 0);
    writer.Number(status.putBacks);
    writer.Text(status.schedule);
    writer.Byte(status.scheduleUnreadable ? 1 : 0);
    writer.Byte(status.scheduleFollowed ? 1 : 0);
    for (std::uint64_t time : {status.liftedUntil, status.nextChange}) {
        writer.Number(LowHalf(time));
        writer.Number(HighHalf(time));
    }
    return writer.Finish();
}

std::string EncodeStartBlockAnswer(StartOutcome outcome, const std::vector<ReportedFailure>& failures,
                                   std::uint32_t putBacks) {
    return OutcomeAnswer(MessageKind::StartBlockAnswer, static_cast<std::uint8_t>(outcome), failures,
                         {putBacks});
}

std::string EncodeStopBlockAnswer(StopOutcome outcome, const std::vector<ReportedFailure>& failures) {
    return OutcomeAnswer(MessageKind::StopBlockAnswer, static_cast<std::uint8_t>(outcome), failures);
}

std::string EncodePutBackAnswer(PutBackOutcome outcome, const std::vector<ReportedFailure>& failures) {
    return OutcomeAnswer(MessageKind::PutBackAnswer, static_cast<std::uint8_t>(outcome), failures);
}

std::string EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome outcome) {
    MessageWriter writer(MessageKind::SetStartWithWindowsAnswer, 1);
    writer.Byte(static_cast<std::uint8_t>(outcome));
    return writer.Finish();
}

std::string EncodeChangePasswordAnswer(PasswordChangeOutcome outcome) {
    MessageWriter writer(MessageKind::ChangePasswordAnswer, 1);
    writer.Byte(static_cast<std::uint8_t>(outcome));
    return writer.Finish();
}

std::string EncodeSaveScheduleAnswer(ScheduleOutcome outcome) {
    MessageWriter writer(MessageKind::SaveScheduleAnswer, 1);
    writer.Byte(static_cast<std::uint8_t>(outcome));
    return writer.Finish();
}

std::string EncodeLiftAnswer(LiftOutcome outcome, std::uint64_t liftedUntil,
                             const std::vector<ReportedFailure>& failures) {
    return OutcomeAnswer(MessageKind::LiftAnswer, static_cast<std::uint8_t>(outcome), failures,
                         {LowHalf(liftedUntil), HighHalf(liftedUntil)});
}

std::string EncodeMalformedAnswer(MessageProblem problem) {
    MessageWriter writer(MessageKind::MalformedAnswer, 1);
    writer.Byte(static_cast<std::uint8_t>(problem));
    return writer.Finish();
}

MessageProblem DecodeAnswer(std::string_view bytes, ServiceAnswer& answer) {
    MessageHeader header;
    std::string_view body;
    PARVALISK_READ(ReadFrame(bytes, IsAnswer, header, body));
    BodyReader reader(body);
    answer.kind = header.kind;
    answer.failures.clear();
    switch (header.kind) {
        case MessageKind::StatusAnswer:
            PARVALISK_READ(reader.Switch(answer.status.blocking));
            PARVALISK_READ(reader.Number(answer.status.entryCount));
            PARVALISK_READ(reader.Switch(answer.status.lastPutBackSucceeded));
            PARVALISK_READ(reader.Number(answer.status.putBacks));
            {
                std::string_view schedule;
                PARVALISK_READ(reader.Text(schedule));
                answer.status.schedule.assign(schedule);
            }
            PARVALISK_READ(reader.Switch(answer.status.scheduleUnreadable));
            PARVALISK_READ(reader.Switch(answer.status.scheduleFollowed));
            PARVALISK_READ(reader.Time(answer.status.liftedUntil));
            PARVALISK_READ(reader.Time(answer.status.nextChange));
            break;
        case MessageKind::StartBlockAnswer:
            PARVALISK_READ(reader.Choice(answer.start, Limit(StartOutcome::NotAdministrator)));
            PARVALISK_READ(ReadFailures(reader, answer.failures));
            PARVALISK_READ(reader.Number(answer.putBacks));
            break;
        case MessageKind::StopBlockAnswer:
            PARVALISK_READ(reader.Choice(answer.stop, Limit(StopOutcome::WrongPassword)));
            PARVALISK_READ(ReadFailures(reader, answer.failures));
            break;
        case MessageKind::PutBackAnswer:
            PARVALISK_READ(reader.Choice(answer.putBack, Limit(PutBackOutcome::Busy)));
            PARVALISK_READ(ReadFailures(reader, answer.failures));
            break;
        case MessageKind::SetStartWithWindowsAnswer:
            PARVALISK_READ(
                reader.Choice(answer.startWithWindows, Limit(StartWithWindowsOutcome::NotAdministrator)));
            break;
        case MessageKind::ChangePasswordAnswer:
            PARVALISK_READ(reader.Choice(answer.passwordChange, Limit(PasswordChangeOutcome::Refused)));
            break;
        case MessageKind::SaveScheduleAnswer:
            PARVALISK_READ(reader.Choice(answer.schedule, Limit(ScheduleOutcome::NotKept)));
            break;
        case MessageKind::LiftAnswer:
            PARVALISK_READ(reader.Choice(answer.lift, Limit(LiftOutcome::Failed)));
            PARVALISK_READ(ReadFailures(reader, answer.failures));
            PARVALISK_READ(reader.Time(answer.liftedUntil));
            break;
        default:
            PARVALISK_READ(reader.Choice(answer.problem, Limit(MessageProblem::BadValue)));
            break;
    }
    return reader.End();
}

#undef PARVALISK_READ

void ShowReportedFailures(const std::vector<ReportedFailure>& failures, FailureReport& report) {
    for (const auto& failure : failures) report.Show(failure.location, failure.description, failure.line);
}

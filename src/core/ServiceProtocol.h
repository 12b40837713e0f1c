#pragma once
// The messages between the program and the blocking service on their pipe. Each message is a
// fixed header (a magic, a version, a kind and the body's length, all little-endian) followed by
// the body. A request names no path: it carries the list's entries and a few switches, and the
// service takes every path from the machine. An answer carries the operation's outcome and the
// failures its numbered steps reported, so the program shows the same error report boxes as when
// it does the work itself.
//
// Decoding trusts nothing it reads: every length and count is checked against the bytes really
// there before anything is sized from it, and a message that does not add up is answered
// "malformed" (MessageProblem), never a crash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Blocker.h"
#include "HostsBlocker.h"
#include "NumberedSteps.h"

inline constexpr std::uint32_t kServiceMessageMagic = 0x4B565250;  // "PRVK" in the byte stream
inline constexpr std::uint16_t kServiceProtocolVersion = 1;
inline constexpr size_t kServiceMessageHeaderSize = 12;
// The largest message either side sends or accepts, header included: room for a list of more
// than a million entries.
inline constexpr size_t kMaxServiceMessageSize = 64 * 1024 * 1024;

enum class MessageKind : std::uint16_t {
    // Requests
    StatusRequest = 1,
    StartBlockRequest = 2,
    StopBlockRequest = 3,
    PutBackRequest = 4,
    SetStartWithWindowsRequest = 5,
    SharedStartBlockRequest = 6,  // a start whose request lies in a file shared with the service
    // A start (one of the two above, whole) after the stored hash of the password that lifts the
    // block it writes: the service keeps it with the block (EncodePasswordBoundStart).
    PasswordBoundStartRequest = 7,
    ChangePasswordRequest = 8,  // a new password for the block, sent with the one it replaces
    SaveScheduleRequest = 9,    // a weekly schedule and the list it blocks, to keep and follow
    LiftRequest = 10,           // the block lifted for a number of minutes, then back by itself
    // Answers
    StatusAnswer = 0x101,
    StartBlockAnswer = 0x102,
    StopBlockAnswer = 0x103,
    PutBackAnswer = 0x104,
    SetStartWithWindowsAnswer = 0x105,
    ChangePasswordAnswer = 0x108,
    SaveScheduleAnswer = 0x109,
    LiftAnswer = 0x10A,
    MalformedAnswer = 0x1FF,  // the request could not be read; nothing was done
};

// Why a message was not read.
enum class MessageProblem {
    None,
    TooLarge,        // over kMaxServiceMessageSize, or a header announcing more
    Truncated,       // fewer bytes than the header, the announced body or a field needs
    BadMagic,        // not a message of this protocol
    UnknownVersion,  // a version this side does not speak
    UnknownKind,     // no such message, or an answer where a request belongs (and back)
    LengthMismatch,  // bytes left over after the announced body or after the body's fields
    BadCount,        // an entry count the rest of the body cannot hold
    BadValue,        // a switch or an outcome outside its range
};

struct MessageHeader {
    std::uint32_t magic = 0;
    std::uint16_t version = 0;
    MessageKind kind = MessageKind::StatusRequest;
    std::uint32_t bodyLength = 0;
};

// Reads and checks the header at the start of `bytes` (magic, version, body length within the
// limit); the kind is read but left to the decoders to judge. A reader of the pipe checks the
// header this way before it makes room for the body.
MessageProblem ReadMessageHeader(std::string_view bytes, MessageHeader& header);

// The list's entries as one message carries them: their texts one after the other and where each
// ends. Reading a list of a million entries allocates two buffers, not one per entry.
class EntryList {
  public:
    class Iterator {
      public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        Iterator(const EntryList* list, size_t index) : list_(list), index_(index) {}
        std::string_view operator*() const { return (*list_)[index_]; }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const Iterator& other) const { return index_ == other.index_; }

      private:
        const EntryList* list_ = nullptr;
        size_t index_ = 0;
    };

    void Reserve(size_t count, size_t textBytes);
    void Add(std::string_view entry);
    void Clear();
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](size_t index) const {
        const size_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(text_).substr(begin, ends_[index] - begin);
    }
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, ends_.size()); }
    bool operator==(const EntryList& other) const = default;

  private:
    std::string text_;
    std::vector<size_t> ends_;
};

// A request as the service reads it.
struct ServiceRequest {
    MessageKind kind = MessageKind::StatusRequest;
    bool atStartup = false;  // StartBlockRequest: the resumed start at start-up
    bool on = false;         // SetStartWithWindowsRequest
    EntryList entries;       // StartBlockRequest, StopBlockRequest, PutBackRequest
    // A start: the stored hash of the password that lifts its block ("" for none: the start came
    // without PasswordBoundStartRequest). ChangePasswordRequest: the hash of the new password.
    std::string passwordHash;
    // StopBlockRequest: the password the parent typed to unlock. ChangePasswordRequest: the one
    // the new password replaces.
    std::string password;
    // SharedStartBlockRequest (with atStartup): the caller's handle of the file that holds the
    // start request (see SharedList.h).
    std::uint32_t sharedSection = 0;
    std::string schedule;       // SaveScheduleRequest: the schedule as its file holds it
    std::uint32_t minutes = 0;  // LiftRequest
};

// A failure one numbered step reported: what FailureReport::Show receives.
struct ReportedFailure {
    std::string location;
    std::string description;
    int line = 0;
    bool operator==(const ReportedFailure& other) const = default;
};

// Where the service's block stands.
struct ServiceStatus {
    bool blocking = false;
    std::uint32_t entryCount = 0;
    bool lastPutBackSucceeded = true;
    // Removals the service has put back since it started: a program that sees this grow learns
    // of a put-back it may have been too late to see in the hosts file.
    std::uint32_t putBacks = 0;
    // The weekly schedule: its file's text ("" when none is kept), whether the kept one could not
    // be read, whether it is followed; the end of a lift or of a block set by hand against the
    // schedule, and the next time the block in force changes by itself (UTC, 0 for none).
    std::string schedule = {};
    bool scheduleUnreadable = false;
    bool scheduleFollowed = false;
    std::uint64_t liftedUntil = 0;
    std::uint64_t nextChange = 0;
    bool operator==(const ServiceStatus& other) const = default;
};

// A weekly schedule saved: kept and followed from now on, or why not.
enum class ScheduleOutcome {
    Saved,
    NotAdministrator,
    WrongPassword,
    Refused,  // no such time zone, a schedule that does not read, or no list to block by it
    NotKept,  // the data folder would not take it; the schedule in force stays
};

// A lift: the block is off until the time it answers, or why not.
enum class LiftOutcome {
    Lifted,
    NotAdministrator,
    WrongPassword,
    Refused,  // a length outside 1 minute to 24 hours, or no block in force nor schedule to lift
    Failed,   // the clean copy could not be put back; the block stays
};
inline constexpr std::uint32_t kLongestLiftMinutes = 24 * 60;

// Switching start with Windows for the machine: done, or refused to a non-administrator.
enum class StartWithWindowsOutcome {
    Switched,
    NotAdministrator,
};

// An answer as the program reads it; only the fields of its kind mean anything.
struct ServiceAnswer {
    MessageKind kind = MessageKind::MalformedAnswer;
    StartOutcome start = StartOutcome::Refused;
    StopOutcome stop = StopOutcome::Refused;
    PutBackOutcome putBack = PutBackOutcome::Refused;
    StartWithWindowsOutcome startWithWindows = StartWithWindowsOutcome::NotAdministrator;
    PasswordChangeOutcome passwordChange = PasswordChangeOutcome::Refused;
    ScheduleOutcome schedule = ScheduleOutcome::Refused;
    LiftOutcome lift = LiftOutcome::Refused;
    std::uint64_t liftedUntil = 0;  // LiftAnswer: the lift's end (UTC)
    ServiceStatus status;
    // StartBlockAnswer: the service's put-backs as it answered (ServiceStatus::putBacks), so the
    // program that started the block knows where the count stood without asking again.
    std::uint32_t putBacks = 0;
    std::vector<ReportedFailure> failures;
    MessageProblem problem = MessageProblem::None;  // MalformedAnswer: what was wrong with the request
};

// ---- requests ---------------------------------------------------------------------------------
// The requests that carry a list take any range of texts (std::string or std::string_view).
// A list that would make the message larger than kMaxServiceMessageSize throws Failure.
std::string EncodeStatusRequest();
std::string EncodeSetStartWithWindowsRequest(bool on);

template <typename Entries>
std::string EncodeStartBlockRequest(const Entries& entries, bool atStartup);
// `password`: what the parent typed to unlock, which lifts a block bound to a password.
template <typename Entries>
std::string EncodeStopBlockRequest(const Entries& entries, const std::string& password = {});
template <typename Entries>
std::string EncodePutBackRequest(const Entries& entries);
// The same from a BlockList, read where its holder keeps the texts: none of them is copied but
// into the message.
std::string EncodeStartBlockRequest(const BlockList& entries, bool atStartup);
std::string EncodeStopBlockRequest(const BlockList& entries, const std::string& password = {});
std::string EncodePutBackRequest(const BlockList& entries);

// A start whose request (as EncodeStartBlockRequest makes it) the caller writes into the file
// it holds as `section` (SharedListWriter).
std::string EncodeSharedStartBlockRequest(std::uint32_t section, bool atStartup);

// A start request (either kind above) bound to the password whose stored hash is given: the
// service lifts its block only for that password, or for a caller with the Administrators group
// enabled. With no password ("") the start request comes back as it is. Throws Failure past the
// message limit.
std::string EncodePasswordBoundStart(const std::string& passwordHash, std::string startRequest);

// The block's password replaced: the password it had (as typed) and the new one's stored hash.
std::string EncodeChangePasswordRequest(const std::string& oldPassword, const std::string& newPasswordHash);

// A schedule to keep (as FormatSchedule writes it) with the list it blocks, bound to the password
// whose stored hash is given; `password` is what the parent typed to unlock, which a schedule
// that loosens a block bound to a password needs.
template <typename Entries>
std::string EncodeSaveScheduleRequest(const std::string& password, const std::string& passwordHash,
                                      const std::string& schedule, const Entries& entries);
std::string EncodeSaveScheduleRequest(const std::string& password, const std::string& passwordHash,
                                      const std::string& schedule, const BlockList& entries);
// The texts a schedule's save carries before its entries: one text, each inside with its length.
std::string ScheduleRequestTexts(const std::string& password, const std::string& passwordHash,
                                 const std::string& schedule);
std::string EncodeLiftRequest(const std::string& password, std::uint32_t minutes);

// Reads a request; anything but a whole, well-formed request of a known kind gives the problem
// and leaves `request` unspecified.
MessageProblem DecodeRequest(std::string_view bytes, ServiceRequest& request);

// ---- answers ----------------------------------------------------------------------------------
std::string EncodeStatusAnswer(const ServiceStatus& status);
std::string EncodeStartBlockAnswer(StartOutcome outcome, const std::vector<ReportedFailure>& failures,
                                   std::uint32_t putBacks = 0);
std::string EncodeStopBlockAnswer(StopOutcome outcome, const std::vector<ReportedFailure>& failures);
std::string EncodePutBackAnswer(PutBackOutcome outcome, const std::vector<ReportedFailure>& failures);
std::string EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome outcome);
std::string EncodeChangePasswordAnswer(PasswordChangeOutcome outcome);
std::string EncodeSaveScheduleAnswer(ScheduleOutcome outcome);
std::string EncodeLiftAnswer(LiftOutcome outcome, std::uint64_t liftedUntil,
                             const std::vector<ReportedFailure>& failures);
std::string EncodeMalformedAnswer(MessageProblem problem);

MessageProblem DecodeAnswer(std::string_view bytes, ServiceAnswer& answer);

// Shows the failures an answer carries, in the order the service's steps reported them.
void ShowReportedFailures(const std::vector<ReportedFailure>& failures, FailureReport& report);

// A failure report that keeps what it is shown, for an answer to carry.
class CollectedFailures final : public FailureReport {
  public:
    void Show(const std::string& location, const std::string& description, int line) override {
        failures.push_back({location, description, line});
    }
    std::vector<ReportedFailure> failures;
};

// ---- the writer behind the encoders -----------------------------------------------------------
class MessageWriter {
  public:
    // Starts a message of this kind with room for `bodyBytes`; throws Failure when the message
    // would exceed kMaxServiceMessageSize.
    MessageWriter(MessageKind kind, size_t bodyBytes);
    void Byte(std::uint8_t value);
    void Number(std::uint32_t value);
    void Text(std::string_view text);  // its length, then its bytes
    // Makes room for `bytes` more at the end and answers where it starts, for a caller that fills
    // it with texts at once (PutText); throws Failure past the limit.
    char* Room(size_t bytes);
    // Puts a text's length and bytes at `at`, which has room for them; answers the end.
    static char* PutText(char* at, std::string_view text);
    std::string Finish();  // fills in the body's length
    // Puts a whole header at `at`, for a message written elsewhere than in a writer.
    static void PutHeader(char* at, MessageKind kind, size_t bodyBytes);
    // Puts a count (a number) at `at`; answers the end.
    static char* PutCount(char* at, std::uint32_t count);

    // The body bytes a list takes: a count, then each entry's length and bytes.
    static constexpr size_t kCountBytes = 4;

  private:
    std::string bytes_;
};

// `walk(visit)` calls visit(std::string_view) for every entry in list order, and may be called
// more than once: once to size the message, once to fill it. `text`, when given, goes after the
// flag and before the entries.
template <typename Walk>
std::string EncodeWalkedEntries(MessageKind kind, const Walk& walk, std::uint8_t flag, bool withFlag,
                                const std::string* text = nullptr) {
    const size_t before =
        (withFlag ? 1 : 0) + (text != nullptr ? MessageWriter::kCountBytes + text->size() : 0);
    size_t bodyBytes = before + MessageWriter::kCountBytes;
    size_t count = 0;
    walk([&](std::string_view entry) {
        // Stops counting once over the limit, so the sum cannot wrap round.
        if (bodyBytes > kMaxServiceMessageSize) return;
        bodyBytes += MessageWriter::kCountBytes + entry.size();
        ++count;
    });
    MessageWriter writer(kind, bodyBytes);
    if (withFlag) writer.Byte(flag);
    if (text != nullptr) writer.Text(*text);
    writer.Number(static_cast<std::uint32_t>(count));
    // The writer checked the whole size: the texts go into room made once.
    char* at = writer.Room(bodyBytes - before - MessageWriter::kCountBytes);
    walk([&](std::string_view entry) { at = MessageWriter::PutText(at, entry); });
    return writer.Finish();
}

template <typename Entries>
std::string EncodeEntriesMessage(MessageKind kind, const Entries& entries, std::uint8_t flag, bool withFlag,
                                 const std::string* text = nullptr) {
    return EncodeWalkedEntries(
        kind,
        [&](const auto& visit) {
            for (std::string_view entry : entries) visit(entry);
        },
        flag, withFlag, text);
}

template <typename Entries>
std::string EncodeStartBlockRequest(const Entries& entries, bool atStartup) {
    return EncodeEntriesMessage(MessageKind::StartBlockRequest, entries, atStartup ? 1 : 0, true);
}
template <typename Entries>
std::string EncodeStopBlockRequest(const Entries& entries, const std::string& password) {
    return EncodeEntriesMessage(MessageKind::StopBlockRequest, entries, 0, false, &password);
}
template <typename Entries>
std::string EncodePutBackRequest(const Entries& entries) {
    return EncodeEntriesMessage(MessageKind::PutBackRequest, entries, 0, false);
}
template <typename Entries>
std::string EncodeSaveScheduleRequest(const std::string& password, const std::string& passwordHash,
                                      const std::string& schedule, const Entries& entries) {
    const std::string texts = ScheduleRequestTexts(password, passwordHash, schedule);
    return EncodeEntriesMessage(MessageKind::SaveScheduleRequest, entries, 0, false, &texts);
}

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Failure.h"
#include "ServiceProtocol.h"

namespace {

using Texts = std::vector<std::string>;

Texts EntriesOf(const EntryList& list) {
    Texts texts;
    for (std::string_view entry : list) texts.emplace_back(entry);
    return texts;
}

// Overwrites a little-endian number of `width` bytes at `at`.
std::string Patched(std::string bytes, size_t at, std::uint32_t value, int width = 4) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// The message with its header's body length set to what follows the header.
std::string Reframed(std::string bytes) {
    return Patched(bytes, 8, static_cast<std::uint32_t>(bytes.size() - kServiceMessageHeaderSize));
}

// A start bound to a password as the encoder would make it, but of any hash and inner bytes.
std::string Bound(std::string_view hash, std::string_view inner) {
    MessageWriter writer(MessageKind::PasswordBoundStartRequest, 4 + hash.size() + inner.size());
    writer.Text(hash);
    std::memcpy(writer.Room(inner.size()), inner.data(), inner.size());
    return writer.Finish();
}

const Texts kSomeEntries = {
    "www.example.com",    "", "https://a.example/page?x=1", std::string("nul\0inside", 10), "line\r\nbreak",
    std::string(300, 'h')};

TEST(ServiceProtocol, RequestsComeBackAsTheyWereSent) {
    struct Case {
        const char* what;
        std::string bytes;
        MessageKind kind;
        Texts entries;
        bool atStartup, on;
        std::string passwordHash = {}, password = {};
    };
    const std::vector<Case> cases = {
        {"status", EncodeStatusRequest(), MessageKind::StatusRequest, {}, false, false},
        {"start, no entries",
         EncodeStartBlockRequest(Texts{}, false),
         MessageKind::StartBlockRequest,
         {},
         false,
         false},
        {"start at start-up", EncodeStartBlockRequest(kSomeEntries, true), MessageKind::StartBlockRequest,
         kSomeEntries, true, false},
        {"start by the user", EncodeStartBlockRequest(kSomeEntries, false), MessageKind::StartBlockRequest,
         kSomeEntries, false, false},
        {"stop", EncodeStopBlockRequest(kSomeEntries), MessageKind::StopBlockRequest, kSomeEntries, false,
         false},
        {"put back", EncodePutBackRequest(Texts{"one"}), MessageKind::PutBackRequest, {"one"}, false, false},
        {"start with Windows on",
         EncodeSetStartWithWindowsRequest(true),
         MessageKind::SetStartWithWindowsRequest,
         {},
         false,
         true},
        {"start with Windows off",
         EncodeSetStartWithWindowsRequest(false),
         MessageKind::SetStartWithWindowsRequest,
         {},
         false,
         false},
        {"start from shared memory",
         EncodeSharedStartBlockRequest(0x01020304, true),
         MessageKind::SharedStartBlockRequest,
         {},
         true,
         false},
        {"start bound to a password",
         EncodePasswordBoundStart("pbkdf2-sha256$1$00$ab", EncodeStartBlockRequest(kSomeEntries, true)),
         MessageKind::StartBlockRequest, kSomeEntries, true, false, "pbkdf2-sha256$1$00$ab"},
        {"start from shared memory bound to a password",
         EncodePasswordBoundStart("h", EncodeSharedStartBlockRequest(0x01020304, false)),
         MessageKind::SharedStartBlockRequest,
         {},
         false,
         false,
         "h"},
        {"start bound to no password",
         EncodePasswordBoundStart("", EncodeStartBlockRequest(Texts{"one"}, false)),
         MessageKind::StartBlockRequest,
         {"one"},
         false,
         false},
        {"stop with the password", EncodeStopBlockRequest(kSomeEntries, std::string(" pass\0word", 10)),
         MessageKind::StopBlockRequest, kSomeEntries, false, false, "", std::string(" pass\0word", 10)},
        {"password change",
         EncodeChangePasswordRequest("old one", "new hash"),
         MessageKind::ChangePasswordRequest,
         {},
         false,
         false,
         "new hash",
         "old one"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ServiceRequest request;
        request.atStartup = !test.atStartup;
        request.on = !test.on;
        request.passwordHash = request.password = "left over";
        ASSERT_EQ(DecodeRequest(test.bytes, request), MessageProblem::None);
        EXPECT_EQ(request.kind, test.kind);
        EXPECT_EQ(request.passwordHash, test.passwordHash);
        EXPECT_EQ(request.password, test.password);
        EXPECT_EQ(EntriesOf(request.entries), test.entries);
        if (test.kind == MessageKind::StartBlockRequest ||
            test.kind == MessageKind::SharedStartBlockRequest) {
            EXPECT_EQ(request.atStartup, test.atStartup);
        }
        if (test.kind == MessageKind::SharedStartBlockRequest) {
            EXPECT_EQ(request.sharedSection, 0x01020304u);
        }
        if (test.kind == MessageKind::SetStartWithWindowsRequest) {
            EXPECT_EQ(request.on, test.on);
        }
    }
}

TEST(ServiceProtocol, AnswersComeBackAsTheyWereSent) {
    const std::vector<ReportedFailure> failures = {
        {"in Nestwarden2021/08/31.Form1.StartBlocking ", "Access is denied.", 124},
        {"in Nestwarden2021/08/31.Form1.StopBlocking ", "", -1},
    };
    struct Case {
        const char* what;
        std::string bytes;
        ServiceAnswer expected;
    };
    auto answer = [](MessageKind kind, auto set) {
        ServiceAnswer a;
        a.kind = kind;
        set(a);
        return a;
    };
    const std::vector<Case> cases = {
        {"status", EncodeStatusAnswer({true, 1000000, false, 0x01020304}),
         answer(MessageKind::StatusAnswer,
                [](ServiceAnswer& a) {
                    a.status = {true, 1000000, false, 0x01020304};
                })},
        {"status, off", EncodeStatusAnswer({false, 0, true}),
         answer(MessageKind::StatusAnswer,
                [](ServiceAnswer& a) {
                    a.status = {false, 0, true};
                })},
        {"start written", EncodeStartBlockAnswer(StartOutcome::Written, {}, 0x01020304),
         answer(MessageKind::StartBlockAnswer,
                [](ServiceAnswer& a) {
                    a.start = StartOutcome::Written;
                    a.putBacks = 0x01020304;
                })},
        {"start refused with failures", EncodeStartBlockAnswer(StartOutcome::Refused, failures),
         answer(MessageKind::StartBlockAnswer,
                [&](ServiceAnswer& a) {
                    a.start = StartOutcome::Refused;
                    a.failures = failures;
                })},
        {"start, not an administrator", EncodeStartBlockAnswer(StartOutcome::NotAdministrator, {}),
         answer(MessageKind::StartBlockAnswer,
                [](ServiceAnswer& a) { a.start = StartOutcome::NotAdministrator; })},
        {"stop lifted", EncodeStopBlockAnswer(StopOutcome::Lifted, failures),
         answer(MessageKind::StopBlockAnswer,
                [&](ServiceAnswer& a) {
                    a.stop = StopOutcome::Lifted;
                    a.failures = failures;
                })},
        {"stop, not an administrator", EncodeStopBlockAnswer(StopOutcome::NotAdministrator, {}),
         answer(MessageKind::StopBlockAnswer,
                [](ServiceAnswer& a) { a.stop = StopOutcome::NotAdministrator; })},
        {"stop without the block's password", EncodeStopBlockAnswer(StopOutcome::WrongPassword, {}),
         answer(MessageKind::StopBlockAnswer, [](ServiceAnswer& a) { a.stop = StopOutcome::WrongPassword; })},
        {"password kept", EncodeChangePasswordAnswer(PasswordChangeOutcome::WrongPassword),
         answer(MessageKind::ChangePasswordAnswer,
                [](ServiceAnswer& a) { a.passwordChange = PasswordChangeOutcome::WrongPassword; })},
        {"password changed", EncodeChangePasswordAnswer(PasswordChangeOutcome::Changed),
         answer(MessageKind::ChangePasswordAnswer,
                [](ServiceAnswer& a) { a.passwordChange = PasswordChangeOutcome::Changed; })},
        {"put back", EncodePutBackAnswer(PutBackOutcome::PutBack, {}),
         answer(MessageKind::PutBackAnswer, [](ServiceAnswer& a) { a.putBack = PutBackOutcome::PutBack; })},
        {"start with Windows switched", EncodeSetStartWithWindowsAnswer(StartWithWindowsOutcome::Switched),
         answer(MessageKind::SetStartWithWindowsAnswer,
                [](ServiceAnswer& a) { a.startWithWindows = StartWithWindowsOutcome::Switched; })},
        {"malformed", EncodeMalformedAnswer(MessageProblem::BadCount),
         answer(MessageKind::MalformedAnswer,
                [](ServiceAnswer& a) { a.problem = MessageProblem::BadCount; })},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ServiceAnswer got;
        got.start = StartOutcome::NotAdministrator;
        got.stop = StopOutcome::Refused;
        got.putBack = PutBackOutcome::Refused;
        got.failures = {{"left over", "", 1}};
        if (test.expected.start == StartOutcome::NotAdministrator) got.start = StartOutcome::Written;
        ASSERT_EQ(DecodeAnswer(test.bytes, got), MessageProblem::None);
        EXPECT_EQ(got.kind, test.expected.kind);
        EXPECT_EQ(got.failures, test.expected.failures);
        CollectedFailures shown;
        ShowReportedFailures(got.failures, shown);
        EXPECT_EQ(shown.failures, test.expected.failures) << "the program shows each failure, in order";
        switch (test.expected.kind) {
            case MessageKind::StatusAnswer:
                EXPECT_EQ(got.status, test.expected.status);
                break;
            case MessageKind::StartBlockAnswer:
                EXPECT_EQ(got.start, test.expected.start);
                EXPECT_EQ(got.putBacks, test.expected.putBacks);
                break;
            case MessageKind::StopBlockAnswer:
                EXPECT_EQ(got.stop, test.expected.stop);
                break;
            case MessageKind::PutBackAnswer:
                EXPECT_EQ(got.putBack, test.expected.putBack);
                break;
            case MessageKind::SetStartWithWindowsAnswer:
                EXPECT_EQ(got.startWithWindows, test.expected.startWithWindows);
                break;
            case MessageKind::ChangePasswordAnswer:
                EXPECT_EQ(got.passwordChange, test.expected.passwordChange);
                break;
            default:
                EXPECT_EQ(got.problem, test.expected.problem);
                break;
        }
    }
}

TEST(ServiceProtocol, EveryCutOfAMessageIsTruncated) {
    const std::vector<std::string> messages = {
        EncodeStartBlockRequest(Texts{"ab", "cde"}, true),
        EncodeSetStartWithWindowsRequest(true),
        EncodeStatusRequest(),
    };
    for (const auto& message : messages) {
        for (size_t cut = 0; cut < message.size(); ++cut) {
            SCOPED_TRACE("kind " + std::to_string(static_cast<unsigned char>(message[6])) + " cut at " +
                         std::to_string(cut));
            ServiceRequest request;
            EXPECT_EQ(DecodeRequest(message.substr(0, cut), request), MessageProblem::Truncated);
            // The same cut with a header that announces exactly the bytes there: the body's own
            // fields run out.
            if (cut > kServiceMessageHeaderSize) {
                EXPECT_NE(DecodeRequest(Reframed(message.substr(0, cut)), request), MessageProblem::None);
            }
        }
    }
    // Answers are read the same way, failures included.
    const std::string answer = EncodeStopBlockAnswer(StopOutcome::Refused, {{"where", "what", 7}});
    for (size_t cut = 0; cut < answer.size(); ++cut) {
        SCOPED_TRACE("answer cut at " + std::to_string(cut));
        ServiceAnswer got;
        EXPECT_EQ(DecodeAnswer(answer.substr(0, cut), got), MessageProblem::Truncated);
        if (cut > kServiceMessageHeaderSize) {
            EXPECT_NE(DecodeAnswer(Reframed(answer.substr(0, cut)), got), MessageProblem::None);
        }
    }
}

TEST(ServiceProtocol, MalformedRequestsAreNamedNotRead) {
    const std::string start = EncodeStartBlockRequest(Texts{"ab", "cde"}, false);
    // Offsets in `start`: header 0-11, at-start-up 12, count 13-16, first length 17-20, "ab" 21-22,
    // second length 23-26, "cde" 27-29.
    ASSERT_EQ(start.size(), 30u);
    struct Case {
        const char* what;
        std::string bytes;
        MessageProblem expected;
    };
    const std::vector<Case> cases = {
        {"nothing at all", "", MessageProblem::Truncated},
        {"another magic", Patched(start, 0, 0x4B565251), MessageProblem::BadMagic},
        {"version 0", Patched(start, 4, 0, 2), MessageProblem::UnknownVersion},
        {"version 2", Patched(start, 4, 2, 2), MessageProblem::UnknownVersion},
        {"kind 0", Patched(start, 6, 0, 2), MessageProblem::UnknownKind},
        {"kind 99", Patched(start, 6, 99, 2), MessageProblem::UnknownKind},
        {"an answer's kind", Patched(start, 6, 0x102, 2), MessageProblem::UnknownKind},
        {"body length over the limit, no body", Patched(start.substr(0, 12), 8, 0xFFFFFFFF),
         MessageProblem::TooLarge},
        {"body length one over the limit", Patched(start, 8, kMaxServiceMessageSize - 11),
         MessageProblem::TooLarge},
        {"body length at the limit, body missing", Patched(start, 8, kMaxServiceMessageSize - 12),
         MessageProblem::Truncated},
        {"body length one short", Patched(start, 8, 17), MessageProblem::LengthMismatch},
        {"a byte after the body", start + "x", MessageProblem::LengthMismatch},
        {"a byte after the fields", Reframed(start + "x"), MessageProblem::LengthMismatch},
        {"at-start-up neither 0 nor 1", Patched(start, 12, 2, 1), MessageProblem::BadValue},
        {"count of 4 billion", Patched(start, 13, 0xFFFFFFFF), MessageProblem::BadCount},
        {"count more than the body holds", Patched(start, 13, 4), MessageProblem::BadCount},
        {"count one more", Patched(start, 13, 3), MessageProblem::Truncated},
        {"count one less", Patched(start, 13, 1), MessageProblem::LengthMismatch},
        {"entry length past the body", Patched(start, 23, 4), MessageProblem::Truncated},
        {"entry length of 4 billion", Patched(start, 17, 0xFFFFFFFF), MessageProblem::Truncated},
        {"status with a body", Reframed(EncodeStatusRequest() + "x"), MessageProblem::LengthMismatch},
        {"switch neither 0 nor 1", Patched(EncodeSetStartWithWindowsRequest(true), 12, 255, 1),
         MessageProblem::BadValue},
        {"a start bound to an empty password", Bound("", start), MessageProblem::BadValue},
        {"a bound start inside a bound start", Bound("h", Bound("h", start)), MessageProblem::UnknownKind},
        {"a bound stop", Bound("h", EncodeStopBlockRequest(Texts{"ab"})), MessageProblem::UnknownKind},
        {"a bound start cut short inside", Bound("h", start.substr(0, 20)), MessageProblem::Truncated},
        {"a bound start with a byte after it", Bound("h", start + "x"), MessageProblem::LengthMismatch},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ServiceRequest request;
        EXPECT_EQ(DecodeRequest(test.bytes, request), test.expected);
    }

    // More bytes than any message may have is refused before the header is looked at.
    std::string oversized = start;
    oversized.resize(kMaxServiceMessageSize + 1, 'x');
    ServiceRequest request;
    EXPECT_EQ(DecodeRequest(Reframed(oversized), request), MessageProblem::TooLarge);
}

TEST(ServiceProtocol, MalformedAnswersAreNamedNotRead) {
    const std::string start = EncodeStartBlockAnswer(StartOutcome::Refused, {{"at", "why", 3}});
    // Offsets: header 0-11, outcome 12, failure count 13-16, location 17-22, description 23-29, line 30-33,
    // put-backs 34-37.
    ASSERT_EQ(start.size(), 38u);
    struct Case {
        const char* what;
        std::string bytes;
        MessageProblem expected;
    };
    const std::vector<Case> cases = {
        {"a request's kind", Patched(start, 6, 2, 2), MessageProblem::UnknownKind},
        {"outcome out of range", Patched(start, 12, 3, 1), MessageProblem::BadValue},
        {"put-back outcome out of range", Patched(EncodePutBackAnswer(PutBackOutcome::Refused, {}), 12, 3, 1),
         MessageProblem::BadValue},
        {"failure count of 4 billion", Patched(start, 13, 0xFFFFFFFF), MessageProblem::BadCount},
        {"failure count more than the body holds", Patched(start, 13, 2), MessageProblem::BadCount},
        {"location past the body", Patched(start, 17, 100), MessageProblem::Truncated},
        {"status switch out of range", Patched(EncodeStatusAnswer({}), 12, 2, 1), MessageProblem::BadValue},
        {"unknown problem", Patched(EncodeMalformedAnswer(MessageProblem::Truncated), 12, 200, 1),
         MessageProblem::BadValue},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        ServiceAnswer answer;
        EXPECT_EQ(DecodeAnswer(test.bytes, answer), test.expected);
    }
}

TEST(ServiceProtocol, AListTooLargeForAMessageIsNotSent) {
    const Texts one = {std::string(kMaxServiceMessageSize - kServiceMessageHeaderSize - 8, 'x')};
    // The largest list that fits: the at-start-up byte, the count and one length besides it.
    const Texts fits = {std::string(kMaxServiceMessageSize - kServiceMessageHeaderSize - 9, 'x')};
    EXPECT_THROW(EncodeStartBlockRequest(one, false), Failure);
    std::string bytes = EncodeStartBlockRequest(fits, false);
    EXPECT_EQ(bytes.size(), kMaxServiceMessageSize);
    ServiceRequest request;
    EXPECT_EQ(DecodeRequest(bytes, request), MessageProblem::None);
    bytes.clear();
    // Many entries that together pass the limit.
    const Texts many(5, std::string(kMaxServiceMessageSize / 4, 'y'));
    EXPECT_THROW(EncodeStopBlockRequest(many), Failure);
}

TEST(ServiceProtocol, AMillionEntriesComeBackInOrder) {
    std::vector<std::string> list;
    list.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) list.push_back("site" + std::to_string(i) + ".example");
    const std::string bytes = EncodeStartBlockRequest(list, true);
    ServiceRequest request;
    ASSERT_EQ(DecodeRequest(bytes, request), MessageProblem::None);
    ASSERT_EQ(request.entries.size(), list.size());
    for (size_t i : {size_t{0}, size_t{1}, size_t{499999}, size_t{999999}})
        EXPECT_EQ(request.entries[i], list[i]) << "entry " << i;
    EXPECT_TRUE(std::equal(request.entries.begin(), request.entries.end(), list.begin(), list.end()));
}

}  // namespace

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Failure.h"
#include "HostsText.h"
#include "support/BlockedHostsSize.h"
#include "support/BlockLine.h"
#include "support/TempTree.h"

namespace {

struct CollectingSink : ContentSink {
    void Put(const char* data, size_t size) override { text.append(data, size); }
    std::string text;
};

std::string Blocked(const std::string& previous, const std::vector<std::string>& texts) {
    const std::vector<std::string_view> entries(texts.begin(), texts.end());
    CollectingSink sink;
    PutBlockedHosts(sink, previous, [&](BlockLineWriter& lines) { lines.AddAll(entries); });
    EXPECT_EQ(sink.text.size(), BlockedHostsSize(previous.size(), entries))
        << "the announced size is the real one";
    return sink.text;
}

// The block lines of the entries as one copier makes them.
std::string LinesBy(HostNameCopier copier, const std::vector<std::string>& texts) {
    const std::vector<std::string_view> entries(texts.begin(), texts.end());
    CollectingSink sink;
    BlockLineWriter lines(sink, copier);
    lines.AddAll(entries);
    lines.Finish();
    return sink.text;
}

// Both copiers, where this processor can run both: each must give the same lines.
std::vector<HostNameCopier> Copiers() {
    std::vector<HostNameCopier> copiers{CopyHostNameByWords};
    if (IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) copiers.push_back(CopyHostNameBySse2);
    return copiers;
}

TEST(HostsText, AnEntryIsCutAtItsFirstLineBreakWhereverItStands) {
    // The copy goes four, eight or sixteen bytes at a time, so the break is tried at every place
    // in and across those words, for both CR and LF, and with a second break after the first.
    for (char lineBreak : {'\r', '\n'}) {
        for (size_t length = 1; length <= 40; ++length) {
            for (size_t at = 0; at < length; ++at) {
                std::string entry;
                for (size_t k = 0; k < length; ++k) entry += static_cast<char>('a' + k);
                entry[at] = lineBreak;
                if (at + 2 < length) entry[at + 2] = lineBreak == '\r' ? '\n' : '\r';
                std::string name = entry.substr(0, at);
                EXPECT_EQ(Blocked("", {entry}), "\r\n" + BlockLine(name))
                    << "length " << length << ", break at " << at;
                for (HostNameCopier copier : Copiers())
                    EXPECT_EQ(LinesBy(copier, {entry}), BlockLine(name))
                        << "length " << length << ", break at " << at;
                EXPECT_EQ(HostNameOfEntry(entry), name);
            }
        }
    }
    // Bytes that only look like line breaks in part are kept.
    const std::string lookalikes = std::string("\x0c\x0b\x8d\x8a\x0e\x1d", 6) + "x";
    EXPECT_EQ(Blocked("", {lookalikes}), "\r\n" + BlockLine(lookalikes));
    for (HostNameCopier copier : Copiers())
        for (size_t length = 0; length <= 40; ++length) {
            const std::string entry =
                (lookalikes + lookalikes + lookalikes + lookalikes + lookalikes + lookalikes)
                    .substr(0, length);
            EXPECT_EQ(LinesBy(copier, {entry}), BlockLine(entry)) << "length " << length;
        }
}

TEST(HostsText, AWebAddressIsWrittenAsItsHostAndEveryOtherEntryAsTyped) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https://www.example.com/page", "www.example.com"},
        {"http://Site.EXAMPLE:8080?q=1#f", "Site.EXAMPLE"},
        {"HTTP://a.example#top", "a.example"},
        {"ftp://a.example?x/y", "a.example"},
        {"http://a.example:/", "a.example"},
        {"http://[::1]:8080/", "[::1]"},
        {"http://[::1]/", "[::1]"},
        {"http://a.example:abc/", "a.example:abc"},
        {" https://spaced.example/ ", "spaced.example"},
        {"https://", ""},
        {"https://a.example/x\r\nhttp://b.example", "a.example"},
        {"a.example\nhttps://b.example/", "a.example"},
        {"a.example:8080", "a.example:8080"},
        {"::1", "::1"},
        {"a:/b", "a:/b"},
        {":", ":"},
    };
    for (const auto& [entry, host] : cases) {
        EXPECT_EQ(HostNameOfEntry(entry), host) << entry;
        EXPECT_EQ(Blocked("", {entry}), "\r\n" + BlockLine(host)) << entry;
    }
    // The copiers look at a colon wherever it falls in their words, and leave a plain entry whole.
    for (HostNameCopier copier : Copiers())
        for (size_t length = 0; length <= 40; ++length) {
            const std::string name = std::string(length, 'h') + ".example";
            EXPECT_EQ(LinesBy(copier, {"https://" + name + "/p", "http://" + name + ":80", name}),
                      BlockLine(name) + BlockLine(name) + BlockLine(name))
                << "length " << length;
            const std::string plain = std::string(length, 'p') + ":/";
            EXPECT_EQ(LinesBy(copier, {plain}), BlockLine(plain)) << "length " << length;
        }
}

TEST(HostsText, RandomEntriesOfControlBytesGiveOneLineEach) {
    // Bytes around the line breaks (NUL, tab, the other control characters below 0x0E, 0x0E
    // itself and bytes with the top bit set), in entries of every short length.
    const std::string alphabet(
        "\0\t\v\f\r\n\x0e\x8d\x8a"
        "a.",
        11);
    std::mt19937 random(11);
    std::vector<std::string> entries;
    std::string expected = "\r\n";
    for (int i = 0; i < 5000; ++i) {
        std::string entry(random() % 40, 'x');
        for (char& c : entry)
            if (random() % 4 == 0) c = alphabet[random() % alphabet.size()];
        entries.push_back(entry);
        expected += BlockLine(entry.substr(0, entry.find_first_of("\r\n")));
    }
    EXPECT_TRUE(Blocked("", entries) == expected);
    for (HostNameCopier copier : Copiers()) EXPECT_TRUE("\r\n" + LinesBy(copier, entries) == expected);
}

TEST(HostsText, ManyAndVeryLongEntriesKeepTheirOrder) {
    std::vector<std::string> entries;
    std::string expected = "previous\r\n\r\n";
    for (int i = 0; i < 700; ++i) {  // well past one buffer of the producer
        std::string name =
            "site" + std::to_string(i) + std::string(static_cast<size_t>(i % 997), 'q') + ".example";
        entries.push_back(name);
        expected += BlockLine(name);
    }
    const std::string huge(1100000, 'h');  // longer than the whole buffer (1 MB)
    entries.push_back(huge);
    expected += BlockLine(huge);
    entries.push_back(huge + "\nsecond line");
    expected += BlockLine(huge);
    entries.push_back("last");
    expected += BlockLine("last");
    EXPECT_TRUE(Blocked("previous\r\n", entries) == expected);
    EXPECT_EQ(Blocked("", {}), "\r\n") << "an empty list still adds the line break";
}

TEST(HostsText, TakingTheBlockLinesOutGivesBackTheTextFromBeforeAndJoinsNoLines) {
    const std::vector<std::string> list = {"x", "y"};
    const auto without = [&](const std::string& text) {
        return WithoutBlockLines(text, [&](BlockLineWriter& lines) { lines.AddAll(list); });
    };
    // Whatever a start wrote over, the lift gives it back byte for byte.
    for (const std::string previous : {"", "A", "A\r\n", "A\n", "A\r", "\r\n", "A\r\n\r\n", "A\r\nB"})
        EXPECT_EQ(without(Blocked(previous, list)), previous) << ::testing::PrintToString(previous);
    // Lines of the list that were there before, and lines another program wrote after the set.
    const std::string x = BlockLine("x");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"A\r\n" + x + "B\r\n", "A\r\nB\r\n"},
        {"A\r\n" + x + "B", "A\r\nB"},
        {Blocked("127.0.0.1 localhost\r\n" + x + "# end\r\n", list), "127.0.0.1 localhost\r\n# end\r\n"},
        {Blocked("127.0.0.1 localhost\r\n" + x + "# end", list), "127.0.0.1 localhost\r\n# end"},
        {Blocked("A", list) + "B\r\n", "A\r\nB\r\n"},
        {Blocked("A\r\n", list) + "B", "A\r\nB"},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(without(text), expected) << ::testing::PrintToString(text);
}

class HostsTextFiles : public TempTree {};

TEST_F(HostsTextFiles, ReadHostsForBlockingTellsMissingEmptyAndUnreadable) {
    HostsContent missing = ReadHostsForBlocking(hostsPath);
    EXPECT_FALSE(missing.exists);
    EXPECT_EQ(missing.text, "");

    WriteBytes(hostsPath, "");
    HostsContent empty = ReadHostsForBlocking(hostsPath);
    EXPECT_TRUE(empty.exists);
    EXPECT_EQ(empty.text, "") << "an empty hosts file is not the words empty file";

    WriteBytes(hostsPath, "empty file");
    EXPECT_EQ(ReadHostsForBlocking(hostsPath).text, "empty file");

    EXPECT_THROW(ReadHostsForBlocking(windir), Failure) << "a folder cannot be read as the hosts file";
    EXPECT_THROW(ReadHostsForBlocking(windir + "\\bad|name"), Failure)
        << "a path that cannot be looked at is not taken for a missing file";
}

}  // namespace

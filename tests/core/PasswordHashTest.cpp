#include <gtest/gtest.h>

#include <set>

#include "PasswordHash.h"
#include "support/StoredPassword.h"

namespace {

std::string FromHexOrDie(const std::string& hex) {
    std::string bytes;
    EXPECT_TRUE(FromHex(hex, bytes)) << hex;
    return bytes;
}

// Published PBKDF2-HMAC-SHA256 vectors: the derivation must be the standard one, or hashes
// written by one build would not open in another.
TEST(PasswordHash, DerivationMatchesPublishedVectors) {
    struct Row {
        std::string password, salt;
        std::uint32_t iterations;
        std::size_t length;
        const char* expected;
    };
    const Row rows[] = {
        {"password", "salt", 1, 32, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {"password", "salt", 4096, 32, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 40,
         "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
         "89b69d0516f829893c696226650a8687"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ToHex(DerivePbkdf2Sha256(row.password, row.salt, row.iterations, row.length)), row.expected)
            << "password of " << row.password.size() << " bytes, " << row.iterations << " iterations";
    }
}

TEST(PasswordHash, StoredFormIsSaltedAndRecognisable) {
    std::string first = HashPassword("Secret 1");
    std::string second = HashPassword("Secret 1");
    EXPECT_EQ(first.rfind("pbkdf2-sha256$10000$", 0), 0u) << first;
    EXPECT_EQ(first.size(), std::string("pbkdf2-sha256$10000$").size() + 32 + 1 + 64) << first;
    EXPECT_EQ(first.find("Secret"), std::string::npos) << "the password must not be readable in the value";
    EXPECT_NE(first, second) << "each store takes a fresh salt";
    EXPECT_TRUE(IsPasswordHash(first));
    EXPECT_TRUE(PasswordMatches("Secret 1", first));
    EXPECT_TRUE(PasswordMatches("Secret 1", second));

    // The stored key is the standard derivation of the stored salt and count.
    std::string salt = FromHexOrDie(first.substr(20, 32));
    EXPECT_EQ(first.substr(53), ToHex(DerivePbkdf2Sha256("Secret 1", salt, 10000, 32)));
}

TEST(PasswordHash, EmptyTextStaysEmptyValue) {
    EXPECT_EQ(HashPassword(""), "");
    EXPECT_TRUE(PasswordMatches("", ""));
    EXPECT_FALSE(PasswordMatches("x", ""));
    EXPECT_FALSE(PasswordMatches("", HashPassword("x"))) << "an empty entry never opens a real password";
}

TEST(PasswordHash, HashedPasswordIsExactAndCaseSensitive) {
    std::string stored = HashPassword("Kite Runner");
    const struct {
        const char* candidate;
        bool accepted;
    } rows[] = {
        {"Kite Runner", true},   {"kite runner", false}, {"Kite Runne", false}, {"Kite Runner ", false},
        {" Kite Runner", false}, {"KiteRunner", false},  {"", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PasswordMatches(row.candidate, stored), row.accepted) << row.candidate;
}

TEST(PasswordHash, ValuesNotInHashFormAreComparedAsPlainText) {
    // Settings written before hashing, and anything damaged, are plain text: typing exactly that
    // text opens them, nothing else does.
    const std::string salt32(32, 'a'), key64(64, 'b');
    const std::string plainValues[] = {
        "letmein",
        "pbkdf2-sha256$",
        "pbkdf2-sha256$0$" + salt32 + "$" + key64,
        "pbkdf2-sha256$010$" + salt32 + "$" + key64,
        "pbkdf2-sha256$-5$" + salt32 + "$" + key64,
        "pbkdf2-sha256$99999999999$" + salt32 + "$" + key64,
        "pbkdf2-sha256$10000001$" + salt32 + "$" + key64,  // above the cap: never run
        "pbkdf2-sha256$1000001$" + salt32 + "$" + key64,   // just above the cap
        "pbkdf2-sha256$10x$" + salt32 + "$" + key64,
        "pbkdf2-sha256$10000$" + salt32 + "$" + key64.substr(1),  // odd hex
        "pbkdf2-sha256$10000$" + salt32 + "$zz" + key64.substr(2),
        "pbkdf2-sha256$10000$" + salt32 + "$" + key64.substr(2),  // a key of 31 bytes
        "pbkdf2-sha256$10000$" + salt32 + "$" + key64 + "bb",     // a key of 33 bytes
        "pbkdf2-sha256$1$AB$CD",  // a key of one byte: one guess in 256 would open it
        "pbkdf2-sha256$10000$$" + key64,
        "pbkdf2-sha256$10000$" + salt32 + "$",
        "pbkdf2-sha256$10000$" + salt32,
        "PBKDF2-SHA256$10000$" + salt32 + "$" + key64,
    };
    for (const std::string& stored : plainValues) {
        EXPECT_TRUE(PasswordMatches(stored, stored)) << stored;
        EXPECT_FALSE(PasswordMatches(stored + "x", stored)) << stored;
    }
    EXPECT_FALSE(PasswordMatches("Letmein", "letmein"));
    EXPECT_TRUE(IsPasswordHash("pbkdf2-sha256$1$AB$" + key64));
    // At the cap itself: a million rounds, derived once to tell (about five seconds).
    EXPECT_TRUE(IsPasswordHash("pbkdf2-sha256$1000000$" + salt32 + "$" + key64));
}

TEST(PasswordHash, StoredIterationCountIsHonoured) {
    // A value written with another count still opens: the count is read back from the value.
    std::string stored = HashPassword("abc", 3);
    EXPECT_EQ(stored.rfind("pbkdf2-sha256$3$", 0), 0u);
    EXPECT_TRUE(PasswordMatches("abc", stored));
    std::string changedCount = "pbkdf2-sha256$4$" + stored.substr(16);
    EXPECT_FALSE(PasswordMatches("abc", changedCount));
}

TEST(PasswordHash, TypedTextAcceptedTrimmedOrExact) {
    const struct {
        const char* typed;
        const char* password;
        bool accepted;
    } rows[] = {
        {"", "", true},     // no password ever set
        {"   ", "", true},  // blanks only, no password
        {"x", "", false},         {"Fox", "Fox", true},
        {"  Fox  ", "Fox", true},  // blanks around the typed text are dropped
        {"fox", "Fox", false},    {"F ox", "Fox", false},
        {"\tFox", "Fox", false},  // only the space character is a blank
        {" Fox", " Fox", true},   // a password that begins with a blank can be typed as it is
        {"Fox ", "Fox ", true},   {"  Fox  ", "  Fox  ", true},
        {"Fox", " Fox", false},   {" Fox ", " Fox", false},
        {"   ", "   ", true},  // a password of blanks
    };
    for (const auto& row : rows) {
        std::string stored = HashPassword(row.password);
        EXPECT_EQ(TypedPasswordAccepted(row.typed, stored), row.accepted)
            << "typed [" << row.typed << "] for hashed [" << row.password << "]";
        EXPECT_EQ(TypedPasswordAccepted(row.typed, row.password), row.accepted)
            << "typed [" << row.typed << "] for plain [" << row.password << "]";
    }
}

TEST(PasswordHash, HexRoundTripAndRejects) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string back;
    ASSERT_TRUE(FromHex(ToHex(all), back));
    EXPECT_EQ(back, all);
    EXPECT_TRUE(FromHex("ABcd", back));
    EXPECT_EQ(back, "\xab\xcd");
    for (const char* bad : {"a", "0g", "+1", " 1"}) EXPECT_FALSE(FromHex(bad, back)) << bad;
}

TEST(PasswordHash, RandomBytesDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) seen.insert(RandomBytes(16));
    EXPECT_EQ(seen.size(), 20u);
}

}  // namespace

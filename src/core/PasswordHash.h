#pragma once
// The stored form of the password. The settings value "Password" holds a salted, slow hash of the
// text typed in the main window's password field, so whoever reads the registry under the same
// account cannot read the password:
//
//   pbkdf2-sha256$<iterations>$<salt, hex>$<derived key, hex>
//
// The empty text is stored as the empty value (no protection). A stored value that is not in
// this form is a password kept in plain text by an earlier run, and is compared as it is.

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kPasswordHashPrefix[] = "pbkdf2-sha256$";
// One hash runs on every change of the password field, so it must stay well below a keystroke's
// time; see bench/password_hash.cpp for the figures this count was chosen from.
inline constexpr std::uint32_t kPasswordHashIterations = 10000;
inline constexpr std::size_t kPasswordSaltBytes = 16;
inline constexpr std::size_t kPasswordKeyBytes = 32;
// Stored counts above this are treated as damaged rather than run (a strange value must not hang
// the password window).
inline constexpr std::uint32_t kMaxPasswordHashIterations = 1000000;

// PBKDF2 with HMAC-SHA256 through Windows CNG. Throws Failure when CNG refuses.
std::string DerivePbkdf2Sha256(const std::string& password, const std::string& salt, std::uint32_t iterations,
                               std::size_t keyBytes);

// `count` random bytes from the system's generator. Throws Failure when it refuses.
std::string RandomBytes(std::size_t count);

// The value to store for the typed text: "" for "", else the hash form with a fresh salt.
// Throws Failure when CNG refuses.
std::string HashPassword(const std::string& text, std::uint32_t iterations = kPasswordHashIterations);

// True when the candidate is the password the stored value stands for: the hash form is checked
// by deriving the key again with the stored salt and count; any other value is compared as plain
// text, exactly and case-sensitively. The hash form is the prefix, a count from 1 to the limit
// above, a salt of at least one byte and a key of exactly kPasswordKeyBytes, both in hex. A key of
// another length is no hash: a short one could be matched by chance.
bool PasswordMatches(const std::string& candidate, const std::string& stored);

// The password window's acceptance rule: the typed text is accepted when it matches with its
// blanks (spaces) removed from both ends, or exactly as typed, so that a password which itself
// begins or ends with a blank can still be entered.
bool TypedPasswordAccepted(const std::string& typed, const std::string& stored);

// The text with the space character removed from both of its ends.
std::string TrimBlanks(const std::string& text);

std::string ToHex(const std::string& bytes);
// Lower- or upper-case hex of even length to bytes; false on anything else.
bool FromHex(const std::string& hex, std::string& bytes);

// A password the program holds for a while as typed (the one that lifts the block it started):
// its characters are overwritten whenever it is replaced or forgotten, so no memory the program
// gives back still holds them.
class HeldPassword {
  public:
    HeldPassword() = default;
    ~HeldPassword() { Forget(); }
    HeldPassword(const HeldPassword&) = delete;
    HeldPassword& operator=(const HeldPassword&) = delete;

    void Hold(std::string_view text);
    void Forget();
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

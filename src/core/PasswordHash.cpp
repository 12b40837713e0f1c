#include "PasswordHash.h"

#include <windows.h>
#include <bcrypt.h>

#include <charconv>

#include "Failure.h"
#include "Handles.h"
#include "SystemLibrary.h"

namespace {

// CNG answers NTSTATUS codes; their system wording is the matching Win32 error's.
DWORD Win32ErrorOf(NTSTATUS status) {
    using Convert = ULONG(WINAPI*)(NTSTATUS);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto convert = ntdll != nullptr ? reinterpret_cast<Convert>(reinterpret_cast<void*>(
                                          GetProcAddress(ntdll, "RtlNtStatusToDosError")))
                                    : nullptr;
    return convert != nullptr ? convert(status) : ERROR_INTERNAL_ERROR;
}

void CheckStatus(NTSTATUS status) {
    if (status < 0) ThrowWin32Error(Win32ErrorOf(status));
}

// The cryptography library's functions, bound at the first hash rather than at start-up.
struct Cng {
    decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider =
        SystemFunction<decltype(&BCryptOpenAlgorithmProvider)>("bcrypt.dll", "BCryptOpenAlgorithmProvider");
    decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider =
        SystemFunction<decltype(&BCryptCloseAlgorithmProvider)>("bcrypt.dll", "BCryptCloseAlgorithmProvider");
    decltype(&BCryptDeriveKeyPBKDF2) DeriveKeyPBKDF2 =
        SystemFunction<decltype(&BCryptDeriveKeyPBKDF2)>("bcrypt.dll", "BCryptDeriveKeyPBKDF2");
    decltype(&BCryptGenRandom) GenRandom =
        SystemFunction<decltype(&BCryptGenRandom)>("bcrypt.dll", "BCryptGenRandom");
};

const Cng& Bcrypt() {
    static const Cng functions;
    return functions;
}

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    Bcrypt().CloseAlgorithmProvider(algorithm, 0);
}
using UniqueAlgorithm = UniqueHandle<BCRYPT_ALG_HANDLE, CloseAlgorithm>;

// The HMAC-SHA256 provider is opened once and kept: opening it is the slow part of a short hash.
BCRYPT_ALG_HANDLE HmacSha256() {
    static UniqueAlgorithm provider;
    if (!provider) {
        CheckStatus(Bcrypt().OpenAlgorithmProvider(provider.put(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                                   BCRYPT_ALG_HANDLE_HMAC_FLAG));
    }
    return provider.get();
}

// Compares without stopping at the first difference, so the time taken tells nothing about how
// much of a guess was right.
bool SameBytes(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
    return difference == 0;
}

struct ParsedHash {
    std::uint32_t iterations = 0;
    std::string salt;
    std::string key;
};

bool ParseHash(const std::string& stored, ParsedHash& parsed) {
    const std::string prefix = kPasswordHashPrefix;
    if (stored.compare(0, prefix.size(), prefix) != 0) return false;
    size_t countEnd = stored.find('$', prefix.size());
    if (countEnd == std::string::npos) return false;
    size_t saltEnd = stored.find('$', countEnd + 1);
    if (saltEnd == std::string::npos) return false;

    const char* countBegin = stored.data() + prefix.size();
    const char* countStop = stored.data() + countEnd;
    if (countBegin == countStop || *countBegin == '0') return false;
    auto [end, error] = std::from_chars(countBegin, countStop, parsed.iterations);
    if (error != std::errc() || end != countStop) return false;
    if (parsed.iterations == 0 || parsed.iterations > kMaxPasswordHashIterations) return false;

    if (!FromHex(stored.substr(countEnd + 1, saltEnd - countEnd - 1), parsed.salt) || parsed.salt.empty())
        return false;
    return FromHex(stored.substr(saltEnd + 1), parsed.key) && parsed.key.size() == kPasswordKeyBytes;
}

}  // namespace

std::string DerivePbkdf2Sha256(const std::string& password, const std::string& salt, std::uint32_t iterations,
                               std::size_t keyBytes) {
    std::string key(keyBytes, '\0');
    // CNG reads the password and salt through non-const pointers but does not change them.
    std::string passwordCopy = password, saltCopy = salt;
    CheckStatus(Bcrypt().DeriveKeyPBKDF2(
        HmacSha256(), reinterpret_cast<PUCHAR>(passwordCopy.data()), static_cast<ULONG>(passwordCopy.size()),
        reinterpret_cast<PUCHAR>(saltCopy.data()), static_cast<ULONG>(saltCopy.size()), iterations,
        reinterpret_cast<PUCHAR>(key.data()), static_cast<ULONG>(key.size()), 0));
    SecureZeroMemory(passwordCopy.data(), passwordCopy.size());
    return key;
}

std::string RandomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    CheckStatus(Bcrypt().GenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(count),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    return bytes;
}

std::string HashPassword(const std::string& text, std::uint32_t iterations) {
    if (text.empty()) return "";
    std::string salt = RandomBytes(kPasswordSaltBytes);
    std::string key = DerivePbkdf2Sha256(text, salt, iterations, kPasswordKeyBytes);
    return kPasswordHashPrefix + std::to_string(iterations) + "$" + ToHex(salt) + "$" + ToHex(key);
}

bool PasswordMatches(const std::string& candidate, const std::string& stored) {
    ParsedHash parsed;
    if (!ParseHash(stored, parsed)) return SameBytes(candidate, stored);
    // The empty text is never stored hashed, so it cannot open a hash.
    if (candidate.empty()) return false;
    return SameBytes(DerivePbkdf2Sha256(candidate, parsed.salt, parsed.iterations, kPasswordKeyBytes),
                     parsed.key);
}

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool TypedPasswordAccepted(const std::string& typed, const std::string& stored) {
    std::string trimmed = TrimBlanks(typed);
    if (PasswordMatches(trimmed, stored)) return true;
    return trimmed != typed && PasswordMatches(typed, stored);
}

std::string ToHex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
    }
    bytes = std::move(out);
    return true;
}

void HeldPassword::Hold(std::string_view text) {
    Forget();
    text_.assign(text);
}

void HeldPassword::Forget() {
    // Over the whole capacity: a shorter text held before may have left characters past the end.
    if (text_.capacity() > 0) SecureZeroMemory(text_.data(), text_.capacity());
    text_.clear();
}

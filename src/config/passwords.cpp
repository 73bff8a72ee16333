#include "config/passwords.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>

#include "platform/cp1250.h"

namespace kel {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr size_t kMarkerDigits = 14;

std::string Hex(const uint8_t* bytes, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 15]);
    }
    return out;
}

bool Derive(std::string_view cp1250, const uint8_t (&salt)[16], uint32_t iterations, uint8_t (&key)[32]) {
    return iterations >= kFewestIterations && iterations <= kMostIterations &&
           PKCS5_PBKDF2_HMAC(cp1250.data(), static_cast<int>(cp1250.size()), salt, sizeof salt,
                             static_cast<int>(iterations), EVP_sha256(), sizeof key, key) == 1;
}

bool Hashed(const TPasswordRecord& hash) {
    return hash.Kind == 1;
}

}  // namespace

bool WeakPassword(std::string_view utf8) {
    const size_t chars = static_cast<size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    return utf8 == kDefaultPassword || chars < kStrongPasswordChars;
}

TPasswordRecord HashPassword(std::string_view cp1250, bool weak, uint32_t iterations) {
    TPasswordRecord h{};
    h.Weak = weak ? 1 : 0;
    h.Iterations = iterations;
    if (RAND_bytes(h.Salt, sizeof h.Salt) != 1 || !Derive(cp1250, h.Salt, iterations, h.Hash))
        return TPasswordRecord{};
    h.Kind = 1;
    return h;
}

bool VerifyPassword(const TPasswordRecord& hash, std::string_view cp1250) {
    uint8_t key[32];
    return Hashed(hash) && Derive(cp1250, hash.Salt, hash.Iterations, key) &&
           CRYPTO_memcmp(key, hash.Hash, sizeof key) == 0;
}

bool SameHash(const TPasswordRecord& a, const TPasswordRecord& b) {
    return Hashed(a) && Hashed(b) && a.Iterations == b.Iterations &&
           CRYPTO_memcmp(a.Salt, b.Salt, sizeof a.Salt) == 0 &&
           CRYPTO_memcmp(a.Hash, b.Hash, sizeof a.Hash) == 0;
}

std::string PasswordMarker(const TPasswordRecord& hash) {
    return Hashed(hash) ? "#" + Hex(hash.Hash, kMarkerDigits / 2) : std::string();
}

bool IsMarkerOf(std::string_view text, const TPasswordRecord& hash) {
    const std::string marker = PasswordMarker(hash);
    return !marker.empty() && text == marker;
}

bool IsMarkerOf(const ShortString<15>& field, const TPasswordRecord& hash) {
    const std::string marker = PasswordMarker(hash);
    return !marker.empty() && field.EqualsBytes(marker);
}

std::string PasswordHashText(const TPasswordRecord& hash) {
    if (!Hashed(hash))
        return {};
    return "pbkdf2-sha256$" + std::to_string(hash.Iterations) + "$" + Hex(hash.Salt, sizeof hash.Salt) + "$" +
           Hex(hash.Hash, sizeof hash.Hash);
}

void SetPassword(TUserRecord& user, TPasswordRecord& hash, std::string_view utf8) {
    hash = HashPassword(ToCp1250(utf8), WeakPassword(utf8));
    // Without a random source no hash can be made: the record keeps no usable password.
    const std::string marker = PasswordMarker(hash);
    user.Password.Set(marker.empty() ? "#" : marker);
}

bool HasPassword(const TUserRecord& user) {
    return !user.Password.Empty();
}

bool PasswordMatches(const TUserRecord& user, const TPasswordRecord& hash, std::string_view cp1250) {
    if (user.Password.Empty() || cp1250.empty())
        return false;
    if (IsMarkerOf(user.Password, hash))
        return VerifyPassword(hash, cp1250);
    const size_t n = std::min<size_t>(user.Password.len, 15);
    return n == cp1250.size() && CRYPTO_memcmp(user.Password.chars, cp1250.data(), n) == 0;
}

bool WeakPasswordOf(const TUserRecord& user, const TPasswordRecord& hash) {
    if (IsMarkerOf(user.Password, hash))
        return hash.Weak != 0;
    return WeakPassword(user.Password.Get());
}

int HashPlainPasswords(TUserTable& users, TPasswordTable& hashes) {
    int count = 0;
    for (int i = 0; i < kUserCount; ++i) {
        TUserRecord& u = users[i];
        if (!u.InUse() || IsMarkerOf(u.Password, hashes[i]))
            continue;
        const std::string plain(u.Password.chars, std::min<size_t>(u.Password.len, 15));
        hashes[i] = HashPassword(plain, WeakPassword(FromCp1250(plain)));
        const std::string marker = PasswordMarker(hashes[i]);
        if (marker.empty())
            continue;  // no random source: left as it is, for a later try
        // The bytes past the new length are cleared: the plain password must not linger there.
        u.Password = ShortString<15>{};
        u.Password.Set(marker);
        ++count;
    }
    return count;
}

}  // namespace kel

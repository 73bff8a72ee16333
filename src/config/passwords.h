#pragma once
// How passwords are kept: never as they are typed, but as a slow salted hash (PBKDF2-HMAC-SHA256
// of the password's code page 1250 bytes, a random salt per password, the iteration count kept
// with each hash so that it can grow later). The store value "PassHashes" holds one hash record
// per user record, index for index; the Password field of the user's record keeps its 15 bytes
// and holds the hash's marker instead of the password: "#" and 14 hex digits of the hash, which
// keeps the record in use and tells, at the same index, that the hash belongs to it. A Password
// field that is not the marker of its hash holds a plain password (a store or a .reg file of an
// older station, or one written by hand): it is hashed at the next load or import.
//
// The automatic login keeps the same way: "sPass" holds the marker of "sPassHash", a copy of the
// hash of its user's password as it was when the automatic login was set.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/records.h"

namespace kel {

// About 25 ms on the station's processor (measured with OpenSSL 3: 16 ms for 50,000 idle, 31 ms
// for 100,000; twice that while the other core builds).
inline constexpr uint32_t kPasswordIterations = 80000;
// The iteration counts a stored hash may have (the import check refuses others).
inline constexpr uint32_t kFewestIterations = 1000;
inline constexpr uint32_t kMostIterations = 10000000;
// The first administrator's password of the first-run defaults.
inline constexpr const char* kDefaultPassword = "qxv";
inline constexpr size_t kStrongPasswordChars = 8;
inline constexpr size_t kMaxPasswordChars = 64;

// Whether a password (UTF-8) is one a guesser finds first: the default one, or shorter than 8
// characters.
bool WeakPassword(std::string_view utf8);

// A new hash of a password (code page 1250 bytes) with a fresh random salt; Kind 0 when the
// system has no random source.
TPasswordRecord HashPassword(std::string_view cp1250, bool weak, uint32_t iterations = kPasswordIterations);
// Whether the password (code page 1250 bytes) is the one hashed. Slow by design.
bool VerifyPassword(const TPasswordRecord& hash, std::string_view cp1250);
// The same hash (iterations, salt and key), compared in constant time.
bool SameHash(const TPasswordRecord& a, const TPasswordRecord& b);

// The marker of a hash, as code page 1250 bytes (ASCII): "#" and 14 hex digits; empty for none.
std::string PasswordMarker(const TPasswordRecord& hash);
bool IsMarkerOf(const ShortString<15>& field, const TPasswordRecord& hash);
bool IsMarkerOf(std::string_view text, const TPasswordRecord& hash);
// "pbkdf2-sha256$ITERATIONS$SALT$KEY" (hex), the form a hash is handed over in; empty for none.
std::string PasswordHashText(const TPasswordRecord& hash);

// A user's password set: its hash (weak when WeakPassword says so) and the marker.
void SetPassword(TUserRecord& user, TPasswordRecord& hash, std::string_view utf8);
// Whether the record has a password, hashed or (not yet) plain.
bool HasPassword(const TUserRecord& user);
// Whether the password (code page 1250 bytes) is this user's: checked against the hash, or against
// a plain password not yet hashed.
bool PasswordMatches(const TUserRecord& user, const TPasswordRecord& hash, std::string_view cp1250);
// Whether the user's password is weak (marked so with its hash, or a plain one that is).
bool WeakPasswordOf(const TUserRecord& user, const TPasswordRecord& hash);
// Every record in use whose Password field holds a plain password gets it hashed; the count.
int HashPlainPasswords(TUserTable& users, TPasswordTable& hashes);

}  // namespace kel

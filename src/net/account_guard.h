#pragma once
// What the network remembers of the accounts guessed at: the failed logins of each login (web view
// and TCP server together, from any address) within a window. After kFailures failures within
// kWindow the account is locked on the network for kLock, even for the right password, and the
// one who locks it is told so (the station raises an alarm). The console never asks here: someone
// at the station still logs in there.
//
// Logins are keyed as code page 1250 bytes, as the TCP server receives them and the user table
// keeps them. Any thread. At most kMaxAccounts logins are remembered; the stalest unlocked ones
// are forgotten first, so a guesser trying made-up logins cannot fill the memory.

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/guarded.h"

namespace kel {

class AccountGuard {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kFailures = 10;
    static constexpr std::chrono::minutes kWindow{15};
    static constexpr std::chrono::minutes kLock{15};
    static constexpr size_t kMaxAccounts = 4096;

    explicit AccountGuard(std::function<Clock::time_point()> now = Clock::now);

    // Whether the account is locked now.
    bool Locked(const std::string& loginBytes);
    // A failed login of the account: true exactly when this failure locks it.
    bool Failed(const std::string& loginBytes);
    size_t Remembered() const;

private:
    struct Account {
        std::vector<Clock::time_point> failures;  // within the window, oldest first
        Clock::time_point lockedUntil{};
        Clock::time_point seen{};
    };
    void Forget(Clock::time_point now) KEL_REQUIRES(mutex_);

    const std::function<Clock::time_point()> now_;
    mutable Mutex mutex_;
    std::map<std::string, Account> accounts_ KEL_GUARDED_BY(mutex_);
};

// The reasons a right password is refused on the network, for the log (no diacritics).
inline constexpr const char* kWeakPasswordReason =
    "haslo domyslne lub krotsze niz 8 znakow, zmien je na konsoli";
inline constexpr const char* kLockedReason = "konto zablokowane na 15 minut po 10 nieudanych logowaniach";
// The alarm raised when an account is locked (the login as UTF-8).
std::string AccountLockedText(const std::string& login);

}  // namespace kel

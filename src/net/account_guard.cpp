#include "net/account_guard.h"

#include <algorithm>

namespace kel {

AccountGuard::AccountGuard(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

bool AccountGuard::Locked(const std::string& loginBytes) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    auto it = accounts_.find(loginBytes);
    return it != accounts_.end() && now < it->second.lockedUntil;
}

bool AccountGuard::Failed(const std::string& loginBytes) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    if (accounts_.size() >= kMaxAccounts && !accounts_.count(loginBytes))
        Forget(now);
    Account& a = accounts_[loginBytes];
    a.seen = now;
    if (now < a.lockedUntil)
        return false;  // locked already: told once, when it was locked
    std::erase_if(a.failures, [&](Clock::time_point t) { return now - t >= kWindow; });
    a.failures.push_back(now);
    if (static_cast<int>(a.failures.size()) < kFailures)
        return false;
    a.failures.clear();
    a.lockedUntil = now + kLock;
    return true;
}

size_t AccountGuard::Remembered() const {
    MutexLock lock(mutex_);
    return accounts_.size();
}

// Accounts neither locked nor failed within the window go first; then the stalest unlocked one.
void AccountGuard::Forget(Clock::time_point now) {
    std::erase_if(accounts_, [&](const auto& entry) {
        const Account& a = entry.second;
        return now >= a.lockedUntil && (a.failures.empty() || now - a.failures.back() >= kWindow);
    });
    while (accounts_.size() >= kMaxAccounts) {
        auto stalest = accounts_.end();
        for (auto it = accounts_.begin(); it != accounts_.end(); ++it)
            if (now >= it->second.lockedUntil &&
                (stalest == accounts_.end() || it->second.seen < stalest->second.seen))
                stalest = it;
        if (stalest == accounts_.end())
            break;  // every one locked: they stay (a lock ends by itself)
        accounts_.erase(stalest);
    }
}

std::string AccountLockedText(const std::string& login) {
    return "Konto \"" + login +
           "\" zablokowane w sieci (WWW i TCP) na 15 minut: 10 nieudanych logowan w 15 minut";
}

}  // namespace kel

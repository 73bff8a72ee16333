#include "net/peer_guard.h"

#include "platform/guarded.h"
#include <algorithm>
#include <utility>

namespace kel {

PeerGuard::PeerGuard() : PeerGuard(Timing{}) {}

PeerGuard::PeerGuard(Timing timing, std::function<Clock::time_point()> now)
    : timing_(timing), now_(std::move(now)) {}

PeerGuard::Peer& PeerGuard::Find(const std::string& address, Clock::time_point now) {
    auto it = peers_.find(address);
    if (it == peers_.end()) {
        if (peers_.size() >= kMaxAddresses) {
            auto stalest = std::min_element(peers_.begin(), peers_.end(), [](const auto& a, const auto& b) {
                return a.second.seen < b.second.seen;
            });
            peers_.erase(stalest);
        }
        it = peers_.emplace(address, Peer{}).first;
    }
    it->second.seen = now;
    return it->second;
}

bool PeerGuard::Count(Lines& lines, Clock::time_point now, int& skipped) const {
    skipped = 0;
    if (lines.written == 0 || now - lines.windowStart >= timing_.window) {
        lines.windowStart = now;
        lines.written = 0;
    }
    if (lines.written >= kLinesPerWindow) {
        ++lines.skipped;
        return false;
    }
    ++lines.written;
    std::swap(skipped, lines.skipped);
    return true;
}

bool PeerGuard::LogConnection(const std::string& address, int& skipped) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    return Count(Find(address, now).connections, now, skipped);
}

std::chrono::milliseconds PeerGuard::LoginFailed(const std::string& address, bool& log, int& skipped) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    Peer& peer = Find(address, now);
    if (peer.failures > 0 && now - peer.lastFailure >= timing_.forgetFailures)
        peer.failures = 0;
    ++peer.failures;
    peer.lastFailure = now;
    log = Count(peer.refusals, now, skipped);
    std::chrono::milliseconds delay = timing_.firstDelay;
    for (int i = 1; i < peer.failures && delay < timing_.longestDelay; ++i)
        delay *= 2;
    // After the waits already queued for this address, whichever connection they came from.
    peer.waitUntil = std::max(now, peer.waitUntil) + std::min(delay, timing_.longestDelay);
    return std::chrono::duration_cast<std::chrono::milliseconds>(peer.waitUntil - now);
}

bool PeerGuard::Waiting(const std::string& address) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    auto it = peers_.find(address);
    return it != peers_.end() && now < it->second.waitUntil;
}

int PeerGuard::TurnedAway(const std::string& address) {
    const Clock::time_point now = now_();
    MutexLock lock(mutex_);
    Peer& peer = Find(address, now);
    ++peer.turned;
    if (peer.turnedTold && now - peer.turnedSince < timing_.window)
        return 0;
    const int told = peer.turned;
    peer.turned = 0;
    peer.turnedSince = now;
    peer.turnedTold = true;
    return told;
}

void PeerGuard::LoginSucceeded(const std::string& address) {
    MutexLock lock(mutex_);
    auto it = peers_.find(address);
    if (it != peers_.end()) {
        it->second.failures = 0;
        it->second.waitUntil = {};
    }
}

bool PeerGuard::Pause(std::chrono::milliseconds delay) {
    UniqueMutexLock lock(mutex_);
    return !stop_.wait_for(lock.Native(), delay, [this]() KEL_REQUIRES(mutex_) { return stopping_; });
}

void PeerGuard::SetStopping(bool stopping) {
    {
        MutexLock lock(mutex_);
        stopping_ = stopping;
    }
    stop_.notify_all();
}

size_t PeerGuard::Remembered() const {
    MutexLock lock(mutex_);
    return peers_.size();
}

}  // namespace kel

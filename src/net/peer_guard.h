#pragma once
// What the server remembers of the addresses that reach it, so that no client can wear it down:
// which connections and refused logins get a log line (a client connecting thousands of times a
// minute must not flood the log, which is emptied once it grows too big), and how long a failed
// login waits before its answer (a delay that doubles with every failure from the address, so
// passwords cannot be tried thousands of times a second). The waits of one address queue up behind
// each other across all its connections, and while it waits it gets no new connection: many
// parallel connections guess no faster than one. Lines left out are counted and the count is
// logged with the next line of that address in a later window; connections turned away are told
// as one counted line a window.
//
// Any thread. At most kMaxAddresses addresses are remembered; the stalest are forgotten first.

#include "platform/guarded.h"
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace kel {

class PeerGuard {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLinesPerWindow = 10;  // log lines of each kind per address and window
    static constexpr size_t kMaxAddresses = 1024;

    struct Timing {
        std::chrono::milliseconds window{60000};           // the span the log lines are counted in
        std::chrono::milliseconds firstDelay{250};         // the wait after an address's first failure
        std::chrono::milliseconds longestDelay{8000};      // the wait never grows beyond this
        std::chrono::milliseconds forgetFailures{600000};  // failures this old no longer count
    };

    PeerGuard();
    explicit PeerGuard(Timing timing, std::function<Clock::time_point()> now = Clock::now);

    // A new connection from `address`: true when its lines go to the log. `skipped` receives the
    // lines of this address left out before, to be reported now (0 when none or not logged).
    bool LogConnection(const std::string& address, int& skipped);
    // A failed login from `address`: the wait before it is answered. `log` says whether the
    // refusal gets its line; `skipped` as above.
    std::chrono::milliseconds LoginFailed(const std::string& address, bool& log, int& skipped);
    // A login that succeeded: the address's failures are forgotten.
    void LoginSucceeded(const std::string& address);
    // Whether `address` waits out a failed login now (its new connections are turned away).
    bool Waiting(const std::string& address);
    // A connection from `address` turned away: the count to tell in a log line now (the first at
    // once, then those of a window together at the first turned away after it), else 0.
    int TurnedAway(const std::string& address);
    size_t Remembered() const;

    // A connection's thread waits out a delay here; false, at once, once the server stops.
    bool Pause(std::chrono::milliseconds delay);
    // The server stops (every pause ends) or starts again.
    void SetStopping(bool stopping);

private:
    struct Lines {
        Clock::time_point windowStart{};
        int written = 0;
        int skipped = 0;
    };
    struct Peer {
        Clock::time_point seen{};
        Lines connections;
        Lines refusals;
        int failures = 0;
        Clock::time_point lastFailure{};
        Clock::time_point waitUntil{};  // the answer to its last failed login is due then
        Clock::time_point turnedSince{};
        int turned = 0;           // turned away since turnedSince, not yet told
        bool turnedTold = false;  // a line was written at turnedSince
    };
    Peer& Find(const std::string& address, Clock::time_point now) KEL_REQUIRES(mutex_);
    bool Count(Lines& lines, Clock::time_point now, int& skipped) const;

    const Timing timing_;
    const std::function<Clock::time_point()> now_;
    mutable Mutex mutex_;
    std::map<std::string, Peer> peers_ KEL_GUARDED_BY(mutex_);
    bool stopping_ KEL_GUARDED_BY(mutex_) = false;
    std::condition_variable stop_;
};

}  // namespace kel

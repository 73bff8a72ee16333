#pragma once
// The station's one-second timer: a small thread that hands a tick to the window thread every
// second, where the tick's work runs. Ticks keep to the second over a long run (each is due one
// second after the one before, not after the work), headless and on the desktop alike.

#include <chrono>
#include <functional>

#include "platform/periodic_thread.h"

namespace kel {

class SecondTimer {
public:
    // Hands one tick to the window thread; must not wait for it (the window thread stops us).
    using Poster = std::function<void()>;

    explicit SecondTimer(Poster post, std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~SecondTimer();
    SecondTimer(const SecondTimer&) = delete;
    SecondTimer& operator=(const SecondTimer&) = delete;

    // Window thread.
    void Start();
    // No tick is handed over once this returns.
    void Stop();
    bool Running() const { return thread_.Running(); }

private:
    const Poster post_;
    const std::chrono::milliseconds interval_;
    PeriodicThread thread_;
};

}  // namespace kel

#pragma once
// The station's one-second timer: a small thread that hands a tick to the window thread every
// second, where the tick's work runs. Ticks keep to the second over a long run (each is due one
// second after the one before, not after the work), headless and on the desktop alike.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

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
    bool Running() const { return thread_.joinable(); }

private:
    void Run(std::stop_token stop);

    const Poster post_;
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_;
};

}  // namespace kel

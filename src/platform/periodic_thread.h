#pragma once
// The one shape of the station's periodic threads: a thread that runs a piece of work, waits, and
// runs it again until it is stopped. A stop request ends the wait at once; Stop joins. Work that
// throws is reported (once, until a pass succeeds again) and the thread goes on with the next
// pass: no thread of the station ever ends by surprise, and none takes the program down.
//
// The pace is either a pause after each pass (the work takes what it takes, then the thread rests)
// or a fixed beat (each pass due one period after the one before, not after the work; after a
// stall the beat starts again from now instead of rushing to catch up). The period may change
// while the thread runs; the change applies from the next wait. The thread may be paused: a pause
// takes effect between passes, never waiting for the pass under way, and a stop ends it too.

#include "platform/guarded.h"
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace kel {

class PeriodicThread {
public:
    enum class Pace { PauseAfterWork, FixedBeat };
    using Work = std::function<void()>;
    // Called on the thread with the text of what the work threw.
    using Failure = std::function<void(const std::string& what)>;

    PeriodicThread() = default;
    // Stops the thread.
    ~PeriodicThread();
    PeriodicThread(const PeriodicThread&) = delete;
    PeriodicThread& operator=(const PeriodicThread&) = delete;

    // Starts the thread unless it runs; `waitFirst` waits one period before the first pass. False
    // when no thread could be made.
    bool Start(std::chrono::milliseconds period, Pace pace, Work work, Failure failed,
               bool waitFirst = false);
    // Ends the pass under way (if any) and the thread; returns once it has ended. Any thread but
    // the periodic one itself.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // Any thread, at any time, running or not.
    void SetPeriod(std::chrono::milliseconds period);
    std::chrono::milliseconds Period() const;
    void Pause();
    void Resume();
    bool Paused() const;

private:
    void Run(std::stop_token stop);
    void Pass();

    std::atomic<int64_t> period_ms_{0};
    Pace pace_ = Pace::PauseAfterWork;
    bool wait_first_ = false;
    Work work_;
    Failure failed_;
    bool failing_ = false;  // the periodic thread only
    mutable Mutex mutex_;
    bool paused_ KEL_GUARDED_BY(mutex_) = false;
    std::condition_variable_any wake_;
    std::jthread thread_;
};

}  // namespace kel

#include "core/second_timer.h"

#include <utility>

namespace kel {

SecondTimer::SecondTimer(Poster post, std::chrono::milliseconds interval)
    : post_(std::move(post)), interval_(interval) {}

SecondTimer::~SecondTimer() {
    Stop();
}

void SecondTimer::Start() {
    if (thread_.joinable())
        return;
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void SecondTimer::Stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
}

void SecondTimer::Run(std::stop_token stop) {
    auto due = std::chrono::steady_clock::now() + interval_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_until(lock, stop, due, [] { return false; }) && !stop.stop_requested()) {
        post_();
        due += interval_;
        // After a stall (a suspended machine) the ticks do not rush to catch up.
        auto now = std::chrono::steady_clock::now();
        if (due < now)
            due = now + interval_;
    }
}

}  // namespace kel

#include "platform/periodic_thread.h"

#include <exception>
#include <system_error>
#include <utility>

namespace kel {

PeriodicThread::~PeriodicThread() {
    Stop();
}

bool PeriodicThread::Start(std::chrono::milliseconds period, Pace pace, Work work, Failure failed,
                           bool waitFirst) {
    if (thread_.joinable())
        return true;
    period_ = period;
    pace_ = pace;
    wait_first_ = waitFirst;
    work_ = std::move(work);
    failed_ = std::move(failed);
    failing_ = false;
    try {
        thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PeriodicThread::Stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
    thread_ = std::jthread();
}

void PeriodicThread::Pass() {
    try {
        work_();
        failing_ = false;
    } catch (const std::exception& e) {
        if (!failing_ && failed_)
            failed_(e.what());
        failing_ = true;
    } catch (...) {
        if (!failing_ && failed_)
            failed_("unknown error");
        failing_ = true;
    }
}

void PeriodicThread::Run(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    auto due = Clock::now() + period_;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!wait_first_) {
        lock.unlock();
        Pass();
        lock.lock();
        due = Clock::now() + period_;
    }
    while (!stop.stop_requested()) {
        if (wake_.wait_until(lock, stop, due, [] { return false; }) || stop.stop_requested())
            return;
        lock.unlock();
        Pass();
        lock.lock();
        const auto now = Clock::now();
        if (pace_ == Pace::PauseAfterWork) {
            due = now + period_;
        } else {
            due += period_;
            if (due < now)
                due = now + period_;  // after a stall (a suspended machine) no rush to catch up
        }
    }
}

}  // namespace kel

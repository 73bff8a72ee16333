#include "platform/periodic_thread.h"

#include "platform/guarded.h"
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
    SetPeriod(period);
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

void PeriodicThread::SetPeriod(std::chrono::milliseconds period) {
    period_ms_.store(period.count() < 0 ? 0 : period.count(), std::memory_order_relaxed);
}

std::chrono::milliseconds PeriodicThread::Period() const {
    return std::chrono::milliseconds(period_ms_.load(std::memory_order_relaxed));
}

void PeriodicThread::Pause() {
    MutexLock lock(mutex_);
    paused_ = true;
}

void PeriodicThread::Resume() {
    {
        MutexLock lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
}

bool PeriodicThread::Paused() const {
    MutexLock lock(mutex_);
    return paused_;
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
    UniqueMutexLock lock(mutex_);
    auto due = Clock::now();  // of the pass to come
    if (wait_first_) {
        due += Period();
        if (wake_.wait_until(lock, stop, due, [] { return false; }) || stop.stop_requested())
            return;
    }
    for (;;) {
        wake_.wait(lock, stop, [this]() KEL_REQUIRES(mutex_) { return !paused_; });
        if (stop.stop_requested())
            return;
        lock.unlock();
        Pass();
        lock.lock();
        const auto now = Clock::now();
        if (pace_ == Pace::PauseAfterWork) {
            due = now + Period();
        } else {
            due += Period();
            if (due < now)
                due = now + Period();  // after a stall (a suspended machine) no rush to catch up
        }
        if (wake_.wait_until(lock, stop, due, [] { return false; }) || stop.stop_requested())
            return;
    }
}

}  // namespace kel

#include "recording/archive_worker.h"

#include "platform/guarded.h"
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace kel {

ArchiveWorker::ArchiveWorker(ArchiveFn archive, std::chrono::milliseconds retry, WorkerThread::Failure failed)
    : archive_(std::move(archive)), retry_(retry), failed_(std::move(failed)) {}

ArchiveWorker::~ArchiveWorker() {
    Stop();
}

void ArchiveWorker::SetHousekeeping(std::function<void()> job, std::chrono::milliseconds every) {
    housekeeping_ = std::move(job);
    housekeeping_every_ = every;
}

void ArchiveWorker::HousekeepNow() {
    {
        MutexLock lock(mutex_);
        next_housekeeping_ = std::chrono::steady_clock::now();
        housekeep_now_ = true;
    }
    wake_.notify_all();
}

void ArchiveWorker::Start() {
    thread_.Start([this](std::stop_token stop) { Run(stop); }, failed_);
}

void ArchiveWorker::Stop() {
    if (!thread_.Running())
        return;
    thread_.Stop();
    // Nobody is left to try what was posted: a Drain must not wait for it.
    MutexLock lock(mutex_);
    tried_ = posted_;
    done_.notify_all();
}

void ArchiveWorker::Post(const ClosedSegment& segment) {
    {
        MutexLock lock(mutex_);
        queue_.push_back({segment, false});
        ++posted_;
    }
    wake_.notify_all();
}

bool ArchiveWorker::TryLocked(UniqueMutexLock& lock) {
    if (queue_.empty())
        return false;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    // A segment whose archiving threw waits to be tried again; a Drain is not kept waiting for it.
    bool archived = false;
    try {
        archived = archive_(item.segment);
    } catch (const std::exception& e) {
        if (failed_)
            failed_(e.what());
    }
    std::error_code ec;
    const bool keep = !archived && std::filesystem::exists(item.segment.tempPath, ec);
    lock.lock();
    if (keep) {
        if (waiting_.empty())
            next_retry_ = std::chrono::steady_clock::now() + retry_;
        waiting_.push_back(std::move(item.segment));
    }
    if (!item.retry)
        ++tried_;
    done_.notify_all();
    return true;
}

void ArchiveWorker::Drain() {
    UniqueMutexLock lock(mutex_);
    const uint64_t target = posted_;
    // Without the thread the caller archives what was posted itself.
    if (!thread_.Running()) {
        while (TryLocked(lock)) {
        }
        return;
    }
    done_.wait(lock, [&]() KEL_REQUIRES(mutex_) { return tried_ >= target; });
}

size_t ArchiveWorker::Waiting() const {
    MutexLock lock(mutex_);
    size_t n = waiting_.size();
    for (const Item& item : queue_)
        n += item.retry ? 1 : 0;
    return n;
}

void ArchiveWorker::Run(std::stop_token stop) {
    UniqueMutexLock lock(mutex_);
    next_housekeeping_ = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
        if (TryLocked(lock))
            continue;
        auto now = std::chrono::steady_clock::now();
        if (housekeeping_ && now >= next_housekeeping_) {
            lock.unlock();
            try {
                housekeeping_();
            } catch (const std::exception& e) {
                if (failed_)
                    failed_(e.what());
            }
            lock.lock();
            now = std::chrono::steady_clock::now();
            next_housekeeping_ = now + housekeeping_every_;
            continue;
        }
        if (!waiting_.empty() && now >= next_retry_) {
            // Tried again in the order they came.
            for (ClosedSegment& s : waiting_)
                queue_.push_back({std::move(s), true});
            waiting_.clear();
            continue;
        }
        auto until = waiting_.empty() ? now + std::chrono::hours(1) : next_retry_;
        if (housekeeping_)
            until = std::min(until, next_housekeeping_);
        wake_.wait_until(lock, stop, until,
                         [&]() KEL_REQUIRES(mutex_) { return !queue_.empty() || housekeep_now_; });
        housekeep_now_ = false;
    }
}

}  // namespace kel

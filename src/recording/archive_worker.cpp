#include "recording/archive_worker.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace kel {

ArchiveWorker::ArchiveWorker(ArchiveFn archive, std::chrono::milliseconds retry)
    : archive_(std::move(archive)), retry_(retry) {}

ArchiveWorker::~ArchiveWorker() {
    Stop();
}

void ArchiveWorker::Start() {
    if (!thread_.joinable())
        thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void ArchiveWorker::Stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
    // Nobody is left to try what was posted: a Drain must not wait for it.
    std::lock_guard<std::mutex> lock(mutex_);
    tried_ = posted_;
    done_.notify_all();
}

void ArchiveWorker::Post(const ClosedSegment& segment) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({segment, false});
        ++posted_;
    }
    wake_.notify_all();
}

bool ArchiveWorker::TryLocked(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty())
        return false;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    const bool archived = archive_(item.segment);
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
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t target = posted_;
    // Without the thread the caller archives what was posted itself.
    if (!thread_.joinable()) {
        while (TryLocked(lock)) {
        }
        return;
    }
    done_.wait(lock, [&] { return tried_ >= target; });
}

size_t ArchiveWorker::Waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = waiting_.size();
    for (const Item& item : queue_)
        n += item.retry ? 1 : 0;
    return n;
}

void ArchiveWorker::Run(std::stop_token stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop.stop_requested()) {
        if (TryLocked(lock))
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (!waiting_.empty() && now >= next_retry_) {
            // Tried again in the order they came.
            for (ClosedSegment& s : waiting_)
                queue_.push_back({std::move(s), true});
            waiting_.clear();
            continue;
        }
        const auto until = waiting_.empty() ? now + std::chrono::hours(1) : next_retry_;
        wake_.wait_until(lock, stop, until, [&] { return !queue_.empty(); });
    }
}

}  // namespace kel

#include "platform/window_queue.h"

#include <utility>

namespace kel {

void WindowQueue::Post(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
}

void WindowQueue::RunPending() {
    std::deque<std::function<void()>> jobs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs.swap(jobs_);
    }
    for (auto& job : jobs)
        job();
}

}  // namespace kel

#include "platform/window_queue.h"

#include "platform/guarded.h"
#include <utility>

namespace kel {

// Only a post to an empty queue wakes the window thread: one wake-up is pending for everything
// queued behind it, since RunPending takes the whole queue.
void WindowQueue::Post(std::function<void()> job) {
    bool wasEmpty = false;
    {
        MutexLock lock(mutex_);
        wasEmpty = jobs_.empty();
        jobs_.push_back(std::move(job));
    }
    if (wasEmpty && wake_)
        wake_();
}

void WindowQueue::RunPending() {
    std::deque<std::function<void()>> jobs;
    {
        MutexLock lock(mutex_);
        jobs.swap(jobs_);
    }
    for (auto& job : jobs)
        job();
}

}  // namespace kel

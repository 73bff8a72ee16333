#pragma once
// Work handed to the window thread by other threads. Posting takes only a plain mutex; the first
// job posted to an empty queue calls the wake-up, which asks the window thread (through the
// toolkit's own thread-safe event posting) to run what is pending. Jobs run in the order they
// were posted.

#include "platform/guarded.h"
#include <deque>
#include <functional>
#include <mutex>

namespace kel {

class WindowQueue {
public:
    // Set once, before any thread posts. Called on the posting thread; must not wait.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // Any thread.
    void Post(std::function<void()> job);
    // Window thread: runs every job posted so far; jobs posted meanwhile wait for the next call.
    void RunPending();

private:
    std::function<void()> wake_;  // fixed before the first post
    Mutex mutex_;
    std::deque<std::function<void()>> jobs_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kel

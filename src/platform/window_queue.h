#pragma once
// Work handed to the window thread by other threads. Posting takes only a plain mutex, no call
// into the toolkit from the poster's side; the window thread runs what is pending on its own timer.
// Jobs run in the order they were posted.

#include <deque>
#include <functional>
#include <mutex>

namespace kel {

class WindowQueue {
public:
    // Any thread.
    void Post(std::function<void()> job);
    // Window thread: runs every job posted so far; jobs posted meanwhile wait for the next call.
    void RunPending();

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> jobs_;  // Guarded by mutex_
};

}  // namespace kel

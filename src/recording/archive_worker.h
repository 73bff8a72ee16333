#pragma once
// Archives closed segments on a thread of its own, so that moving a segment to a slow or network
// drive never holds up compression: the recorder hands a closed segment over and goes on. A
// segment that cannot be archived yet (no room, its drive away) stays in the temporary folder and
// is tried again every `retry` until it is; one still waiting at the stop is found there by the
// next start.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/guarded.h"
#include "platform/worker_thread.h"
#include "recording/segment_archive.h"

namespace kel {

class ArchiveWorker {
public:
    // True when the segment was archived; false when it was not (it is tried again while its file
    // is still in the temporary folder).
    using ArchiveFn = std::function<bool(const ClosedSegment&)>;

    // `failed` hears what an archiving or the thread threw (on the thread).
    explicit ArchiveWorker(ArchiveFn archive, std::chrono::milliseconds retry = std::chrono::seconds(10),
                           WorkerThread::Failure failed = nullptr);
    ~ArchiveWorker();
    ArchiveWorker(const ArchiveWorker&) = delete;
    ArchiveWorker& operator=(const ArchiveWorker&) = delete;

    // A job the thread also runs every `every`, the first time right after Start (the expiry of
    // old recordings): disk work that must not hold up compression. Before Start.
    void SetHousekeeping(std::function<void()> job, std::chrono::milliseconds every);
    void Start();
    // The housekeeping job runs again at once (a changed keeping time). Any thread.
    void HousekeepNow();
    // Ends the thread after the segment under way; what waits stays where it is.
    void Stop();
    // Any thread.
    void Post(const ClosedSegment& segment);
    // Returns once every segment posted before the call has been tried (archived or waiting).
    void Drain();
    // Segments tried and still waiting for room (being tried again included).
    size_t Waiting() const;

private:
    struct Item {
        ClosedSegment segment;
        bool retry;  // tried before: not counted again
    };
    void Run(std::stop_token stop);
    // Archives the first segment of the queue, the lock released meanwhile; false when the queue
    // is empty.
    // (Checked at the callers only: the analysis cannot follow `lock` into here.)
    bool TryLocked(UniqueMutexLock& lock) KEL_REQUIRES(mutex_) KEL_NO_THREAD_SAFETY_ANALYSIS;

    const ArchiveFn archive_;
    const std::chrono::milliseconds retry_;
    const WorkerThread::Failure failed_;
    mutable Mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any done_;
    std::deque<Item> queue_ KEL_GUARDED_BY(mutex_);
    std::vector<ClosedSegment> waiting_ KEL_GUARDED_BY(mutex_);
    uint64_t posted_ KEL_GUARDED_BY(mutex_) = 0;
    uint64_t tried_ KEL_GUARDED_BY(mutex_) = 0;  // of the posted ones
    std::chrono::steady_clock::time_point next_retry_ KEL_GUARDED_BY(mutex_);
    std::function<void()> housekeeping_;  // set before Start
    std::chrono::milliseconds housekeeping_every_{0};
    std::chrono::steady_clock::time_point next_housekeeping_ KEL_GUARDED_BY(mutex_);
    bool housekeep_now_ KEL_GUARDED_BY(mutex_) = false;
    WorkerThread thread_;  // last: it ends before the members it uses go
};

}  // namespace kel

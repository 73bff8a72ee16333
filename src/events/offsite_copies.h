#pragma once
// Copies every closed recording off the station, into a bucket of an S3-compatible object store,
// so that a stolen or burnt station loses nothing. The object's key is
// "<prefix>/Kamera<n>/<file name>", its bytes the archived file's.
//
// The queue (copy_queue.h) holds what is to copy across stops and crashes. A recording enters it
// when it is archived, and at every start the index is looked through for any the queue misses
// (a crash between the two) that started after copying was first switched on. One thread of its
// own copies the oldest first, at most as fast as the limit allows; the rotation never waits for
// it: a recording deleted from its drive before its turn is counted and logged as such, and one
// deleted while it is being copied is still copied whole (its file is held open). A failed copy
// is tried again after a pause that doubles up to ten minutes; the log says once that the store
// cannot be reached and once that it can again. While copies wait, the log says every ten
// minutes how many and since when.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "events/copy_queue.h"
#include "events/s3_client.h"
#include "platform/guarded.h"
#include "platform/worker_thread.h"

namespace kel {

struct OffsiteSettings {
    S3Settings store;
    std::string prefix;  // the keys' first part, the station's own
};

struct OffsiteLinks {
    // The local file of camera n's indexed recording named `name`; empty when the index no longer
    // lists it (the rotation took it).
    std::function<std::string(int camera, const std::string& name)> Locate;
    // Every recording the index lists (camera, name, start).
    std::function<std::vector<QueuedCopy>()> Indexed;
    std::function<void(const std::string& text, bool error)> Log;  // any thread
    std::function<double()> Now;                                   // the local date-time value
    std::function<std::string(double)> Text;                       // a date-time value as text
};

class OffsiteCopies {
public:
    static constexpr std::chrono::seconds kFirstPause{5};
    static constexpr std::chrono::seconds kLongestPause{600};
    static constexpr std::chrono::seconds kBacklogEvery{600};

    explicit OffsiteCopies(OffsiteLinks links);
    ~OffsiteCopies();
    OffsiteCopies(const OffsiteCopies&) = delete;
    OffsiteCopies& operator=(const OffsiteCopies&) = delete;

    // Opens the queue in `queueFile` (the first time; the same file after) and starts the thread
    // on `settings`. False, said in the log, when the queue cannot be opened or the settings
    // cannot work.
    bool Start(const std::string& queueFile, OffsiteSettings settings);
    // Ends the thread; a copy under way ends unfinished and is made again at the next start.
    // Recordings archived meanwhile still enter the queue.
    void Stop();
    bool Running() const { return thread_.Running(); }

    // Any thread: a recording was archived and indexed.
    void Archived(int camera, const std::string& name, double start);
    // Any thread: the audit trail's head, put as "<prefix>/audit-head.json" before the next copy
    // (the newest one given; one that fails is put again with the next).
    void PutAuditHead(const std::string& json);
    static std::string HeadKey(const std::string& prefix);

    // The key of camera n's recording `name` under `prefix`.
    static std::string Key(const std::string& prefix, int camera, const std::string& name);

    // Copies made since the start, and what waits.
    uint64_t Copied() const { return copied_.load(); }
    CopyQueue::Backlog Waiting();
    // For tests: the pauses after a failure, and how often the backlog is logged.
    void SetPauses(std::chrono::milliseconds first, std::chrono::milliseconds longest);

private:
    void Run(std::stop_token stop);
    void Reconcile();
    // One copy; false when it failed (and waits for another attempt).
    bool CopyOne(const QueuedCopy& copy, S3Client& client, std::stop_token stop);
    void SayBacklog(bool always);
    void PutHead(S3Client& client);
    void Wait(std::stop_token stop, std::chrono::milliseconds longest);

    const OffsiteLinks links_;
    std::unique_ptr<CopyQueue> queue_;  // made by the first Start, never replaced
    std::atomic<bool> open_{false};     // queue_ is open (release after it was made)
    OffsiteSettings settings_;          // the thread's own while it runs
    double since_ = 0;                  // the start of copying, as the queue keeps it
    std::chrono::milliseconds first_pause_ = kFirstPause, longest_pause_ = kLongestPause;
    std::atomic<uint64_t> copied_{0};
    int failures_ = 0;                                 // the thread's: failed attempts in a row
    std::chrono::steady_clock::time_point said_at_{};  // the thread's: the last backlog line
    bool behind_said_ = false;                         // the thread's: a backlog line is out
    Mutex wake_mutex_;
    std::condition_variable_any wake_;
    bool nudged_ KEL_GUARDED_BY(wake_mutex_) = false;
    std::string head_ KEL_GUARDED_BY(wake_mutex_);  // a head waiting to be put
    std::string head_file_;                         // fixed by Start: where it is written first
    WorkerThread thread_;                           // last: it ends before the members it uses go
};

}  // namespace kel

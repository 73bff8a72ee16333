#pragma once
// The off-site copier's queue, "OffsiteCopies.sqlite" in the working directory: one row per
// recording to copy (camera, file name, start), what became of it (waiting, copied, deleted by
// the rotation before it was copied), its attempts and the multipart upload under way. Every
// change is one transaction with a full sync, so the queue is whole after a crash or a power cut.
//
// `since` is the start time (a date-time value) from which the station's recordings are copied:
// the first switching on sets it. A queue file that SQLite cannot read is set aside (renamed
// "….bad") and a new queue begins with `since` 0, so every recording still indexed is copied again
// rather than one lost.
//
// One connection, used under the queue's own lock by the archiving thread (adding) and the
// copier (the rest); each call is short and never waits for the network.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/guarded.h"

struct sqlite3;

namespace kel {

struct QueuedCopy {
    int64_t id = 0;
    int camera = 0;
    std::string name;  // "ddmmyyhhmmss.avi"
    double start = 0;
    int attempts = 0;
    std::string uploadId;  // a multipart upload begun and not finished
};

class CopyQueue {
public:
    static constexpr const char* kFile = "OffsiteCopies.sqlite";
    enum class State { Waiting = 0, Copied = 1, Gone = 2 };

    explicit CopyQueue(std::string path);
    ~CopyQueue();
    CopyQueue(const CopyQueue&) = delete;
    CopyQueue& operator=(const CopyQueue&) = delete;

    // Opens (or makes) the file. `setAside` tells whether an unreadable one was renamed first.
    bool Open(bool& setAside);
    // The start of copying; `now` is taken (and kept) when none was kept.
    double Since(double now);

    // A recording to copy; one the queue holds already is left as it is. False on a write error.
    bool Add(int camera, const std::string& name, double start);
    // Several in one transaction (the index at a start).
    bool AddAll(const std::vector<QueuedCopy>& copies);
    // The waiting copy whose turn came at `now` (Unix seconds), the earliest first.
    std::optional<QueuedCopy> Next(int64_t now);
    // The earliest time a waiting copy is due; nullopt when none waits.
    std::optional<int64_t> NextDue();
    bool SetUpload(int64_t id, const std::string& uploadId);
    bool Finish(int64_t id, State state);
    // Another attempt failed: the copy waits until `retryAt`.
    bool Failed(int64_t id, int64_t retryAt);

    struct Backlog {
        int64_t count = 0;
        double oldestStart = 0;  // 0 when none waits
    };
    Backlog Waiting();
    int64_t Count(State state);
    // Recordings the rotation deleted before they were copied, ever.
    int64_t GoneTotal();
    // Forgets copies done (copied or gone) of recordings that started before `start` (those the
    // index no longer lists).
    bool ForgetBefore(double start);

    const std::string& Path() const { return path_; }
    std::string ErrorText() const;

private:
    bool Exec(const char* sql) KEL_REQUIRES(mutex_);
    bool Fail(const std::string& what) KEL_REQUIRES(mutex_);
    bool Prepare() KEL_REQUIRES(mutex_);

    const std::string path_;
    mutable Mutex mutex_;
    sqlite3* db_ KEL_GUARDED_BY(mutex_) = nullptr;
    std::string error_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kel

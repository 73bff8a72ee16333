#pragma once
// One browser's playback of a camera's recordings: from a moment, at 1 to 16 times the pace they
// were recorded at, each picture decoded on the station and compressed to JPEG. The pace is kept
// by the clock, not by the pictures: a picture not decoded in time is skipped, and a gap between
// recordings is jumped over. Runs on a thread of its own; the pictures go to `deliver` (with the
// head of a live picture, kind 'P', the moment on the index's time scale).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/worker_thread.h"
#include "recording/archive_catalog.h"
#include "web/live_feed.h"

namespace kel {

class RecordedPlayer {
public:
    static constexpr int kMaxSpeed = 16;

    // `ended` is called on the player's thread once nothing is left to play.
    RecordedPlayer(int camera, std::vector<CatalogEntry> segments, std::function<void(LiveFramePtr)> deliver,
                   std::function<void()> ended);
    ~RecordedPlayer();
    RecordedPlayer(const RecordedPlayer&) = delete;
    RecordedPlayer& operator=(const RecordedPlayer&) = delete;

    // Plays from `fromMs` (the index's time scale) at `speed` (1..16). False when no thread.
    bool Start(int64_t fromMs, int speed);
    void Stop();
    // Pictures sent so far.
    uint64_t Sent() const { return sent_.load(std::memory_order_relaxed); }
    // Pictures handed on but not yet taken by the browser; the player waits while there are two.
    std::atomic<int>& InFlight() { return in_flight_; }

private:
    void Run(std::stop_token stop, int64_t fromMs, int speed);

    const int camera_;
    const std::vector<CatalogEntry> segments_;
    const std::function<void(LiveFramePtr)> deliver_;
    const std::function<void()> ended_;
    std::atomic<uint64_t> sent_{0};
    std::atomic<int> in_flight_{0};
    WorkerThread thread_;
};

}  // namespace kel

#pragma once
// The hand-off between the capture threads and the readers of their pictures (display, recorder,
// motion detection, TCP server, snapshots).
//
// Every picture a capture thread delivers is copied once, into a buffer of the camera's own pool,
// and published whole: as the camera's newest picture, and at the end of the camera's queue for
// the recorder. A published picture never changes; readers hold it (a shared pointer) as long as
// they need it and its buffer goes back to the pool after the last of them lets go. So a reader
// never sees a picture half rewritten, the recorder compresses straight out of the buffer the
// capture thread filled, and nobody holds a lock longer than it takes to swap a pointer.
//
// The recorder's queue keeps the pictures it has not taken yet, oldest first, up to kQueueDepth of
// them: a recorder held up for a moment (a segment closed, a drive slow to answer) finds every
// picture still there. Only a recorder that stays behind longer loses pictures, the oldest first,
// and they are counted. Every publication wakes a thread waiting in WaitForPictures.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

#include "capture/privacy_mask.h"
#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

// Per-camera bytes shared between threads, index = camera number (0 unused).
using CameraFlags = std::array<std::atomic<uint8_t>, kCameraCount + 1>;

class FrameBank {
public:
    // The largest picture and a spare byte.
    static constexpr size_t kSlotBytes = 811009;
    // Pictures per camera waiting for the recorder: at 25 a second, 0.3 s of them.
    static constexpr size_t kQueueDepth = 8;

    struct Info {
        size_t bytes = 0;         // the picture's length
        int32_t resolution = -1;  // its resolution code; -1 before the first picture
        uint64_t serial = 0;      // pictures published for the camera so far, this one the last
        int64_t stampMs = 0;      // when it was published: wall-clock milliseconds since 1970
    };

    // A published picture; it does not change while anyone holds it.
    struct Picture {
        const uint8_t* data = nullptr;
        Info info;
        // The picture halved both ways (UYVY, half its width and height; HalveUyvyLines), made on
        // the way in while a reader wants halves of the camera; null otherwise.
        const uint8_t* half = nullptr;
    };
    using PicturePtr = std::shared_ptr<const Picture>;

    FrameBank();
    FrameBank(const FrameBank&) = delete;
    FrameBank& operator=(const FrameBank&) = delete;

    // Publishes a copy of the first `bytes` bytes of `picture` (at most kSlotBytes) as camera n's
    // newest picture and queues it for the recorder, with `mask` (if any) painted on the copy
    // first. A camera outside 1..16 is ignored.
    void Write(int camera, const uint8_t* picture, size_t bytes, int32_t resolution,
               const PrivacyMask* mask = nullptr);
    // Whether pictures of camera n are published with their halves from now on: the display asks
    // for them while it shows the camera in a tile at most half the picture's size, so the capture
    // thread halves each picture while its lines are in the cache, instead of the display reading
    // the whole picture back from memory. Any thread.
    void WantHalves(int camera, bool want);
    bool WantsHalves(int camera) const;
    // Copies camera n's newest picture into `out` (at most `capacity` bytes) and says what it was.
    Info Read(int camera, uint8_t* out, size_t capacity) const;
    // What camera n's newest picture is, without the bytes.
    Info Peek(int camera) const;
    // Camera n's newest picture, held; null before the first.
    PicturePtr Newest(int camera) const;

    // The recorder's side: the oldest picture of camera n it has not taken, taken now; null when
    // there is none.
    PicturePtr Take(int camera);
    // Pictures of camera n that left the queue untaken because it was full.
    uint64_t Lost(int camera) const;
    // Every picture queued so far (all cameras), with the wake-ups: a waiter remembers the count
    // it saw and waits for it to move.
    uint64_t News() const { return news_.load(std::memory_order_acquire); }
    // Waits until News() differs from `seen`, `timeout` passes or a stop is asked; true on news.
    bool WaitForPictures(uint64_t seen, std::chrono::milliseconds timeout, std::stop_token stop = {}) const;
    // Wakes a thread in WaitForPictures without a picture (it has something else to do).
    void Wake();

private:
    struct Pool;
    struct Slot {
        mutable Mutex mutex;
        PicturePtr newest KEL_GUARDED_BY(mutex);
        std::array<PicturePtr, kQueueDepth> queue KEL_GUARDED_BY(mutex);  // a ring, oldest at head
        size_t head KEL_GUARDED_BY(mutex) = 0;
        size_t queued KEL_GUARDED_BY(mutex) = 0;
        uint64_t serial KEL_GUARDED_BY(mutex) = 0;
        uint64_t lost KEL_GUARDED_BY(mutex) = 0;
        std::shared_ptr<Pool> pool;  // fixed after construction
        std::atomic<bool> halves{false};
    };
    const Slot* Find(int camera) const;

    std::array<Slot, kCameraCount + 1> slots_;  // slot 0 is never used
    std::atomic<uint64_t> news_{0};
    mutable Mutex news_mutex_;
    mutable std::condition_variable_any news_cv_;
};

}  // namespace kel

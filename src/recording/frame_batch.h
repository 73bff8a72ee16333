#pragma once
// The recorder's compressed pictures: per camera a batch of 20 slots (numbered 1..20; slot 0 is
// never filled) and the count of pictures in the current batch. Allocated once, about 67 MB.
//
// The recorder thread is the only writer. It fills a slot and sets the count under the camera's
// lock, so a reader on another thread (the TCP server sending the newest picture) copies a whole
// picture or waits for one; the recorder reads its own slots without the lock.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

class FrameBatch {
public:
    static constexpr int kSlots = 20;
    static constexpr size_t kSlotBytes = 200008;
    static constexpr size_t kStampChars = 30;

    struct Slot {
        int32_t size = 0;
        int32_t width = 0;
        int32_t height = 0;
        std::string stamp;  // the capture's date and time, at most 30 characters
        uint8_t* data = nullptr;
        uint64_t serial = 0;  // the camera's pictures added so far, this one the last
    };

    FrameBatch();
    FrameBatch(const FrameBatch&) = delete;
    FrameBatch& operator=(const FrameBatch&) = delete;

    // Recorder thread: the next slot of camera n's batch (count + 1) receives the picture and
    // the count goes up. False (nothing stored) when the batch is already full or the picture
    // is larger than a slot.
    bool Add(int camera, const uint8_t* data, size_t size, int width, int height, const std::string& stamp);
    // Recorder thread: the batch is written or dropped; the count returns to 0.
    void Clear(int camera);
    // Recorder thread: slot k (1..20) of camera n as the recorder left it.
    const Slot& At(int camera, int k) const;

    // Any thread: pictures in camera n's current batch (0..20).
    int Count(int camera) const;
    // Any thread: camera n's pictures added since the start, the serial of its newest picture; a
    // reader that remembers the serial it took knows whether there is a newer one.
    uint64_t Added(int camera) const;
    // Any thread: waits until a camera k marked in `cameras` (camera 1 first) has a picture newer
    // than seen[k - 1], or `timeout` has passed; true when one has.
    bool WaitForNewer(const std::array<uint64_t, kCameraCount>& seen,
                      const std::array<bool, kCameraCount>& cameras, std::chrono::milliseconds timeout) const;
    // Any thread (the TCP server): a remote viewer wants camera n's pictures. The recorder
    // compresses a camera's pictures only when its schedule records them or a viewer asked for
    // them within kAskedFor.
    static constexpr std::chrono::milliseconds kAskedFor{2000};
    void Ask(int camera) const;
    // A shorter time than kAskedFor, for tests.
    void SetAskedFor(std::chrono::milliseconds time) {
        asked_for_ms_.store(time.count(), std::memory_order_relaxed);
    }
    bool Asked(int camera) const;
    // Any thread: whether camera n's newest picture was added within kAskedFor; an older one
    // was left from a time nobody wanted the camera's pictures, and is no live picture.
    bool Fresh(int camera) const;
    // Any thread: copies camera n's newest picture (slot Count, or slot 20 when the count is 0)
    // into `out`; false when that slot is empty.
    bool ReadNewest(int camera, uint8_t* out, size_t capacity, Slot& info) const;

private:
    struct Camera {
        mutable Mutex mutex;
        std::atomic<int> count{0};
        std::atomic<uint64_t> added{0};
        std::atomic<int64_t> added_at{kNever};             // steady milliseconds
        mutable std::atomic<int64_t> asked_until{kNever};  // steady milliseconds
        std::array<Slot, kSlots + 1> slot_table;           // contents written under mutex
        std::unique_ptr<uint8_t[]> bytes;                  // fixed after construction: the 20 slots' data
    };
    static constexpr int64_t kNever = INT64_MIN / 2;
    static bool Valid(int camera) { return camera >= 1 && camera <= kCameraCount; }
    static int64_t NowMs();

    std::array<Camera, kCameraCount + 1> cameras_;  // camera 0 is never allocated
    std::atomic<int64_t> asked_for_ms_{kAskedFor.count()};
    // Raised after every picture added, for readers waiting for one.
    mutable Mutex news_mutex_;
    mutable std::condition_variable news_;
};

}  // namespace kel

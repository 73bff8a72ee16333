#pragma once
// The hand-off between the capture threads and the readers of their pictures (display, recorder,
// motion detection, TCP server, snapshots).
//
// A slot per camera (index = camera number 1..16) holds the newest picture and its size. A writer
// replaces a slot under the slot's own short lock and only then raises the camera's flags with
// release ordering; a reader that saw a flag (acquire) copies the picture out under the same lock.
// So no reader ever sees a picture half rewritten, and no one holds a slot longer than a memcpy.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "config/records.h"
#include "platform/guarded.h"

namespace kel {

// Per-camera bytes shared between threads, index = camera number (0 unused).
using CameraFlags = std::array<std::atomic<uint8_t>, kCameraCount + 1>;

class FrameBank {
public:
    // One slot holds the largest picture and a spare byte.
    static constexpr size_t kSlotBytes = 811009;

    struct Info {
        size_t bytes = 0;         // the picture's length from the start of the slot
        int32_t resolution = -1;  // its resolution code; -1 before the first picture
        uint64_t serial = 0;      // pictures written into the slot so far
    };

    // Allocates the 16 slots, zeroed, once for the life of the bank.
    FrameBank();
    FrameBank(const FrameBank&) = delete;
    FrameBank& operator=(const FrameBank&) = delete;

    // Replaces the first `bytes` bytes of camera n's slot (at most kSlotBytes); the rest keeps what
    // it held. A camera outside 1..16 is ignored.
    void Write(int camera, const uint8_t* picture, size_t bytes, int32_t resolution);
    // Copies camera n's picture into `out` (at most `capacity` bytes) and says what it was.
    Info Read(int camera, uint8_t* out, size_t capacity) const;
    // What the slot holds, without the bytes.
    Info Peek(int camera) const;

private:
    struct Slot {
        mutable Mutex mutex;
        std::unique_ptr<uint8_t[]> bytes;  // fixed after construction; contents guarded by mutex
        Info info KEL_GUARDED_BY(mutex);
    };
    const Slot* Find(int camera) const;

    std::array<Slot, kCameraCount + 1> slots_;  // slot 0 is never allocated
};

}  // namespace kel

#include "capture/frame_bank.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "capture/picture_convert.h"
#include "capture/resolution.h"
#include "platform/guarded.h"

namespace kel {

// A camera's spare buffers. A picture's buffer comes back here when the picture's last holder lets
// go of it, from whatever thread that is; the pool lives as long as any picture of it.
struct FrameBank::Pool {
    struct Buffer {
        std::unique_ptr<uint8_t[]> bytes;
        size_t capacity = 0;
    };
    // More spares than a full queue and a few readers need are never kept.
    static constexpr size_t kSpares = kQueueDepth + 4;

    Buffer Get(size_t bytes) {
        {
            MutexLock lock(mutex);
            while (!spare.empty()) {
                Buffer b = std::move(spare.back());
                spare.pop_back();
                if (b.capacity >= bytes)
                    return b;  // a smaller one (the camera's size grew) is let go
            }
        }
        return Buffer{std::make_unique<uint8_t[]>(bytes), bytes};
    }
    void Put(Buffer b) {
        MutexLock lock(mutex);
        if (spare.size() < kSpares)
            spare.push_back(std::move(b));
    }

    Mutex mutex;
    std::vector<Buffer> spare KEL_GUARDED_BY(mutex);
};

namespace {

bool InRange(int camera) {
    return camera >= 1 && camera <= kCameraCount;
}

}  // namespace

FrameBank::FrameBank() {
    for (int n = 1; n <= kCameraCount; ++n)
        slots_[n].pool = std::make_shared<Pool>();
}

const FrameBank::Slot* FrameBank::Find(int camera) const {
    return InRange(camera) ? &slots_[camera] : nullptr;
}

void FrameBank::Write(int camera, const uint8_t* picture, size_t bytes, int32_t resolution,
                      const PrivacyMask* mask) {
    if (!InRange(camera))
        return;
    Slot& slot = slots_[camera];
    bytes = std::min(bytes, kSlotBytes);
    // The copy is made before the picture is published, outside the slot's lock.
    struct Held : Picture {
        Pool::Buffer buffer;
        std::shared_ptr<Pool> pool;
        ~Held() { pool->Put(std::move(buffer)); }
    };
    auto held = std::make_shared<Held>();
    held->pool = slot.pool;
    const bool whole = bytes == ResolutionBytes(resolution);
    const PictureSize size = whole ? ResolutionSize(resolution) : PictureSize{};
    const bool halve = whole && slot.halves.load(std::memory_order_relaxed) && size.width > 0 &&
                       size.width % 4 == 0 && size.height % 2 == 0;
    const size_t halfBytes = halve ? bytes / 4 : 0;
    held->buffer = slot.pool->Get(std::max<size_t>(bytes + halfBytes, 1));
    uint8_t* copy = held->buffer.bytes.get();
    uint8_t* half = halve ? copy + bytes : nullptr;
    const size_t line = static_cast<size_t>(size.width) * 2;
    if (mask && whole) {
        mask->Copy(copy, picture, size.width, size.height);
        for (int y = 0; half && y < size.height / 2; ++y)
            HalveUyvyLines(copy + 2 * y * line, copy + (2 * y + 1) * line, half + y * line / 2,
                           size.width / 4);
    } else if (half) {
        // Two lines halved, then copied while they are in the cache.
        for (int y = 0; y < size.height / 2; ++y) {
            const uint8_t* pair = picture + 2 * y * line;
            HalveUyvyLines(pair, pair + line, half + y * line / 2, size.width / 4);
            std::memcpy(copy + 2 * y * line, pair, 2 * line);
        }
    } else if (bytes) {
        std::memcpy(copy, picture, bytes);
    }
    held->half = half;
    held->data = held->buffer.bytes.get();
    held->info.bytes = bytes;
    held->info.resolution = resolution;
    held->info.stampMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    PicturePtr dropped;  // let go of outside the lock
    {
        MutexLock lock(slot.mutex);
        held->info.serial = ++slot.serial;
        slot.newest = held;
        if (slot.queued == kQueueDepth) {
            dropped = std::move(slot.queue[slot.head]);
            slot.head = (slot.head + 1) % kQueueDepth;
            --slot.queued;
            ++slot.lost;
        }
        slot.queue[(slot.head + slot.queued) % kQueueDepth] = std::move(held);
        ++slot.queued;
    }
    Wake();
}

void FrameBank::WantHalves(int camera, bool want) {
    if (InRange(camera))
        slots_[camera].halves.store(want, std::memory_order_relaxed);
}

bool FrameBank::WantsHalves(int camera) const {
    const Slot* slot = Find(camera);
    return slot && slot->halves.load(std::memory_order_relaxed);
}

FrameBank::Info FrameBank::Read(int camera, uint8_t* out, size_t capacity) const {
    PicturePtr picture = Newest(camera);
    if (!picture)
        return {};
    if (size_t n = std::min(capacity, picture->info.bytes))
        std::memcpy(out, picture->data, n);
    return picture->info;
}

FrameBank::Info FrameBank::Peek(int camera) const {
    PicturePtr picture = Newest(camera);
    return picture ? picture->info : Info{};
}

FrameBank::PicturePtr FrameBank::Newest(int camera) const {
    const Slot* slot = Find(camera);
    if (!slot)
        return nullptr;
    MutexLock lock(slot->mutex);
    return slot->newest;
}

FrameBank::PicturePtr FrameBank::Take(int camera) {
    if (!InRange(camera))
        return nullptr;
    Slot& slot = slots_[camera];
    MutexLock lock(slot.mutex);
    if (slot.queued == 0)
        return nullptr;
    PicturePtr picture = std::move(slot.queue[slot.head]);
    slot.head = (slot.head + 1) % kQueueDepth;
    --slot.queued;
    return picture;
}

uint64_t FrameBank::Lost(int camera) const {
    const Slot* slot = Find(camera);
    if (!slot)
        return 0;
    MutexLock lock(slot->mutex);
    return slot->lost;
}

void FrameBank::Wake() {
    {
        // Under the waiters' lock, so that a waiter between its check and its wait cannot miss it.
        MutexLock lock(news_mutex_);
        news_.fetch_add(1, std::memory_order_acq_rel);
    }
    news_cv_.notify_all();
}

bool FrameBank::WaitForPictures(uint64_t seen, std::chrono::milliseconds timeout,
                                std::stop_token stop) const {
    UniqueMutexLock lock(news_mutex_);
    return news_cv_.wait_for(lock, stop, timeout,
                             [&] { return news_.load(std::memory_order_acquire) != seen; });
}

}  // namespace kel

#include "recording/frame_batch.h"

#include "platform/guarded.h"
#include <cstring>

namespace kel {

FrameBatch::FrameBatch() {
    for (int n = 1; n <= kCameraCount; ++n) {
        Camera& c = cameras_[n];
        // Not zeroed: the pages are taken from the system only as pictures fill them.
        c.bytes.reset(new uint8_t[kSlots * kSlotBytes]);
        for (int k = 1; k <= kSlots; ++k)
            c.slot_table[k].data = c.bytes.get() + (k - 1) * kSlotBytes;
    }
}

bool FrameBatch::Add(int camera, const uint8_t* data, size_t size, int width, int height,
                     const std::string& stamp) {
    if (!Valid(camera) || size > kSlotBytes)
        return false;
    Camera& c = cameras_[camera];
    {
        MutexLock lock(c.mutex);
        int k = c.count.load(std::memory_order_relaxed) + 1;
        if (k > kSlots)
            return false;
        Slot& s = c.slot_table[k];
        std::memcpy(s.data, data, size);
        s.size = static_cast<int32_t>(size);
        s.width = width;
        s.height = height;
        s.stamp.assign(stamp, 0, kStampChars);
        s.serial = c.added.load(std::memory_order_relaxed) + 1;
        c.count.store(k, std::memory_order_release);
        c.added.store(s.serial, std::memory_order_release);
        c.added_at.store(NowMs(), std::memory_order_relaxed);
    }
    {
        MutexLock news(news_mutex_);  // a waiter checks under it, so none misses this
    }
    news_.notify_all();
    return true;
}

int64_t FrameBatch::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void FrameBatch::Ask(int camera) const {
    if (Valid(camera))
        cameras_[camera].asked_until.store(NowMs() + asked_for_ms_.load(std::memory_order_relaxed),
                                           std::memory_order_relaxed);
}

bool FrameBatch::Asked(int camera) const {
    return Valid(camera) && NowMs() < cameras_[camera].asked_until.load(std::memory_order_relaxed);
}

bool FrameBatch::Fresh(int camera) const {
    return Valid(camera) && NowMs() - cameras_[camera].added_at.load(std::memory_order_relaxed) <
                                asked_for_ms_.load(std::memory_order_relaxed);
}

void FrameBatch::Clear(int camera) {
    if (!Valid(camera))
        return;
    MutexLock lock(cameras_[camera].mutex);
    cameras_[camera].count.store(0, std::memory_order_release);
}

const FrameBatch::Slot& FrameBatch::At(int camera, int k) const {
    return cameras_[Valid(camera) ? camera : 1].slot_table[k >= 1 && k <= kSlots ? k : 0];
}

int FrameBatch::Count(int camera) const {
    return Valid(camera) ? cameras_[camera].count.load(std::memory_order_acquire) : 0;
}

uint64_t FrameBatch::Added(int camera) const {
    return Valid(camera) ? cameras_[camera].added.load(std::memory_order_acquire) : 0;
}

bool FrameBatch::WaitForNewer(const std::array<uint64_t, kCameraCount>& seen,
                              const std::array<bool, kCameraCount>& cameras,
                              std::chrono::milliseconds timeout) const {
    auto newer = [&] {
        for (int k = 1; k <= kCameraCount; ++k)
            if (cameras[k - 1] && Added(k) != seen[k - 1])
                return true;
        return false;
    };
    UniqueMutexLock lock(news_mutex_);
    return news_.wait_for(lock.Native(), timeout, newer);
}

bool FrameBatch::ReadNewest(int camera, uint8_t* out, size_t capacity, Slot& info) const {
    if (!Valid(camera))
        return false;
    const Camera& c = cameras_[camera];
    MutexLock lock(c.mutex);
    int k = c.count.load(std::memory_order_relaxed);
    const Slot& s = c.slot_table[k == 0 ? kSlots : k];
    if (s.size <= 0 || static_cast<size_t>(s.size) > capacity)
        return false;
    std::memcpy(out, s.data, static_cast<size_t>(s.size));
    info = s;
    info.data = nullptr;
    return true;
}

}  // namespace kel

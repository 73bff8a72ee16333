#include "capture/frame_bank.h"

#include "platform/guarded.h"
#include <algorithm>
#include <cstring>

namespace kel {

FrameBank::FrameBank() {
    for (int n = 1; n <= kCameraCount; ++n)
        slots_[n].bytes = std::make_unique<uint8_t[]>(kSlotBytes);
}

namespace {
bool InRange(int camera) {
    return camera >= 1 && camera <= kCameraCount;
}
}  // namespace

const FrameBank::Slot* FrameBank::Find(int camera) const {
    return InRange(camera) ? &slots_[camera] : nullptr;
}

void FrameBank::Write(int camera, const uint8_t* picture, size_t bytes, int32_t resolution) {
    if (!InRange(camera))
        return;
    Slot& slot = slots_[camera];
    bytes = std::min(bytes, kSlotBytes);
    MutexLock lock(slot.mutex);
    if (bytes)
        std::memcpy(slot.bytes.get(), picture, bytes);
    slot.info.bytes = bytes;
    slot.info.resolution = resolution;
    ++slot.info.serial;
}

FrameBank::Info FrameBank::Read(int camera, uint8_t* out, size_t capacity) const {
    const Slot* slot = Find(camera);
    if (!slot)
        return {};
    MutexLock lock(slot->mutex);
    if (size_t n = std::min(capacity, slot->info.bytes))
        std::memcpy(out, slot->bytes.get(), n);
    return slot->info;
}

FrameBank::Info FrameBank::Peek(int camera) const {
    const Slot* slot = Find(camera);
    if (!slot)
        return {};
    MutexLock lock(slot->mutex);
    return slot->info;
}

}  // namespace kel

#include "recording/motion_detector.h"

#include "platform/guarded.h"
#include <algorithm>
#include <cstring>

namespace kel {

namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));

Bytes16 Load16(const uint8_t* p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bytes of [a, a + n) that differ from b by more than the threshold, sixteen at a time: a lane
// counts up to 255 before the lanes are added up.
uint32_t CountDifferent(const uint8_t* a, const uint8_t* b, size_t n) {
    const Bytes16 limit = Bytes16{} + MotionDetector::kThreshold;
    uint32_t count = 0;
    size_t i = 0;
    while (n - i >= 16) {
        Bytes16 lanes{};
        const size_t stop = i + std::min<size_t>((n - i) / 16, 255) * 16;
        for (; i < stop; i += 16) {
            Bytes16 x = Load16(a + i), y = Load16(b + i);
            Bytes16 above = reinterpret_cast<Bytes16>(x > y);
            Bytes16 diff = ((x - y) & above) | ((y - x) & ~above);
            lanes -= reinterpret_cast<Bytes16>(diff > limit);  // true is all ones: minus -1
        }
        for (int k = 0; k < 16; ++k)
            count += lanes[k];
    }
    for (; i < n; ++i)
        count += (a[i] > b[i] ? a[i] - b[i] : b[i] - a[i]) > MotionDetector::kThreshold;
    return count;
}

}  // namespace

MotionDetector::MotionDetector() {
    for (int n = 1; n <= kCameraCount; ++n)
        // calloc: zero pages come from the system as they are first used.
        cameras_[n].reference.reset(static_cast<uint8_t*>(std::calloc(kReferenceBytes, 1)));
}

MotionDetector::Camera* MotionDetector::Find(int camera) {
    if (camera < 1 || camera > kCameraCount || !cameras_[camera].reference)
        return nullptr;
    return &cameras_[camera];
}

void MotionDetector::SetZone(int camera, const TZoneRecord& zone) {
    Camera* c = Find(camera);
    if (!c)
        return;
    MutexLock lock(c->mutex);
    std::memcpy(c->mask.data(), zone.Mask, kMaskCells);
    c->sensitivity = zone.Sensitivity;
}

void MotionDetector::SetZones(const TZoneTable& zones) {
    for (int n = 1; n <= kCameraCount; ++n)
        SetZone(n, zones[n - 1]);
}

bool MotionDetector::SizeFits(int width, int height) {
    return width > 0 && height > 0 && (2 * width) % kZoneCols == 0 && height % kZoneRows == 0 &&
           static_cast<size_t>(width) * height * 2 <= kReferenceBytes;
}

uint32_t MotionDetector::CountChanges(const uint8_t* picture, uint8_t* reference, int width, int height,
                                      const uint8_t* mask, bool keep) {
    const size_t line = static_cast<size_t>(width) * 2;
    const size_t cellWidth = line / kZoneCols;
    const int cellHeight = height / kZoneRows;
    uint32_t count = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = mask + static_cast<size_t>(y / cellHeight) * kZoneCols;
        const uint8_t* p = picture + y * line;
        uint8_t* r = reference + y * line;
        // Runs of watched cells along the row, each compared in one sweep.
        for (size_t c = 0; c < kZoneCols;) {
            if (row[c] != 1) {
                ++c;
                continue;
            }
            size_t end = c + 1;
            while (end < kZoneCols && row[end] == 1)
                ++end;
            count += CountDifferent(p + c * cellWidth, r + c * cellWidth, (end - c) * cellWidth);
            c = end;
        }
        if (keep)
            std::memcpy(r, p, line);
    }
    return count;
}

bool MotionDetector::Test(Camera& c, const uint8_t* picture, int width, int height, const uint8_t* mask,
                          int32_t sensitivity) {
    uint32_t count = CountChanges(picture, c.reference.get(), width, height, mask, true);
    return static_cast<int64_t>(count) > sensitivity;
}

bool MotionDetector::DetectMotion(int camera, const uint8_t* picture, int width, int height) {
    Camera* c = Find(camera);
    if (!c || !SizeFits(width, height))
        return false;
    MutexLock lock(c->mutex);
    if (!Test(*c, picture, width, height, c->mask.data(), c->sensitivity))
        return false;
    c->count.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool MotionDetector::TestDetection(int camera, const uint8_t* picture, int width, int height,
                                   const uint8_t* mask, int32_t sensitivity) {
    Camera* c = Find(camera);
    if (!c || !SizeFits(width, height))
        return false;
    MutexLock lock(c->mutex);
    return Test(*c, picture, width, height, mask, sensitivity);
}

int32_t MotionDetector::MotionCount(int camera) const {
    return camera >= 1 && camera <= kCameraCount ? cameras_[camera].count.load(std::memory_order_relaxed) : 0;
}

int32_t MotionDetector::TakeMotionCount(int camera) {
    return camera >= 1 && camera <= kCameraCount
               ? cameras_[camera].count.exchange(0, std::memory_order_relaxed)
               : 0;
}

}  // namespace kel

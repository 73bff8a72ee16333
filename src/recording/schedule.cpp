#include "recording/schedule.h"

namespace kel {

void ApplySchedule(const SchedulerTable& table, const LocalTime& now, CameraFlags& scheduleMode) {
    if (now.weekday < 1 || now.weekday > 7 || now.hour < 0 || now.hour > 23)
        return;
    for (int n = 1; n <= kCameraCount; ++n)
        scheduleMode[n].store(table[ScheduleIndex(n, now.weekday, now.hour)], std::memory_order_relaxed);
}

void DecrementAboveZero(std::atomic<uint8_t>& flag) {
    uint8_t v = flag.load(std::memory_order_relaxed);
    while (v > 0 && !flag.compare_exchange_weak(v, static_cast<uint8_t>(v - 1), std::memory_order_relaxed)) {
    }
}

void CountDownMotion(CameraFlags& motionHold, CameraFlags& beepLatch) {
    for (int n = 1; n <= kCameraCount; ++n) {
        DecrementAboveZero(beepLatch[n]);
        DecrementAboveZero(motionHold[n]);
    }
}

}  // namespace kel

#pragma once
// The weekly recording schedule and the one-second countdowns that go with it. Both run on the
// window thread's one-second tick; the recorder thread reads ScheduleMode and re-arms MotionHold
// and BeepLatch meanwhile, so every change is a single atomic step.

#include <array>
#include <cstddef>
#include <cstdint>

#include "capture/frame_bank.h"
#include "platform/clock.h"

namespace kel {

enum ScheduleValue : uint8_t { kNoRecording = 0, kContinuous = 1, kOnMotion = 2 };

using SchedulerTable = std::array<uint8_t, 16 * 7 * 24>;

// The byte of camera n (1..16) for weekday d (1 = Monday .. 7 = Sunday) and hour h (0..23).
constexpr size_t ScheduleIndex(int camera, int weekday, int hour) {
    return static_cast<size_t>((camera - 1) * 168 + (weekday - 1) * 24 + hour);
}

// ScheduleMode[n] := the table's value for camera n at `now`. A moment outside the week's range
// (a broken clock) leaves the modes as they are.
void ApplySchedule(const SchedulerTable& table, const LocalTime& now, CameraFlags& scheduleMode);

// MotionHold[n] and BeepLatch[n] each go down by one when above 0.
void CountDownMotion(CameraFlags& motionHold, CameraFlags& beepLatch);

// `flag` goes down by one unless it is 0, in one atomic step against a concurrent re-arm.
void DecrementAboveZero(std::atomic<uint8_t>& flag);

}  // namespace kel

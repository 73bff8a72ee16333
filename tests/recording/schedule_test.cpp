// The schedule tick and the one-second countdowns, and the recorder's time texts.

#include "recording/schedule.h"

#include <gtest/gtest.h>

#include "recording/time_stamps.h"

namespace kel {
namespace {

LocalTime At(int weekday, int hour, int day = 10) {
    LocalTime t;
    t.year = 2026;
    t.month = 5;
    t.day = day;
    t.hour = hour;
    t.weekday = weekday;
    return t;
}

TEST(Schedule, TheModeFollowsTheDayAndHourOverMidnightIntoMonday) {
    SchedulerTable table{};
    table[ScheduleIndex(1, 7, 23)] = kContinuous;  // Sunday 23 h
    table[ScheduleIndex(1, 1, 0)] = kNoRecording;  // Monday 0 h
    table[ScheduleIndex(2, 7, 23)] = kOnMotion;
    table[ScheduleIndex(2, 1, 0)] = kContinuous;
    table[ScheduleIndex(16, 1, 0)] = kOnMotion;
    EXPECT_EQ(ScheduleIndex(16, 7, 23), table.size() - 1);
    CameraFlags mode{};
    FixedClock clock(At(7, 23));
    ApplySchedule(table, clock.Now(), mode);
    EXPECT_EQ(mode[1], kContinuous);
    EXPECT_EQ(mode[2], kOnMotion);
    EXPECT_EQ(mode[16], kNoRecording);
    clock.Set(At(1, 0, 11));
    ApplySchedule(table, clock.Now(), mode);
    EXPECT_EQ(mode[1], kNoRecording);
    EXPECT_EQ(mode[2], kContinuous);
    EXPECT_EQ(mode[16], kOnMotion);
    // A clock that cannot say the day changes nothing.
    ApplySchedule(table, At(0, 0), mode);
    ApplySchedule(table, At(1, 24), mode);
    EXPECT_EQ(mode[16], kOnMotion);
}

TEST(Schedule, TheCountdownsStopAtZero) {
    CameraFlags hold{}, latch{};
    hold[3] = 5;
    latch[3] = 1;
    hold[16] = 2;
    std::vector<int> seen;
    for (int tick = 0; tick < 7; ++tick) {
        CountDownMotion(hold, latch);
        seen.push_back(hold[3]);
    }
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 2, 1, 0, 0, 0}));
    EXPECT_EQ(latch[3], 0);
    EXPECT_EQ(hold[16], 0);
    EXPECT_EQ(hold[1], 0);
}

// The index's start times are days since 30 December 1899 with the time as the fraction.
TEST(TimeTexts, NamesStampsAndDateTimeValues) {
    LocalTime t;  // 30 December 1899, midnight
    EXPECT_DOUBLE_EQ(DateTimeValue(t), 0.0);
    t = LocalTime{2000, 1, 1, 18, 0, 7};
    EXPECT_DOUBLE_EQ(DateTimeValue(t), 36526.75 + 7 / 86400.0);
    EXPECT_EQ(SegmentName(t), "010100180007");
    EXPECT_EQ(FrameStamp(t), "2000-01-01: 18:00:07");
}

}  // namespace
}  // namespace kel

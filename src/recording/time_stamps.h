#pragma once
// The recorder's ways of writing a moment: the segment's file name, the text beside each picture
// and the date-time value of the index.

#include <string>

#include "platform/clock.h"

namespace kel {

// "ddmmyyhhmmss": day, month, two-digit year, hour 00..23, minute, second.
std::string SegmentName(const LocalTime& t);
// The system's short date, ": ", the long time ("2026-05-04: 09:30:00"), at most 30 characters.
std::string FrameStamp(const LocalTime& t);
// The same to the millisecond ("2026-05-04: 09:30:00.250"), for pictures that come many a second.
std::string FineStamp(const LocalTime& t);
// Days since 30 December 1899, the fraction being the time of day.
double DateTimeValue(const LocalTime& t);

}  // namespace kel

#include "recording/time_stamps.h"

#include <cstdio>

namespace kel {

namespace {

// Days from 1 January 1970 of a date in the proleptic Gregorian calendar.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::string SegmentName(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%02d", t.day, t.month, ((t.year % 100) + 100) % 100,
                  t.hour, t.minute, t.second);
    return buf;
}

std::string FrameStamp(const LocalTime& t) {
    return (ShortDateText(t) + ": " + LongTimeText(t)).substr(0, 30);
}

std::string FineStamp(const LocalTime& t) {
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03d", t.millisecond % 1000);
    return FrameStamp(t) + ms;
}

double DateTimeValue(const LocalTime& t) {
    long long days = DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(1899, 12, 30);
    return static_cast<double>(days) + (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
}

}  // namespace kel

#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kel {

LocalTime SystemClock::Now() const {
    const auto at = std::chrono::system_clock::now();
    const std::time_t now = std::chrono::system_clock::to_time_t(at);
    std::tm tm{};
    localtime_r(&now, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.weekday = tm.tm_wday == 0 ? 7 : tm.tm_wday;
    t.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000);
    return t;
}

const SystemClock& SystemClock::Instance() {
    static const SystemClock clock;
    return clock;
}

std::string LongTimeText(const LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string ShortDateText(const LocalTime& t) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
    return buf;
}

std::string DayMonthText(const LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d.%02d", t.day, t.month);
    return buf;
}

}  // namespace kel

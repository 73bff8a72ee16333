#pragma once
// Time is read through this interface so tests can set the day and the hour.

#include <chrono>
#include <string>

#include "platform/guarded.h"

namespace kel {

struct LocalTime {
    int year = 1899, month = 12, day = 30;  // month 1..12
    int hour = 0, minute = 0, second = 0;
    int weekday = 1;      // Monday = 1 .. Sunday = 7
    int millisecond = 0;  // 0..999, where the clock tells it
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() const = 0;
};

class SystemClock : public Clock {
public:
    LocalTime Now() const override;
    static const SystemClock& Instance();
};

// A clock that stands still until a test moves it.
// A clock that shows what it was set to; a test may set it while other threads read it.
class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime t) : t_(t) {}
    LocalTime Now() const override {
        MutexLock lock(mutex_);
        return t_;
    }
    void Set(LocalTime t) {
        MutexLock lock(mutex_);
        t_ = t;
    }

private:
    mutable Mutex mutex_;
    LocalTime t_ KEL_GUARDED_BY(mutex_);
};

// The Polish system formats: long time "HH:MM:SS", short date "YYYY-MM-DD".
std::string LongTimeText(const LocalTime& t);
std::string ShortDateText(const LocalTime& t);
// The log's day and month, "dd.mm".
std::string DayMonthText(const LocalTime& t);

}  // namespace kel

#include "core/second_timer.h"

#include <cstdio>
#include <utility>

namespace kel {

SecondTimer::SecondTimer(Poster post, std::chrono::milliseconds interval)
    : post_(std::move(post)), interval_(interval) {}

SecondTimer::~SecondTimer() {
    Stop();
}

void SecondTimer::Start() {
    thread_.Start(
        interval_, PeriodicThread::Pace::FixedBeat, post_,
        [](const std::string& what) { std::fprintf(stderr, "kel: timer: %s\n", what.c_str()); }, true);
}

void SecondTimer::Stop() {
    thread_.Stop();
}

}  // namespace kel

// The one-second timer hands its ticks over until it is stopped, and none after.

#include "core/second_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace kel {
namespace {

using namespace std::chrono_literals;

TEST(SecondTimer, TicksUntilStoppedAndNoneAfter) {
    std::atomic<int> ticks{0};
    SecondTimer timer([&] { ++ticks; }, 5ms);
    EXPECT_FALSE(timer.Running());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks, 0) << "nothing before Start";
    timer.Start();
    auto end = std::chrono::steady_clock::now() + 30s;
    while (ticks < 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(ticks, 3);
    timer.Stop();
    EXPECT_FALSE(timer.Running());
    int after = ticks;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks, after);
    timer.Stop();  // again: nothing to do
}

}  // namespace
}  // namespace kel

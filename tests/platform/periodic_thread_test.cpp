// The periodic threads' one shape: work that throws is reported once a streak and the thread goes
// on; a stop ends the wait at once.

#include "platform/periodic_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kel {
namespace {

using namespace std::chrono_literals;

TEST(PeriodicThread, AFailingPassIsReportedOnceAStreakAndTheThreadGoesOn) {
    std::atomic<int> passes{0};
    std::mutex mutex;
    std::vector<std::string> reports;
    PeriodicThread thread;
    ASSERT_TRUE(thread.Start(
        1ms, PeriodicThread::Pace::PauseAfterWork,
        [&] {
            const int n = ++passes;
            if ((n >= 3 && n <= 5) || n == 8)
                throw std::runtime_error("pass " + std::to_string(n));
        },
        [&](const std::string& what) {
            std::lock_guard<std::mutex> lock(mutex);
            reports.push_back(what);
        }));
    for (int i = 0; i < 5000 && passes < 12; ++i)
        std::this_thread::sleep_for(1ms);
    thread.Stop();
    EXPECT_GE(passes.load(), 12) << "the thread went on after the failures";
    EXPECT_EQ(reports, (std::vector<std::string>{"pass 3", "pass 8"}));
    EXPECT_FALSE(thread.Running());
}

TEST(PeriodicThread, AStopEndsALongWaitAtOnce) {
    std::atomic<int> passes{0};
    PeriodicThread thread;
    ASSERT_TRUE(thread.Start(
        1h, PeriodicThread::Pace::FixedBeat, [&] { ++passes; }, nullptr, true));
    thread.Stop();  // would hang for an hour if the wait did not end
    EXPECT_EQ(passes.load(), 0) << "waitFirst: no pass before the first period";
}

}  // namespace
}  // namespace kel

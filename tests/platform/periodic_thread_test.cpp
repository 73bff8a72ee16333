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

TEST(PeriodicThread, APauseHoldsBetweenPassesAndAPeriodChangeAppliesAtTheNextWait) {
    std::atomic<int> passes{0};
    PeriodicThread thread;
    thread.Pause();  // before the start: not even the first pass runs
    ASSERT_TRUE(thread.Start(
        1h, PeriodicThread::Pace::FixedBeat, [&] { ++passes; }, nullptr));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(passes.load(), 0);
    thread.Resume();
    for (int i = 0; i < 5000 && passes < 1; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(passes.load(), 1) << "the first pass, then the hour's wait";
    thread.SetPeriod(1ms);  // the hour's wait already begun keeps its end
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(passes.load(), 1);
    thread.Stop();

    passes = 0;
    ASSERT_TRUE(thread.Start(
        1ms, PeriodicThread::Pace::PauseAfterWork, [&] { ++passes; }, nullptr));
    for (int i = 0; i < 5000 && passes < 3; ++i)
        std::this_thread::sleep_for(1ms);
    thread.Pause();
    std::this_thread::sleep_for(20ms);  // a pass under way may still finish
    const int paused = passes;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(passes.load(), paused);
    thread.Stop();  // a stop ends a paused thread
    EXPECT_FALSE(thread.Running());
}

}  // namespace
}  // namespace kel

// The station's long-running threads: a stop ends the helper's pause and the body's own waits at
// once, and a body that throws is reported and started again instead of ending the thread or the
// program.

#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <stdexcept>
#include <vector>

namespace kel {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThreadTest, AStopEndsEveryWaitAtOnce) {
    std::mutex mutex;
    std::condition_variable_any own;
    const struct {
        const char* what;
        std::function<void(WorkerThread&, std::stop_token)> body;
    } cases[] = {
        {"the helper's pause",
         [](WorkerThread& w, std::stop_token stop) { EXPECT_FALSE(w.Pause(stop, 1h)); }},
        {"a wait of the body's own",
         [&](WorkerThread&, std::stop_token stop) {
             std::unique_lock<std::mutex> lock(mutex);
             own.wait(lock, stop, [] { return false; });
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WorkerThread worker;
        std::atomic<bool> started{false};
        ASSERT_TRUE(worker.Start([&](std::stop_token stop) {
            started = true;
            c.body(worker, stop);
        }));
        while (!started)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        const auto before = std::chrono::steady_clock::now();
        worker.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
        EXPECT_FALSE(worker.Running());
    }
    WorkerThread idle;
    idle.Stop();  // never started: nothing to do
}

TEST(WorkerThreadTest, ABodyThatThrowsIsReportedAndRunAgain) {
    WorkerThread worker;
    std::mutex mutex;
    std::vector<std::string> failures;
    std::atomic<int> runs{0};
    std::atomic<bool> done{false};
    ASSERT_TRUE(worker.Start(
        [&](std::stop_token stop) {
            const int run = ++runs;
            if (run == 1)
                throw std::runtime_error("brak pamieci");
            if (run == 2)
                throw 7;
            done = true;
            worker.Pause(stop, 1h);
        },
        [&](const std::string& what) {
            std::lock_guard<std::mutex> lock(mutex);
            failures.push_back(what);
        }));
    for (int i = 0; i < 500 && !done; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(done) << "run again after each failure";
    EXPECT_EQ(runs, 3);
    worker.Stop();
    EXPECT_EQ(failures, (std::vector<std::string>{"brak pamieci", "unknown error"}));

    // A body that returns has ended its work: the thread is not started again.
    WorkerThread once;
    std::atomic<int> count{0};
    ASSERT_TRUE(once.Start([&](std::stop_token) { ++count; }));
    std::this_thread::sleep_for(50ms);
    once.Stop();
    EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace kel

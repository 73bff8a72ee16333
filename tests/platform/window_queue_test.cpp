#include "platform/window_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kel {
namespace {

TEST(WindowQueueTest, JobsRunInPostingOrderAndLatePostsWaitForTheNextRun) {
    WindowQueue q;
    std::vector<int> ran;
    q.Post([&] {
        ran.push_back(1);
        q.Post([&] { ran.push_back(3); });  // posted while running: not in this run
    });
    q.Post([&] { ran.push_back(2); });
    q.RunPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    q.RunPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(WindowQueueTest, PostersOnManyThreadsLoseNothing) {
    WindowQueue q;
    int count = 0;  // touched only by the running thread
    {
        std::vector<std::jthread> posters;
        for (int t = 0; t < 4; ++t)
            posters.emplace_back([&] {
                for (int i = 0; i < 1000; ++i)
                    q.Post([&] { ++count; });
            });
        for (int i = 0; i < 50; ++i)
            q.RunPending();
    }
    q.RunPending();
    EXPECT_EQ(count, 4000);
}

// The window thread runs the queue only when woken: no job may be left without a wake-up pending,
// and a busy queue does not wake it for every job.
TEST(WindowQueueTest, AJobNeverWaitsWithoutAWakeUp) {
    WindowQueue q;
    std::atomic<int> wakes{0};
    q.SetWake([&] { wakes.fetch_add(1); });
    int count = 0;
    int handled = 0;  // wake-ups the "window thread" has answered
    {
        std::vector<std::jthread> posters;
        for (int t = 0; t < 4; ++t)
            posters.emplace_back([&] {
                for (int i = 0; i < 1000; ++i)
                    q.Post([&] { ++count; });
            });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (count < 4000 && std::chrono::steady_clock::now() < deadline) {
            if (handled < wakes.load()) {
                ++handled;
                q.RunPending();
            }
        }
    }
    EXPECT_EQ(count, 4000);
    EXPECT_LE(wakes.load(), 4000);
    const int before = wakes.load();
    q.Post([] {});
    q.Post([] {});
    EXPECT_EQ(wakes.load(), before + 1) << "one wake-up for a queue that was empty";
}

}  // namespace
}  // namespace kel

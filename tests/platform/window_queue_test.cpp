#include "platform/window_queue.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kel

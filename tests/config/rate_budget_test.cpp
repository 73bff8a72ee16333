// The odd and the even cameras each share 25 pictures a second: what a camera may still be given.

#include "config/rate_budget.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

TEST(RateBudgetTest, ACameraMayTakeWhatItsGroupLeaves) {
    TCameraTable cameras{};
    for (int n = 1; n <= kCameraCount; ++n) {
        cameras[n - 1].Active = n <= 6;
        cameras[n - 1].FPS = 6;
    }
    cameras[4].FPS = 10;  // camera 5: odd cameras use 6 + 6 + 10 = 22
    const struct {
        int camera;
        int free;
    } cases[] = {
        {1, 9},   // its own 6 and the 3 left
        {5, 13},  // its own 10 and the 3 left
        {7, 3},   // inactive: only what is left, its own 6 kept for later
        {2, 13},  // even cameras use 18
        {0, 0},  {17, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FreeRate(cameras, c.camera), c.free) << c.camera;
    EXPECT_EQ(GroupOf(1), 0);
    EXPECT_EQ(GroupOf(16), 1);
}

}  // namespace
}  // namespace kel

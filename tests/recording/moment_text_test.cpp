#include <gtest/gtest.h>

#include "recording/camera_track.h"

namespace kel {
namespace {

TEST(MomentTextTest, TheIndexTimeScaleReadsAsTheCalendarDoes) {
    const std::pair<int64_t, const char*> moments[] = {
        {0, "1899-12-30 00:00:00.000"},
        {3942824707042, "2024-12-08 13:05:07.042"},
        {3918412799999, "2024-02-29 23:59:59.999"},  // a leap day's last moment
        {-1, "1899-12-29 23:59:59.999"},
    };
    for (const auto& [ms, text] : moments)
        EXPECT_EQ(MomentText(ms), text) << ms;
}

}  // namespace
}  // namespace kel

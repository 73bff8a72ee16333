#include "ptz/pelco_d.h"

#include <gtest/gtest.h>

#include <vector>

namespace kel {
namespace {

TEST(PelcoDTest, SetBitBSetsOneBitAndIgnoresOtherPositions) {
    EXPECT_EQ(SetBitB(0x00, 0), 0x01);
    EXPECT_EQ(SetBitB(0x41, 4), 0x51);
    EXPECT_EQ(SetBitB(0x5A, 7), 0xDA);
    for (int n : {-1, 8, 31})
        EXPECT_EQ(SetBitB(0x5A, n), 0x5A) << n;
}

// The wire protocol: command byte and speeds of every kind (address 3; the address cases are in the
// pad's tests on a real line).
TEST(PelcoDTest, EachKindGivesItsTelegramAndOthersNone) {
    const std::vector<int> expected[] = {
        {0xFF, 0x03, 0x00, 0x04, 0x30, 0x00, 0x37}, {0xFF, 0x03, 0x00, 0x02, 0x30, 0x00, 0x35},
        {0xFF, 0x03, 0x00, 0x08, 0x00, 0x26, 0x31}, {0xFF, 0x03, 0x00, 0x10, 0x00, 0x26, 0x39},
        {0xFF, 0x03, 0x00, 0x20, 0x00, 0x00, 0x23}, {0xFF, 0x03, 0x00, 0x40, 0x00, 0x00, 0x43},
        {0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x03},
    };
    for (int kind = 1; kind <= 7; ++kind) {
        auto t = PTZCommand(kind, 3);
        ASSERT_TRUE(t.has_value()) << kind;
        EXPECT_EQ(std::vector<int>(t->begin(), t->end()), expected[kind - 1]) << kind;
    }
    for (int kind : {0, 8, -1})
        EXPECT_FALSE(PTZCommand(kind, 3).has_value()) << kind;
}

}  // namespace
}  // namespace kel

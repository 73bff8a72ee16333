// The motion test's edges: the threshold on a byte, the count against the sensitivity, which mask
// bytes watch, and which picture bytes a cell covers at each size.

#include "recording/motion_detector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "capture/resolution.h"

namespace kel {
namespace {

class MotionTest : public ::testing::Test {
protected:
    void SetUp() override {
        zone = std::make_unique<TZoneRecord>();
        zone->Sensitivity = 250;
        std::fill(std::begin(zone->Mask), std::end(zone->Mask), 1);
        picture.assign(kMaxFrameBytes, 100);
    }
    // Makes `picture` the camera's reference (its first test compares with zeros).
    void Settle(int camera, int w, int h) {
        detector.SetZone(camera, *zone);
        detector.DetectMotion(camera, picture.data(), w, h);
        detector.TakeMotionCount(camera);
    }
    // Changes `count` bytes of the picture by `by`, from byte `from` on.
    void Change(size_t from, size_t count, int by) {
        for (size_t i = from; i < from + count; ++i)
            picture[i] = static_cast<uint8_t>(picture[i] + by);
    }

    MotionDetector detector;
    std::unique_ptr<TZoneRecord> zone;
    std::vector<uint8_t> picture;
};

TEST_F(MotionTest, MoreChangedBytesThanTheSensitivityDetect) {
    Settle(1, 704, 576);
    Change(0, 250, 31);
    EXPECT_FALSE(detector.DetectMotion(1, picture.data(), 704, 576)) << "250 bytes at sensitivity 250";
    Change(1000, 251, 31);
    EXPECT_TRUE(detector.DetectMotion(1, picture.data(), 704, 576)) << "251 bytes";
    EXPECT_EQ(detector.MotionCount(1), 1);
}

TEST_F(MotionTest, OnlyMaskBytesOfExactlyOneWatch) {
    uint8_t shade = 0;
    for (uint8_t value : {0, 2, 255}) {
        std::fill(std::begin(zone->Mask), std::end(zone->Mask), value);
        picture.assign(kMaxFrameBytes, shade ^= 0xC0);  // every picture differs from the one before
        detector.SetZone(3, *zone);
        EXPECT_FALSE(detector.DetectMotion(3, picture.data(), 704, 576)) << "mask value " << int(value);
    }
    std::fill(std::begin(zone->Mask), std::end(zone->Mask), 1);
    detector.SetZone(3, *zone);
    picture.assign(kMaxFrameBytes, shade ^= 0xC0);
    EXPECT_TRUE(detector.DetectMotion(3, picture.data(), 704, 576)) << "mask value 1";
}

// The same threshold whether watched bytes come in long runs (whole lines) or alone (every other
// cell of the smallest picture, two bytes each), and in both directions.
TEST_F(MotionTest, TheThresholdHoldsForLongAndShortRuns) {
    std::vector<uint8_t> all(MotionDetector::kMaskCells, 1), alternate(MotionDetector::kMaskCells);
    for (size_t i = 0; i < alternate.size(); ++i)
        alternate[i] = (i % 2) == 0;
    struct Case {
        const std::vector<uint8_t>& mask;
        int w, h;
        uint32_t watched;
    };
    for (const Case& c : {Case{all, 704, 576, 811008}, Case{alternate, 176, 144, 25344}}) {
        for (int by : {30, -30, 31, -31}) {
            std::vector<uint8_t> ref(kMaxFrameBytes, 100),
                pic(kMaxFrameBytes, static_cast<uint8_t>(100 + by));
            uint32_t expected = std::abs(by) > 30 ? c.watched : 0;
            EXPECT_EQ(MotionDetector::CountChanges(pic.data(), ref.data(), c.w, c.h, c.mask.data(), false),
                      expected)
                << c.w << " by " << by;
        }
    }
}

TEST_F(MotionTest, TheFirstTestComparesWithZerosAndEveryTestReplacesTheReference) {
    detector.SetZone(4, *zone);
    EXPECT_TRUE(detector.DetectMotion(4, picture.data(), 352, 288)) << "all zero before";
    EXPECT_FALSE(detector.DetectMotion(4, picture.data(), 352, 288)) << "the same picture again";
    // A test that finds nothing still takes the new picture: creeping change goes unseen.
    std::fill(std::begin(zone->Mask), std::end(zone->Mask), 0);
    detector.SetZone(4, *zone);
    picture.assign(kMaxFrameBytes, 10);
    EXPECT_FALSE(detector.DetectMotion(4, picture.data(), 352, 288));
    std::fill(std::begin(zone->Mask), std::end(zone->Mask), 1);
    detector.SetZone(4, *zone);
    EXPECT_FALSE(detector.DetectMotion(4, picture.data(), 352, 288));
}

// One watched cell, (row 10, column 20): at each size it covers 2 x width / 176 bytes of
// height / 144 lines, and the bytes beside it are not watched.
TEST_F(MotionTest, AWatchedCellCoversItsBytesAtEverySize) {
    struct Size {
        int w, h, cellBytes, cellLines;
    };
    for (Size s : {Size{704, 576, 8, 4}, Size{704, 288, 8, 2}, Size{352, 288, 4, 2}, Size{176, 144, 2, 1}}) {
        std::fill(std::begin(zone->Mask), std::end(zone->Mask), 0);
        zone->Mask[10 * kZoneCols + 20] = 1;
        zone->Sensitivity = s.cellBytes * s.cellLines - 1;
        picture.assign(kMaxFrameBytes, 100);
        Settle(5, s.w, s.h);
        const size_t line = 2 * s.w, x = 20 * s.cellBytes, y = 10 * s.cellLines;
        // Every byte around the cell changes: nothing counts.
        for (size_t r = y - 1; r <= y + s.cellLines; ++r)
            for (size_t c = x - 1; c <= x + s.cellBytes; ++c)
                picture[r * line + c] = 0;
        for (size_t r = y; r < y + s.cellLines; ++r)
            for (size_t c = x; c < x + s.cellBytes; ++c)
                picture[r * line + c] = 100;
        EXPECT_FALSE(detector.DetectMotion(5, picture.data(), s.w, s.h)) << s.w << "x" << s.h;
        // The whole cell changes: exactly its bytes count, one more than the threshold.
        for (size_t r = y; r < y + s.cellLines; ++r)
            for (size_t c = x; c < x + s.cellBytes; ++c)
                picture[r * line + c] = 0;
        EXPECT_TRUE(detector.DetectMotion(5, picture.data(), s.w, s.h)) << s.w << "x" << s.h;
    }
}

TEST_F(MotionTest, TheDialogsTestUsesItsOwnMaskAndLeavesTheCounterAlone) {
    std::fill(std::begin(zone->Mask), std::end(zone->Mask), 0);
    Settle(6, 176, 144);
    std::vector<uint8_t> mask(MotionDetector::kMaskCells, 1);
    Change(0, 101, 40);
    EXPECT_FALSE(detector.TestDetection(6, picture.data(), 176, 144, mask.data(), 101));
    Change(0, 101, 40);
    EXPECT_TRUE(detector.TestDetection(6, picture.data(), 176, 144, mask.data(), 100));
    EXPECT_EQ(detector.MotionCount(6), 0);
    EXPECT_FALSE(detector.DetectMotion(6, picture.data(), 176, 144)) << "the reference moved on";
}

}  // namespace
}  // namespace kel

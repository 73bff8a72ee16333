// One camera's capture passes, run one at a time against a fake board.

#include "capture/capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "capture/fake_board.h"
#include "capture/hicap/hicap.h"

namespace kel {
namespace {

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        HicapInstall(board);
        for (int n = 0; n < kCameraCount; ++n) {
            cameras[n].Active = 0;
            cameras[n].Resolution = 2;
            cameras[n].FPS = 3;
            cameras[n].Contrast = 128;
        }
        cameras[2].Active = 1;  // camera 3
        capture.SetSettings(cameras);
        capture.SetActive(true);
    }
    void TearDown() override { HicapInstall(nullptr); }

    FakeBoard::Channel& Channel() { return board->channels[2]; }

    std::shared_ptr<FakeBoard> board = std::make_shared<FakeBoard>();
    TCameraTable cameras{};
    FrameBank bank;
    CameraFlags ready{};
    TCapture capture{3, bank, ready};
};

TEST_F(CaptureTest, APictureGoesToTheCamerasSlotAndRaisesBothFlags) {
    ASSERT_TRUE(capture.Pass());
    FrameBank::Info info = bank.Peek(3);
    EXPECT_EQ(info.bytes, 202752u);
    EXPECT_EQ(info.resolution, 2);
    for (int n = 1; n <= kCameraCount; ++n) {
        EXPECT_EQ(ready[n], n == 3) << n;
    }
    EXPECT_EQ(Channel().unlocks, 1);
    EXPECT_EQ(capture.Delivered(), 1u);
}

// The board forgets nothing between passes, but a slider moved in the configuration dialog must
// reach it on the very next pass; so the values go out every time, changed or not.
TEST_F(CaptureTest, PictureValuesReachTheBoardOnEveryPass) {
    for (int i = 0; i < 5; ++i)
        capture.Pass();
    EXPECT_EQ(Channel().controlCalls, 6 * 5);
    EXPECT_EQ(Channel().lastBrightness, 0);
    cameras[2].Brightness = 40;
    capture.SetSettings(cameras);
    capture.Pass();
    EXPECT_EQ(Channel().lastBrightness, 40);
    EXPECT_EQ(Channel().controlCalls, 6 * 6);
    // Even when the lock fails.
    board->lockStatus = kHicapNoPicture;
    capture.Pass();
    EXPECT_EQ(Channel().controlCalls, 6 * 7);
    EXPECT_EQ(capture.BoardPasses(), 7u);
}

TEST_F(CaptureTest, AnInactiveCameraNeverRaisesItsFlagsAndKeepsItsLastPicture) {
    ASSERT_TRUE(capture.Pass());
    ready[3] = 0;
    uint8_t before[16];
    bank.Read(3, before, sizeof before);

    cameras[2].Active = 0;
    capture.SetSettings(cameras);
    int calls = board->boardCalls;
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(capture.Pass());
    EXPECT_EQ(board->boardCalls, calls) << "an inactive camera leaves the board alone";
    EXPECT_EQ(ready[3], 0);
    uint8_t after[16];
    EXPECT_EQ(bank.Read(3, after, sizeof after).serial, 1u);
    EXPECT_EQ(0, std::memcmp(before, after, sizeof after));

    // The run switch off does the same for an active camera; on again, pictures flow again.
    cameras[2].Active = 1;
    capture.SetSettings(cameras);
    capture.SetActive(false);
    EXPECT_FALSE(capture.Pass());
    EXPECT_EQ(board->boardCalls, calls);
    capture.SetActive(true);
    EXPECT_TRUE(capture.Pass());
    EXPECT_EQ(ready[3], 1);
}

TEST_F(CaptureTest, AFailedLockChangesNothingAndIsNotUnlocked) {
    board->lockStatus = kHicapNoPicture;
    EXPECT_FALSE(capture.Pass());
    EXPECT_EQ(bank.Peek(3).serial, 0u);
    EXPECT_EQ(ready[3], 0);
    EXPECT_EQ(Channel().unlocks, 0);
    EXPECT_EQ(capture.Delivered(), 0u);
}

TEST_F(CaptureTest, AResolutionChangeChangesTheCopiedBytesFromTheNextPass) {
    // Before any known code: the size of an unused channel.
    cameras[2].Resolution = -1;
    capture.SetSettings(cameras);
    ASSERT_TRUE(capture.Pass());
    EXPECT_EQ(bank.Peek(3).bytes, 202752u);

    cameras[2].Resolution = 0;
    capture.SetSettings(cameras);
    ASSERT_TRUE(capture.Pass());  // picture 2, full size
    cameras[2].Resolution = 3;
    capture.SetSettings(cameras);
    ASSERT_TRUE(capture.Pass());  // picture 3, 176 x 144
    std::vector<uint8_t> slot(FrameBank::kSlotBytes);
    FrameBank::Info info = bank.Read(3, slot.data(), slot.size());
    EXPECT_EQ(info.bytes, 50688u);
    EXPECT_EQ(info.resolution, 3);
    EXPECT_EQ(slot[50687], 3);
    EXPECT_EQ(slot[50688], 0) << "a reader gets the new picture's bytes only";

    // An unknown code keeps the last known count.
    cameras[2].Resolution = 9;
    capture.SetSettings(cameras);
    ASSERT_TRUE(capture.Pass());
    EXPECT_EQ(bank.Peek(3).bytes, 50688u);
    EXPECT_EQ(bank.Peek(3).resolution, 3);

    // A slot holds one picture at most, and there is none outside cameras 1..16.
    std::vector<uint8_t> big(FrameBank::kSlotBytes + 100, 9);
    bank.Write(16, big.data(), big.size(), 0);
    EXPECT_EQ(bank.Peek(16).bytes, FrameBank::kSlotBytes);
    bank.Write(17, big.data(), 10, 0);
    EXPECT_EQ(bank.Peek(17).serial, 0u);
}

}  // namespace
}  // namespace kel

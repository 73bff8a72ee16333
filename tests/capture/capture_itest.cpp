// The 16 capture threads running together, with readers of their pictures and the window thread's
// calls in between: what ThreadSanitizer checks, and what a reader must never see.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "capture/fake_board.h"
#include "capture/hicap.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class CaptureThreadsTest : public ::testing::Test {
protected:
    void TearDown() override {
        captures.clear();
        HicapInstall(nullptr);
    }
    void StartAll(const TCameraTable& cameras) {
        for (int n = 1; n <= kCameraCount; ++n) {
            captures.push_back(std::make_unique<TCapture>(n, bank, ready));
            captures.back()->SetSettings(cameras);
            captures.back()->SetActive(true);
            captures.back()->Start();
        }
    }
    // Waits (within a generous limit) until every camera in `cameras` has delivered `count` more
    // pictures than it had.
    bool WaitForPictures(std::vector<int> cameras, uint64_t count) {
        std::vector<uint64_t> from;
        for (int n : cameras)
            from.push_back(captures[n - 1]->Delivered());
        auto end = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < end) {
            bool all = true;
            for (size_t i = 0; i < cameras.size(); ++i)
                all &= captures[cameras[i] - 1]->Delivered() >= from[i] + count;
            if (all)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    static TCameraTable AllActive(int32_t resolution) {
        TCameraTable t{};
        for (TCameraRecord& c : t) {
            c.Active = 1;
            c.Resolution = resolution;
            c.FPS = 3;
            c.Contrast = c.SatU = c.SatV = 128;
        }
        return t;
    }

    FrameBank bank;
    CameraFlags ready{};
    std::vector<std::unique_ptr<TCapture>> captures;
};

// The fake board fills each picture with one value; a reader that finds two has a torn picture.
TEST_F(CaptureThreadsTest, ReadersNeverSeeATornPicture) {
    auto board = std::make_shared<FakeBoard>();
    HicapInstall(board);
    TCameraTable cameras = AllActive(0);
    StartAll(cameras);

    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, read{0};
    // The display takes the flags; the recorder keeps the serial of the last picture it took.
    auto reader = [&](bool byFlag) {
        std::vector<uint8_t> picture(FrameBank::kSlotBytes);
        std::array<uint64_t, kCameraCount + 1> taken{};
        while (!done) {
            for (int n = 1; n <= kCameraCount; ++n) {
                if (byFlag ? !ready[n].exchange(0, std::memory_order_acquire)
                           : bank.Peek(n).serial == taken[n])
                    continue;
                FrameBank::Info info = bank.Read(n, picture.data(), picture.size());
                taken[n] = info.serial;
                torn += std::any_of(picture.begin(), picture.begin() + info.bytes,
                                    [&](uint8_t v) { return v != picture[0]; });
                ++read;
            }
        }
    };
    std::thread display(reader, true), recorder(reader, false);
    // Meanwhile the window thread moves a slider of every camera.
    for (int i = 0; i < 20; ++i) {
        for (TCameraRecord& c : cameras)
            c.Brightness = i;
        for (auto& capture : captures)
            capture->SetSettings(cameras);
        std::this_thread::sleep_for(5ms);
    }
    // A picture after the last change: the new value has reached the board.
    EXPECT_TRUE(WaitForPictures({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 2));
    done = true;
    display.join();
    recorder.join();
    EXPECT_GT(read, 0);
    EXPECT_EQ(torn, 0);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        EXPECT_EQ(board->channels[ch].lastBrightness, 19) << ch;

    // Switched off, no thread calls the board again: it may be closed at once.
    for (auto& capture : captures)
        capture->SetActive(false);
    int calls = board->boardCalls;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(board->boardCalls, calls);
}

TEST_F(CaptureThreadsTest, SixteenThreadsOnTheSimulatedBoard) {
    THicap board("sim:nosignal=16,motion=1-8");
    ASSERT_TRUE(board.Find());
    TCameraTable cameras = AllActive(2);
    cameras[0].Resolution = 0;
    cameras[1].Resolution = 3;
    cameras[13].Active = 0;  // camera 14
    ASSERT_TRUE(board.Open(cameras));
    StartAll(cameras);
    auto sim = std::dynamic_pointer_cast<SimBoard>(HicapBackend());
    ASSERT_TRUE(sim);

    // The window thread polls the signal, moves the monitor output and applies the configuration
    // again (the board reopened without a close) while the threads run.
    CameraFlags signal{};
    for (int i = 0; i < 10; ++i) {
        board.QuerySignal(signal);
        HICAP50_bl_TVOUT(i);
        ASSERT_TRUE(board.Open(cameras));
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(sim->TvOutChannel(), 9);
    EXPECT_EQ(signal[16], 0);
    EXPECT_EQ(signal[15], 1);

    std::vector<int> live{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15};
    EXPECT_TRUE(WaitForPictures(live, 3));
    for (auto& capture : captures)
        capture->SetActive(false);
    board.Close();

    EXPECT_EQ(captures[13]->Delivered(), 0u) << "camera 14 is not active";
    EXPECT_EQ(captures[15]->Delivered(), 0u) << "camera 16 has no signal";
    EXPECT_EQ(ready[14] + ready[16], 0);
    EXPECT_EQ(bank.Peek(1).bytes, 811008u);
    EXPECT_EQ(bank.Peek(2).bytes, 50688u);
    EXPECT_EQ(bank.Peek(3).bytes, 202752u);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        EXPECT_FALSE(sim->Channel(ch).locked) << ch;
}

// Threads wake when there is work: a capture thread passes once for each picture its board has
// for it, not on a beat, and a camera switched on is served at once, not at the next look.
TEST_F(CaptureThreadsTest, AThreadWakesForItsPicturesAndForItsSettings) {
    THicap board("sim");
    ASSERT_TRUE(board.Find());
    TCameraTable cameras = AllActive(3);
    for (int n = 1; n < kCameraCount; ++n)
        cameras[n].Active = 0;  // camera 1 alone: 25 a second
    ASSERT_TRUE(board.Open(cameras));
    StartAll(cameras);
    std::this_thread::sleep_for(1s);
    const uint64_t delivered = captures[0]->Delivered(), passes = captures[0]->BoardPasses();
    EXPECT_GE(delivered, 15u);
    EXPECT_LE(passes, delivered + delivered / 10 + 2) << "a pass for each picture, not a poll";
    EXPECT_EQ(captures[1]->BoardPasses(), 0u) << "an inactive camera's thread sleeps";

    cameras[1].Active = 1;
    ASSERT_TRUE(board.Open(cameras));
    const auto asked = std::chrono::steady_clock::now();
    for (auto& capture : captures)
        capture->SetSettings(cameras);
    while (captures[1]->Delivered() == 0 && std::chrono::steady_clock::now() - asked < 10s)
        std::this_thread::sleep_for(1ms);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms) << "camera 2 waited for a look";
    for (auto& capture : captures)
        capture->SetActive(false);
    board.Close();
}

}  // namespace
}  // namespace kel

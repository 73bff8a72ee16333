// The simulated board on a clock the tests move: its timing, its lock, its pictures.

#include "capture/hicap/sim_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_painter.h"
#include "capture/resolution.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class SimBoardTest : public ::testing::Test {
protected:
    std::unique_ptr<SimBoard> Make(const char* options = "") {
        SimOptions o;
        std::string error;
        EXPECT_TRUE(SimOptions::Parse(options, o, error)) << error;
        return std::make_unique<SimBoard>(
            o, wall, [this] { return std::chrono::steady_clock::time_point(now.load()); });
    }
    // Opened at `mode` everywhere, transfer on; group 0 gets `shares0`, group 1 only its first
    // channel.
    std::unique_ptr<SimBoard> Running(const char* options = "", GroupShares shares0 = {100},
                                      int32_t mode = 4) {
        auto b = Make(options);
        SizeModes modes;
        modes.fill(mode);
        EXPECT_EQ(b->Open(SimBoard::kSelector, modes), kHicapOk);
        EXPECT_EQ(b->Init(), kHicapOk);
        EXPECT_TRUE(b->SetShares(0, shares0));
        EXPECT_TRUE(b->SetShares(1, {1}));
        for (int ch = 0; ch < kBoardChannels; ++ch)
            SetControls(*b, ch);
        EXPECT_EQ(b->TransferOn(), kHicapOk);
        return b;
    }
    static void SetControls(SimBoard& b, int ch, SimControls c = {0, 128, 0, 128, 128, 0}) {
        b.SetControl(PictureControl::Brightness, ch, c.brightness);
        b.SetControl(PictureControl::Contrast, ch, c.contrast);
        b.SetControl(PictureControl::Sharpness, ch, c.sharpness);
        b.SetControl(PictureControl::SaturationU, ch, c.saturationU);
        b.SetControl(PictureControl::SaturationV, ch, c.saturationV);
        b.SetControl(PictureControl::Hue, ch, c.hue);
    }
    // Locks, copies the picture out and unlocks; empty when the lock failed.
    static std::vector<uint8_t> Grab(SimBoard& b, int ch, size_t bytes = ResolutionBytes(3)) {
        uint8_t* p = nullptr;
        if (b.Lock(ch, p) != kHicapOk)
            return {};
        std::vector<uint8_t> copy(p, p + bytes);
        b.Unlock(ch);
        return copy;
    }
    static double MeanLuma(const std::vector<uint8_t>& p) {
        double sum = 0;
        for (size_t i = 1; i < p.size(); i += 2)
            sum += p[i];
        return sum / (p.size() / 2);
    }

    FixedClock wall{LocalTime{2024, 5, 6, 12, 34, 56, 1}};
    std::atomic<std::chrono::steady_clock::duration> now{std::chrono::hours(1)};
};

TEST_F(SimBoardTest, ALockHandsOutEachPictureOnceAndOnlyTheNewest) {
    auto b = Running();  // channel 0 alone in its group: 25 a second, one every 40 ms
    uint8_t* p = nullptr;
    ASSERT_EQ(b->Lock(0, p), kHicapOk) << "the first picture is there as the transfer starts";
    uint8_t* again = nullptr;
    EXPECT_EQ(b->Lock(0, again), kHicapBusy) << "a locked channel cannot be locked twice";
    b->Unlock(0);
    EXPECT_EQ(b->Lock(0, p), kHicapNoPicture);
    now = now.load() + 39ms;
    EXPECT_EQ(b->Lock(0, p), kHicapNoPicture);
    now = now.load() + 1ms;
    ASSERT_EQ(b->Lock(0, p), kHicapOk);
    b->Unlock(0);
    // Late: the newest picture, once, not the ones missed.
    now = now.load() + 200ms;
    ASSERT_EQ(b->Lock(0, p), kHicapOk);
    b->Unlock(0);
    EXPECT_EQ(b->Lock(0, p), kHicapNoPicture);
    EXPECT_EQ(b->Channel(0).pictures, 3u);
}

TEST_F(SimBoardTest, EachGroupDelivers25ASecondSplitByShares) {
    // Group 0: channels 0 and 2 share 12 : 36, channel 4 has no share. Group 1: channel 1 alone.
    auto b = Running("", {12, 36, 0});
    std::array<int, 5> got{};
    for (int ms = 0; ms < 4000; ++ms) {
        for (int ch : {0, 1, 2, 4})
            got[ch] += !Grab(*b, ch, 1).empty();
        now = now.load() + 1ms;
    }
    // Pictures at 0, 1/rate, 2/rate, … up to 4 s: 6.25, 18.75 and 25 a second.
    EXPECT_EQ(got[0], 25);
    EXPECT_EQ(got[2], 75);
    EXPECT_EQ(got[1], 100);
    EXPECT_EQ(got[4], 0);
}

TEST_F(SimBoardTest, NoPicturesWithoutAnOpenBoardATransferAndASignal) {
    auto b = Make();
    uint8_t* p = nullptr;
    EXPECT_EQ(b->Lock(0, p), kHicapNotReady);
    EXPECT_EQ(b->TransferOn(), kHicapNotReady);
    SizeModes modes;
    modes.fill(3);
    EXPECT_EQ(b->Open(SimBoard::kSelector + 1, modes), kHicapNoBoard);
    modes[5] = 5;
    EXPECT_EQ(b->Open(SimBoard::kSelector, modes), kHicapBadArgument);
    EXPECT_FALSE(b->IsOpen());

    b = Running();
    b->TransferOff();
    EXPECT_EQ(b->Lock(0, p), kHicapNotReady);
    EXPECT_EQ(b->TransferOn(), kHicapOk);
    EXPECT_EQ(b->Lock(0, p), kHicapOk);
    // A picture locked before the close stays whole and readable until its unlock.
    std::vector<uint8_t> before(p, p + ResolutionBytes(3));
    b->Close();
    EXPECT_FALSE(b->IsOpen());
    EXPECT_FALSE(b->IsTransferring());
    EXPECT_EQ(std::vector<uint8_t>(p, p + ResolutionBytes(3)), before);
    b->Unlock(0);
    EXPECT_EQ(b->Lock(0, p), kHicapNotReady);

    b = Running("nosignal=1");
    EXPECT_EQ(b->Lock(0, p), kHicapNoSignal);
}

TEST_F(SimBoardTest, ThePictureControlsChangeThePictures) {
    auto b = Running("still", {100, 100, 100, 100, 100, 100, 100, 100});
    auto picture = [&](SimControls c) {
        SetControls(*b, 0, c);
        now = now.load() + 1s;
        return Grab(*b, 0);
    };
    std::vector<uint8_t> neutral = picture({0, 128, 0, 128, 128, 0});
    ASSERT_FALSE(neutral.empty());
    EXPECT_EQ(picture({0, 128, 0, 128, 128, 0}), neutral) << "a still channel repeats its picture";

    EXPECT_NEAR(MeanLuma(picture({40, 128, 0, 128, 128, 0})) - MeanLuma(neutral), 40, 8);
    std::vector<uint8_t> flat = picture({0, 0, 0, 128, 128, 0});
    for (size_t i = 1; i < flat.size(); i += 2)
        ASSERT_EQ(flat[i], 128) << "no contrast: every Y the same";
    std::vector<uint8_t> grey = picture({0, 128, 0, 0, 0, 0});
    for (size_t i = 0; i < grey.size(); i += 2)
        ASSERT_EQ(grey[i], 128) << "no saturation: every U and V neutral";
    std::vector<uint8_t> turned = picture({0, 128, 0, 128, 128, 64});
    std::vector<uint8_t> sharp = picture({0, 128, 200, 128, 128, 0});
    EXPECT_NE(turned, neutral);
    EXPECT_NE(sharp, neutral);
    // Hue and sharpness each touch only their part: chroma, luma.
    for (size_t i = 1; i < neutral.size(); i += 2)
        ASSERT_EQ(turned[i], neutral[i]);
    for (size_t i = 0; i < neutral.size(); i += 2)
        ASSERT_EQ(sharp[i], neutral[i]);

    // Values outside a control's range are held to it.
    SetControls(*b, 3, {1000, -5, 300, 256, -1, 200});
    EXPECT_EQ(b->Channel(3).controls, (SimControls{128, 0, 255, 255, 0, 127}));
    EXPECT_EQ(b->Channel(3).controlCalls, 12u);
}

TEST_F(SimBoardTest, MotionOnlyWhereAsked) {
    auto b = Running("motion=1", {100, 100, 100});
    std::vector<uint8_t> a0 = Grab(*b, 0), a2 = Grab(*b, 2), a4 = Grab(*b, 4);
    now = now.load() + 400ms;
    std::vector<uint8_t> b0 = Grab(*b, 0), b2 = Grab(*b, 2);
    ASSERT_FALSE(a0.empty() || b0.empty() || a2.empty() || b2.empty());
    // Camera 1 moves clearly (as motion detection counts it: bytes changed by more than 30).
    size_t changed = 0;
    for (size_t i = 0; i < a0.size(); ++i)
        changed += std::abs(a0[i] - b0[i]) > 30;
    EXPECT_GT(changed, 1000u);
    EXPECT_EQ(a2, b2) << "camera 3 stands still";
    // The number shown is the camera's: two cameras' still pictures differ.
    EXPECT_NE(a2, a4);
}

TEST_F(SimBoardTest, TheMonitorOutputIsReadBack) {
    auto b = std::shared_ptr<SimBoard>(Make());
    HicapInstall(b);
    EXPECT_EQ(b->TvOutChannel(), -1);
    EXPECT_TRUE(HICAP50_bl_TVOUT(5));
    EXPECT_EQ(b->TvOutChannel(), 5);
    EXPECT_FALSE(HICAP50_bl_TVOUT(16));
    EXPECT_FALSE(HICAP50_bl_TVOUT(-1));
    EXPECT_EQ(b->TvOutChannel(), 5);
    HicapInstall(nullptr);
}

// A capture thread sleeps until the moment the board names: the lock must fail just before it and
// succeed at it, for a channel alone in its group and for shared ones.
TEST_F(SimBoardTest, TheNextPictureIsDueAtTheMomentTheBoardNames) {
    auto b = Running("", {12, 36, 0});
    for (int ch : {0, 2, 1}) {
        uint8_t* p = nullptr;
        ASSERT_EQ(b->Lock(ch, p), kHicapOk);
        b->Unlock(ch);
        for (int k = 0; k < 10; ++k) {
            const auto due = b->NextPicture(ch);
            ASSERT_GT(due.time_since_epoch(), now.load()) << ch;
            now = due.time_since_epoch() - 1us;
            EXPECT_EQ(b->Lock(ch, p), kHicapNoPicture) << ch << " " << k;
            now = due.time_since_epoch();
            ASSERT_EQ(b->Lock(ch, p), kHicapOk) << ch << " " << k;
            b->Unlock(ch);
        }
    }
    // Without a share the board names no near moment.
    EXPECT_GE(b->NextPicture(4).time_since_epoch(), now.load() + 100ms);
}

// The painter repaints only what moved into the buffer it painted last; every picture must still
// be the one a painter painting it whole makes, whatever changed between two of them.
TEST(SimPainterTest, APictureRepaintedWhereItMovedIsThePictureWhole) {
    const size_t bytes = ResolutionBytes(0);
    std::vector<uint8_t> kept(bytes), whole(bytes);
    SimPainter incremental;
    SimScene scene;
    scene.camera = 3;
    scene.sizeMode = 1;
    SimControls controls{0, 128, 0, 128, 128, 0};
    for (int k = 0; k < 200; ++k) {
        scene.ms = k * 40;
        scene.clock = LocalTime{2024, 5, 6, 12, 34, k / 25 % 60, 1};
        if (k == 60)
            controls.brightness = 30;  // a slider moved
        if (k == 90)
            scene.live = false;  // a still scene, then moving again
        if (k == 120)
            scene.live = true;
        if (k == 150)
            scene.sizeMode = 3;
        if (k == 170)
            controls.sharpness = 40;
        incremental.Paint(kept.data(), scene, controls);
        SimPainter fresh;
        std::fill(whole.begin(), whole.end(), 0);
        fresh.Paint(whole.data(), scene, controls);
        const size_t n = ResolutionBytes(scene.sizeMode - 1);
        ASSERT_TRUE(std::equal(kept.begin(), kept.begin() + n, whole.begin())) << "picture " << k;
    }
}

}  // namespace
}  // namespace kel

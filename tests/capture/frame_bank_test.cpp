// The frame bank's hand-off: the newest picture for every reader, the recorder's queue in the
// order of capture, pictures that never change while held, and the wake-up of a waiting recorder.

#include "capture/frame_bank.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "capture/picture_convert.h"
#include "capture/resolution.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

void Deliver(FrameBank& bank, int camera, uint8_t value, size_t bytes = 1000) {
    std::vector<uint8_t> picture(bytes, value);
    bank.Write(camera, picture.data(), picture.size(), 3);
}

TEST(FrameBankTest, TheRecorderTakesEveryPictureInOrderAndOnlyAFullQueueLosesTheOldest) {
    FrameBank bank;
    EXPECT_EQ(bank.Take(1), nullptr);
    for (int i = 1; i <= 3; ++i)
        Deliver(bank, 1, static_cast<uint8_t>(i));
    EXPECT_EQ(bank.Peek(1).serial, 3u);
    for (int i = 1; i <= 3; ++i) {
        FrameBank::PicturePtr p = bank.Take(1);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->info.serial, static_cast<uint64_t>(i));
        EXPECT_EQ(p->data[999], i);
    }
    EXPECT_EQ(bank.Take(1), nullptr) << "each picture is taken once";
    EXPECT_EQ(bank.Lost(1), 0u);

    const int burst = FrameBank::kQueueDepth + 2;
    for (int i = 0; i < burst; ++i)
        Deliver(bank, 2, static_cast<uint8_t>(i));
    EXPECT_EQ(bank.Lost(2), 2u);
    EXPECT_EQ(bank.Take(2)->data[0], 2) << "the oldest went first";
    EXPECT_EQ(bank.Take(1), nullptr) << "cameras do not share a queue";
    Deliver(bank, 0, 1);
    Deliver(bank, 17, 1);
    EXPECT_EQ(bank.Take(0), nullptr);
    EXPECT_EQ(bank.Take(17), nullptr);
}

// A reader holding a picture keeps it whole however many come after it (buffers are reused only
// once let go), and a copy read out is the newest.
TEST(FrameBankTest, AHeldPictureNeverChanges) {
    FrameBank bank;
    Deliver(bank, 5, 7, FrameBank::kSlotBytes);
    FrameBank::PicturePtr held = bank.Newest(5);
    for (int i = 0; i < 50; ++i) {
        Deliver(bank, 5, static_cast<uint8_t>(100 + i), FrameBank::kSlotBytes);
        bank.Take(5);
    }
    for (size_t at : {size_t{0}, FrameBank::kSlotBytes / 2, FrameBank::kSlotBytes - 1})
        EXPECT_EQ(held->data[at], 7);
    std::vector<uint8_t> out(10);
    FrameBank::Info info = bank.Read(5, out.data(), out.size());
    EXPECT_EQ(info.serial, 51u);
    EXPECT_EQ(out[9], 149);
}

TEST(FrameBankTest, AWaitingRecorderIsWokenByAPictureOrAWake) {
    FrameBank bank;
    const uint64_t seen = bank.News();
    EXPECT_FALSE(bank.WaitForPictures(seen, 20ms));
    std::jthread camera([&] {
        std::this_thread::sleep_for(20ms);
        Deliver(bank, 3, 1);
    });
    EXPECT_TRUE(bank.WaitForPictures(seen, 10s));
    const uint64_t later = bank.News();
    std::jthread other([&] {
        std::this_thread::sleep_for(20ms);
        bank.Wake();
    });
    EXPECT_TRUE(bank.WaitForPictures(later, 10s));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(bank.WaitForPictures(bank.News(), 10s, stop.get_token())) << "a stop ends the wait";
}

// Halves are made only while a reader wants them, only of whole pictures, from what is published
// (the masked picture, not the board's), and are what halving the published picture gives.
TEST(FrameBankTest, HalvesAreMadeOnlyWhileWantedAndAreThePublishedPictureHalved) {
    FrameBank bank;
    const int32_t code = 2;  // 352 x 288
    const PictureSize size = ResolutionSize(code);
    std::vector<uint8_t> picture(ResolutionBytes(code));
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>(i * 7 + i / 704);
    std::vector<uint8_t> cells(25344, 0);
    cells[0] = 1;  // the top-left cell masked
    const auto mask = PrivacyMask::Make(cells.data());
    auto halved = [&](const uint8_t* from) {
        const size_t line = static_cast<size_t>(size.width) * 2;
        std::vector<uint8_t> half(picture.size() / 4);
        for (int y = 0; y < size.height / 2; ++y)
            HalveUyvyLines(from + 2 * y * line, from + (2 * y + 1) * line, &half[y * line / 2],
                           size.width / 4);
        return half;
    };

    bank.Write(1, picture.data(), picture.size(), code);
    EXPECT_EQ(bank.Newest(1)->half, nullptr) << "nobody wants halves";
    bank.WantHalves(1, true);
    EXPECT_TRUE(bank.WantsHalves(1));
    EXPECT_FALSE(bank.WantsHalves(2));
    for (const PrivacyMask* m : {static_cast<const PrivacyMask*>(nullptr), mask.get()}) {
        bank.Write(1, picture.data(), picture.size(), code, m);
        FrameBank::PicturePtr p = bank.Newest(1);
        ASSERT_NE(p->half, nullptr);
        EXPECT_EQ(std::memcmp(p->data, picture.data(), picture.size()) == 0, m == nullptr);
        const std::vector<uint8_t> expected = halved(p->data);
        EXPECT_EQ(std::memcmp(p->half, expected.data(), expected.size()), 0) << (m ? "masked" : "plain");
    }
    bank.Write(1, picture.data(), picture.size() - 2, code);
    EXPECT_EQ(bank.Newest(1)->half, nullptr) << "a cut picture is not halved";
    bank.WantHalves(1, false);
    bank.Write(1, picture.data(), picture.size(), code);
    EXPECT_EQ(bank.Newest(1)->half, nullptr);
    bank.WantHalves(0, true);
    bank.WantHalves(17, true);
    EXPECT_FALSE(bank.WantsHalves(17));
}

}  // namespace
}  // namespace kel

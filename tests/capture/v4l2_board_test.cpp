// Capture cards through the map board, against a device that behaves as the kernel documents:
// inputs shared by the cameras' shares, sizes and YUYV converted, the controls scaled to the
// card's ranges, inputs without signal, a card unplugged and plugged in again, no card at all.
// Where the machine has a real capture device, the last test runs against it too.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "capture/hicap.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/stream_board.h"
#include "capture/resolution.h"
#include "fake_video_device.h"

namespace kel {
namespace {

using namespace std::chrono_literals;

class V4l2BoardTest : public ::testing::Test {
protected:
    void Make(const std::string& map, SizeModes modes = Modes(3)) {
        StreamMap m;
        std::string error;
        ASSERT_TRUE(m.Parse(map, "", error)) << error;
        V4l2Timing timing;
        timing.read = 300ms;
        timing.retryFirst = 50ms;
        timing.retryMax = 200ms;
        timing.settlePictures = 1;
        board = std::make_unique<StreamBoard>(
            m, StreamTiming{}, [this] { return std::make_unique<FakeVideoDevice>(card); }, timing);
        board->SetReporter([this](const std::string& line, bool error) {
            std::lock_guard<std::mutex> lock(mutex);
            log += (error ? "[ERR] " : "[---] ") + line + "\n";
        });
        CArTBDRecord record{};
        ASSERT_EQ(board->Search(record), kHicapOk);
        ASSERT_EQ(board->Open(StreamBoard::kSelector, modes), kHicapOk);
        ASSERT_EQ(board->TransferOn(), kHicapOk);
    }
    static SizeModes Modes(int32_t mode) {
        SizeModes m;
        m.fill(mode);
        return m;
    }
    // Pictures per channel over `time`, and the luma in the middle of each one's last picture.
    std::map<int, int> Capture(std::chrono::milliseconds time, std::map<int, int>* luma = nullptr) {
        std::map<int, int> got;
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            for (int ch = 0; ch < kBoardChannels; ++ch) {
                uint8_t* p = nullptr;
                if (board->Lock(ch, p) == kHicapOk) {
                    ++got[ch];
                    if (luma)
                        (*luma)[ch] = p[ResolutionBytes(2) / 2 + 1];
                    board->Unlock(ch);
                }
            }
            std::this_thread::sleep_for(5ms);
        }
        return got;
    }
    std::string Log() {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    // What the card saw, read as its capture thread writes it: under its lock.
    template <class T>
    T Seen(T FakeCard::*field) {
        std::lock_guard<std::mutex> lock(card.mutex);
        return card.*field;
    }

    FakeCard card;
    std::mutex mutex;
    std::string log;
    std::unique_ptr<StreamBoard> board;  // last: its threads use the card and the log
};

TEST_F(V4l2BoardTest, TheCamerasOfOneCardShareItByTheirSharesEachFromItsOwnInput) {
    // Cameras 1 and 3 (group 0) on inputs 0 and 1, camera 2 (group 1) on input 2, camera 4 not shared.
    Make("1 = v4l2:/dev/fake\n3 = v4l2:/dev/fake@1\n2 = v4l2:/dev/fake@2\n4 = v4l2:/dev/fake@3\n");
    board->SetShares(0, GroupShares{300, 100, 0, 0, 0, 0, 0, 0});
    board->SetShares(1, GroupShares{100, 0, 0, 0, 0, 0, 0, 0});
    std::map<int, int> luma;
    Capture(500ms);
    const int switchesBefore = Seen(&FakeCard::inputSwitches);
    uint64_t before[3];
    for (int ch = 0; ch < 3; ++ch)
        before[ch] = board->SourcePictures(ch);
    const auto got = Capture(2s, &luma);
    double taken[3], total = 0;
    for (int ch = 0; ch < 3; ++ch)
        total += taken[ch] = static_cast<double>(board->SourcePictures(ch) - before[ch]);
    for (int ch : {0, 1, 2})
        EXPECT_GT(got.count(ch) ? got.at(ch) : 0, 5) << ch;
    EXPECT_EQ(got.count(3), 0u) << "a camera with no share gets no turn";
    EXPECT_EQ(luma[0], FakeCard::LumaOf(0));
    EXPECT_EQ(luma[2], FakeCard::LumaOf(1));
    EXPECT_EQ(luma[1], FakeCard::LumaOf(2));
    // Camera 1 has three fifths of the card's turns, cameras 3 and 2 a fifth each.
    EXPECT_NEAR(taken[0] / total, 0.6, 0.05);
    EXPECT_NEAR(taken[2] / total, 0.2, 0.05);
    EXPECT_GE(Seen(&FakeCard::inputSwitches) - switchesBefore, total * 0.5) << "the inputs take turns";
    EXPECT_EQ(Seen(&FakeCard::standard), V4L2_STD_PAL);
    EXPECT_EQ(Seen(&FakeCard::opens), 2) << "one probe, one open for the streaming";
}

TEST_F(V4l2BoardTest, PicturesAreConvertedToTheCamerasSizeAndTheControlsScaledToTheCards) {
    card.yuyvOnly = true;
    card.maxWidth = 320;  // smaller than 352: scaled up
    SizeModes modes = Modes(3);
    modes[0] = 4;  // 176 x 144
    Make("1-2 = v4l2:/dev/fake\n", modes);
    board->SetStandard(true);
    board->SetShares(0, GroupShares{1000, 0, 0, 0, 0, 0, 0, 0});
    board->SetShares(1, GroupShares{1000, 0, 0, 0, 0, 0, 0, 0});
    const struct {
        PictureControl control;
        int32_t value;
        uint32_t id;
        int32_t expected;
    } controls[] = {
        {PictureControl::Brightness, 128, V4L2_CID_BRIGHTNESS, 255},
        {PictureControl::Brightness, -128, V4L2_CID_BRIGHTNESS, 0},
        {PictureControl::Contrast, 255, V4L2_CID_CONTRAST, 127},
        {PictureControl::Hue, 0, V4L2_CID_HUE, 0},
        {PictureControl::SaturationU, 0, V4L2_CID_SATURATION, 63},  // the mean of U 0 and V 128
    };
    for (const auto& c : controls) {
        board->SetControl(PictureControl::SaturationV, 0, 128);
        board->SetControl(c.control, 0, c.value);
        for (int i = 0; i < 100; ++i) {
            {
                std::lock_guard<std::mutex> lock(card.mutex);
                if (card.values.count(c.id) && card.values[c.id] == c.expected)
                    break;
            }
            std::this_thread::sleep_for(10ms);
        }
        std::lock_guard<std::mutex> lock(card.mutex);
        EXPECT_EQ(card.values[c.id], c.expected) << static_cast<int>(c.control) << " " << c.value;
    }
    std::map<int, int> luma;
    const auto got = Capture(1s, &luma);
    EXPECT_GT(got.count(0) ? got.at(0) : 0, 3);
    uint8_t* p = nullptr;
    for (int i = 0; i < 100 && board->Lock(1, p) != kHicapOk; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_NE(p, nullptr);
    // UYVY, from YUYV: U first, then the input's luma, everywhere in the 352 x 288 picture.
    EXPECT_EQ(p[0], 128);
    EXPECT_EQ(p[1], FakeCard::LumaOf(1));
    EXPECT_EQ(p[ResolutionBytes(2) - 1], FakeCard::LumaOf(1));
    board->Unlock(1);
    board->Close();
    EXPECT_EQ(Seen(&FakeCard::standard), V4L2_STD_NTSC)
        << "the station's standard, from the next switch of input";
}

TEST_F(V4l2BoardTest, AnInputWithoutSignalAndAnUnpluggedCardHaveNoSignalAndTheCardComesBack) {
    card.status[1] = V4L2_IN_ST_NO_SIGNAL;
    Make("1-2 = v4l2:/dev/fake\n");
    board->SetShares(0, GroupShares{1000, 0, 0, 0, 0, 0, 0, 0});
    board->SetShares(1, GroupShares{1000, 0, 0, 0, 0, 0, 0, 0});
    auto got = Capture(1s);
    EXPECT_GT(got.count(0) ? got.at(0) : 0, 5);
    EXPECT_EQ(got.count(1), 0u);
    SignalFlags flags{};
    board->Signal(flags);
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 0);
    uint8_t* p = nullptr;
    EXPECT_EQ(board->Lock(1, p), kHicapNoSignal);
    EXPECT_NE(Log().find("[ERR] Kamery 1, 2 (/dev/fake): brak obrazu: brak sygnalu na wejsciu 1"),
              std::string::npos)
        << Log();

    {
        std::lock_guard<std::mutex> lock(card.mutex);
        card.present = false;
    }
    // However slow the machine: the loss is seen within a few seconds, at whichever step of the
    // grab the card was missed ("utracono urzadzenie: bufor: No such device" when at a buffer).
    const std::string lost = "[ERR] Kamery 1, 2 (/dev/fake): utracono urzadzenie: ";
    Capture(600ms);
    for (int i = 0; i < 50 && Log().find(lost) == std::string::npos; ++i)
        Capture(100ms);
    board->Signal(flags);
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(board->Lock(0, p), kHicapNoSignal);
    const std::string log = Log();
    const size_t at = log.find(lost);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.substr(at, log.find('\n', at) - at).find("No such device"), std::string::npos) << log;
    {
        std::lock_guard<std::mutex> lock(card.mutex);
        card.present = true;
    }
    got = Capture(1500ms);
    EXPECT_GT(got.count(0) ? got.at(0) : 0, 3) << Log();
    EXPECT_GE(Seen(&FakeCard::opens), 3);
}

TEST_F(V4l2BoardTest, WithoutAnyCardTheStationIsToldThereIsNoBoard) {
    card.present = false;
    StreamMap m;
    std::string error;
    ASSERT_TRUE(m.Parse("1-4 = v4l2:/dev/fake\n", "", error));
    HicapInstall(std::make_shared<StreamBoard>(m, StreamTiming{},
                                               [this] { return std::make_unique<FakeVideoDevice>(card); }));
    THicap board("");
    EXPECT_FALSE(board.Find());
    EXPECT_EQ(board.ErrorText(), THicap::kNoBoard);
    card.present = true;
    EXPECT_TRUE(board.Find());
    EXPECT_EQ(board.Name(), "V4L2: Fake BT878 (4 inputs) (/dev/fake)");
    HicapInstall(nullptr);

    // The command line's forms: devices inline, or a map of devices only.
    for (const auto& [text, ok] : std::vector<std::pair<std::string, bool>>{
             {"v4l2:1=/dev/video0,2=/dev/video0@1,5-8=/dev/video2", true},
             {"v4l2:", false},
             {"v4l2:1=/dev/video0,2", false},
             {"v4l2:1=rtsp://x/y", false}}) {
        std::string why;
        EXPECT_EQ(HicapCheckBoard(text, why), ok) << text << ": " << why;
    }
}

// A real capture device, where the machine has one (/dev/video0, or KEL_TEST_V4L2_DEVICE).
TEST(V4l2RealDeviceTest, ARealDeviceDeliversPicturesOfTheCamerasSize) {
    const char* given = std::getenv("KEL_TEST_V4L2_DEVICE");
    const std::string device = given && *given ? given : "/dev/video0";
    std::error_code ec;
    if (!std::filesystem::exists(device, ec))
        GTEST_SKIP() << "no capture device " << device << " on this machine (set KEL_TEST_V4L2_DEVICE)";
    StreamMap m;
    std::string error;
    ASSERT_TRUE(m.Parse("1 = v4l2:" + device + "\n", "", error)) << error;
    StreamBoard board(m);
    CArTBDRecord record{};
    ASSERT_EQ(board.Search(record), kHicapOk) << device << " is no capture device";
    SizeModes modes;
    modes.fill(3);
    ASSERT_EQ(board.Open(StreamBoard::kSelector, modes), kHicapOk);
    board.SetShares(0, GroupShares{1000, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(board.TransferOn(), kHicapOk);
    int got = 0;
    for (int i = 0; i < 300 && got < 5; ++i) {
        uint8_t* p = nullptr;
        if (board.Lock(0, p) == kHicapOk) {
            ++got;
            board.Unlock(0);
        }
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(got, 5);
}

}  // namespace
}  // namespace kel

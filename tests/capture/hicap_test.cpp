// THicap over the simulated board and a fake one, and the checks the library's entry points make
// before anything reaches a board.

#include "capture/hicap.h"

#include <gtest/gtest.h>

#include "capture/fake_board.h"
#include "capture/hicap/hicap.h"
#include "capture/hicap/sim_board.h"

namespace kel {
namespace {

TCameraTable Inactive() {
    TCameraTable t{};
    for (TCameraRecord& c : t) {
        c.Resolution = 2;
        c.FPS = 3;
    }
    return t;
}

std::shared_ptr<SimBoard> Sim() {
    return std::dynamic_pointer_cast<SimBoard>(HicapBackend());
}

class HicapTest : public ::testing::Test {
protected:
    void TearDown() override { HicapInstall(nullptr); }
};

TEST_F(HicapTest, SizeModesFollowTheResolutionOfActiveCamerasOnly) {
    TCameraTable t = Inactive();
    auto set = [&](int ch, uint8_t active, int32_t resolution) {
        t[ch].Active = active;
        t[ch].Resolution = resolution;
    };
    set(0, 1, 0);
    set(1, 1, 3);
    set(2, 0, 0);
    set(3, 1, 7);  // unknown: what an unused channel runs at
    set(4, 1, 1);
    SizeModes modes = THicap::SizeModesFor(t);
    EXPECT_EQ(modes[0], 1);
    EXPECT_EQ(modes[1], 4);
    EXPECT_EQ(modes[2], 3);
    EXPECT_EQ(modes[3], 3);
    EXPECT_EQ(modes[4], 2);
    EXPECT_EQ(modes[15], 3);
}

TEST_F(HicapTest, EachGroupSharesByTheFpsOfItsActiveCameras) {
    TCameraTable t = Inactive();
    // Group 0 (cameras 1, 3, 5, …): cameras 3 and 15 active.
    t[2].Active = 1;
    t[2].FPS = 5;
    t[14].Active = 1;
    t[14].FPS = 20;
    t[4].FPS = 25;  // inactive: no share however fast
    EXPECT_EQ(THicap::SharesFor(t, 0), (GroupShares{0, 20, 0, 0, 0, 0, 0, 80}));
    // Group 1 has no active camera: its first channel still gets a share of 1.
    EXPECT_EQ(THicap::SharesFor(t, 1), (GroupShares{1, 0, 0, 0, 0, 0, 0, 0}));
    // So does a group whose only active camera asks for nothing.
    t[1].Active = 1;
    t[1].FPS = 0;
    t[3].Active = 1;
    t[3].FPS = -4;
    EXPECT_EQ(THicap::SharesFor(t, 1), (GroupShares{1, 0, 0, 0, 0, 0, 0, 0}));
    t[3].FPS = 1000;
    EXPECT_EQ(THicap::SharesFor(t, 1)[1], 100) << "at most 25 pictures a second";
}

TEST_F(HicapTest, OpenSetsTheBoardUpForTheCameraTable) {
    TCameraTable t = Inactive();
    t[0].Active = 1;
    t[0].Resolution = 0;
    t[0].FPS = 10;
    THicap board("sim");
    ASSERT_TRUE(board.Find()) << board.ErrorText();
    EXPECT_EQ(board.Name(), "KEL-16 (symulacja)");
    auto sim = Sim();
    ASSERT_TRUE(sim);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        sim->SetControl(PictureControl::Contrast, ch, 99);
    ASSERT_TRUE(board.Open(t)) << board.ErrorText();
    EXPECT_TRUE(sim->IsOpen());
    EXPECT_TRUE(sim->IsTransferring());
    EXPECT_EQ(sim->Channel(0).sizeMode, 1);
    EXPECT_EQ(sim->Channel(0).share, 40);
    EXPECT_EQ(sim->Channel(2).share, 0);
    EXPECT_EQ(sim->Channel(1).sizeMode, 3);
    EXPECT_EQ(sim->Channel(1).share, 1);
    for (int ch = 0; ch < kBoardChannels; ++ch)
        EXPECT_EQ(sim->Channel(ch).controls, SimControls{}) << "every control at 0 until a camera's own";

    // Opened again without a close, for the applied configuration.
    t[0].Resolution = 2;
    ASSERT_TRUE(board.Open(t));
    EXPECT_EQ(sim->Channel(0).sizeMode, 3);
    board.Close();
    EXPECT_FALSE(sim->IsOpen());
    EXPECT_FALSE(sim->IsTransferring());
}

TEST_F(HicapTest, TheBoardsFailuresHaveTheirCodedTexts) {
    struct Case {
        const char* board;
        const char* text;
        uint32_t status;
    };
    for (Case c : {Case{"sim:absent", "{#0020} Brak karty KEL", 31},
                   Case{"sim:driver", "{#0021} Blad Otwarcia Sterownika", 32},
                   Case{"sim:version", "{#0022} Niewlasciwa wersja sterownika", 33}}) {
        THicap board(c.board);
        EXPECT_FALSE(board.Find()) << c.board;
        EXPECT_EQ(board.ErrorText(), c.text);
        EXPECT_EQ(board.Status(), c.status);
        EXPECT_FALSE(board.Open(Inactive())) << "never found, never opened";
    }
    THicap unknown("nothing");
    EXPECT_FALSE(unknown.Find());
    EXPECT_NE(unknown.ErrorText().find("unknown board 'nothing'"), std::string::npos);
}

// Any other status fails too, without a text; so does an open.
TEST_F(HicapTest, OtherFailuresHaveNoText) {
    auto fake = std::make_shared<FakeBoard>();
    HicapInstall(fake);
    THicap board("");  // the back end in place
    fake->searchStatus = 77;
    EXPECT_FALSE(board.Find());
    EXPECT_EQ(board.Status(), 77u);
    EXPECT_EQ(board.ErrorText(), "");
    fake->searchStatus = kHicapOk;
    ASSERT_TRUE(board.Find());
    EXPECT_EQ(board.Name(), "Fake");
    fake->openStatus = kHicapDriverOpen;
    EXPECT_FALSE(board.Open(Inactive()));
    EXPECT_EQ(board.ErrorText(), "{#0021} Blad Otwarcia Sterownika");
    fake->openStatus = kHicapBusy;
    EXPECT_FALSE(board.Open(Inactive()));
    EXPECT_EQ(board.ErrorText(), "");
}

TEST_F(HicapTest, TheSignalIsReadPerCamera) {
    THicap board("sim:nosignal=2,5-6");
    ASSERT_TRUE(board.Find());
    ASSERT_TRUE(board.Open(Inactive()));
    CameraFlags signal{};
    board.QuerySignal(signal);
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(signal[n], n == 2 || n == 5 || n == 6 ? 0 : 1) << n;
    // A board that does not answer reads as no signal anywhere.
    HicapInstall(nullptr);
    board.QuerySignal(signal);
    for (int n = 1; n <= kCameraCount; ++n)
        EXPECT_EQ(signal[n], 0) << n;
}

TEST_F(HicapTest, ALoadedBackEndStaysUntilAnotherIsNamed) {
    std::string error;
    ASSERT_TRUE(HicapLoad("sim", error));
    auto first = HicapBackend();
    ASSERT_TRUE(HicapLoad("sim", error));
    EXPECT_EQ(HicapBackend(), first);
    ASSERT_TRUE(HicapLoad("sim:still", error));
    EXPECT_NE(HicapBackend(), first);
    auto second = HicapBackend();
    EXPECT_FALSE(HicapLoad("sim:bogus", error));
    EXPECT_EQ(HicapBackend(), second) << "a bad board leaves the loaded one";
}

TEST_F(HicapTest, EntryPointsRefuseWhatNoBoardShouldSee) {
    uint8_t* p = nullptr;
    EXPECT_EQ(HICAP50_dw_LockWait4GetImageAddrEx(0, &p, kFourccUYVY, 1, 5), kHicapNoBackend);
    auto fake = std::make_shared<FakeBoard>();
    HicapInstall(fake);
    EXPECT_EQ(HICAP50_dw_CArTBDSearch(nullptr), kHicapBadArgument);
    EXPECT_EQ(HICAP50_dw_LockWait4GetImageAddrEx(16, &p, kFourccUYVY, 1, 5), kHicapBadArgument);
    EXPECT_EQ(HICAP50_dw_LockWait4GetImageAddrEx(0, nullptr, kFourccUYVY, 1, 5), kHicapBadArgument);
    EXPECT_EQ(HICAP50_dw_LockWait4GetImageAddrEx(0, &p, 0x32595559 /* YUY2 */, 1, 5), kHicapBadArgument);
    EXPECT_FALSE(HICAP50_bl_BRIGHTNESSControl(-1, 0));
    EXPECT_FALSE(HICAP50_bl_CaptureGroupSliceCtrl(2, GroupShares{}.data()));
    EXPECT_EQ(fake->boardCalls, 0);
    EXPECT_EQ(p, nullptr);
}

}  // namespace
}  // namespace kel

// Privacy masks: the masked cells of every picture size painted black, nothing else touched, and
// the frame bank publishing only the masked picture.

#include "capture/privacy_mask.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "capture/frame_bank.h"
#include "capture/resolution.h"

namespace kel {
namespace {

// Painted while copied into a buffer of other bytes, in rows of a few long runs (copied around)
// as in rows of many short ones (blended).
TEST(PrivacyMask, MaskedCellsAreBlackAtEverySizeAndNothingElseChanges) {
    std::vector<uint8_t> cells(kZoneCols * kZoneRows, 0);
    EXPECT_EQ(PrivacyMask::Make(cells.data()), nullptr) << "no cell masked: no mask";
    auto masked = [](int col, int row) {
        return col < kZoneCols / 2 || (col == 170 && row == 100) || (row == 10 && col % 2 == 0);
    };
    for (int r = 0; r < kZoneRows; ++r)
        for (int c = 0; c < kZoneCols; ++c)
            cells[r * kZoneCols + c] = masked(c, r) ? 1 : (c == 171 ? 2 : 0);  // only 1 masks
    const PrivacyMaskPtr mask = PrivacyMask::Make(cells.data());
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->Cells(), kZoneCols / 2 * kZoneRows + 1 + kZoneCols / 4);
    for (int32_t code = 0; code <= 3; ++code) {
        const PictureSize size = ResolutionSize(code);
        const std::vector<uint8_t> board(ResolutionBytes(code), 0x55);
        std::vector<uint8_t> copied(board.size(), 0);
        mask->Copy(copied.data(), board.data(), size.width, size.height);
        const int cellBytes = 2 * size.width / kZoneCols, cellLines = size.height / kZoneRows;
        int wrong = 0;
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < 2 * size.width; ++x) {
                const uint8_t want = masked(x / cellBytes, y / cellLines) ? (x % 2 ? 16 : 128) : 0x55;
                wrong += copied[y * 2 * size.width + x] != want;
            }
        EXPECT_EQ(wrong, 0) << size.width << "x" << size.height;
    }
    const std::vector<uint8_t> odd(100 * 90 * 2, 0x55);
    std::vector<uint8_t> copied(odd.size(), 0);
    mask->Copy(copied.data(), odd.data(), 100, 90);
    EXPECT_EQ(copied, odd) << "a size the grid does not divide";
}

// What the bank hands on (to the display, the recorder, the server, snapshots) is masked; the
// board's own buffer is not written.
TEST(PrivacyMask, TheBankPublishesOnlyTheMaskedPicture) {
    std::vector<uint8_t> cells(kZoneCols * kZoneRows, 1);
    const PrivacyMaskPtr all = PrivacyMask::Make(cells.data());
    auto bank = std::make_unique<FrameBank>();
    const std::vector<uint8_t> board(ResolutionBytes(2), 200);
    bank->Write(3, board.data(), board.size(), 2, all.get());
    EXPECT_EQ(board, std::vector<uint8_t>(ResolutionBytes(2), 200));
    const auto newest = bank->Newest(3);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->data[0], 128);
    EXPECT_EQ(newest->data[ResolutionBytes(2) - 1], 16);
    const auto queued = bank->Take(3);
    ASSERT_NE(queued, nullptr);
    EXPECT_EQ(queued->data, newest->data) << "the recorder's picture is the same masked one";
}

}  // namespace
}  // namespace kel

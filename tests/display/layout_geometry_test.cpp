// The layouts' geometry against the design tables at the three application widths, pixel for
// pixel, and the full-screen hit rectangles.

#include "display/layout_geometry.h"

#include <gtest/gtest.h>

#include "display/tile_text.h"

namespace kel {
namespace {

struct Size {
    int w, h;
};

struct Table {
    int appWidth;
    Size back, one, four, nine, sixteen, large8, large13, used;
};

// The design table: sizes of the tiles of every layout; the small tiles of 8 and 13 are those of 16.
const Table kTables[] = {
    {1024, {774, 727}, {770, 630}, {385, 315}, {256, 209}, {192, 157}, {578, 473}, {385, 315}, {771, 631}},
    {1152, {902, 823}, {898, 735}, {449, 367}, {299, 245}, {224, 183}, {674, 551}, {449, 367}, {899, 736}},
    {1280, {1030, 983}, {1026, 839}, {513, 420}, {342, 280}, {256, 209}, {770, 630}, {513, 420}, {1027, 840}},
};

void ExpectSize(const Rect& r, Size s, const std::string& what) {
    EXPECT_EQ(r.Width(), s.w) << what;
    EXPECT_EQ(r.Height(), s.h) << what;
}

// No two tiles overlap and all lie on the back surface.
void ExpectApartAndInside(const std::vector<Rect>& tiles, Size back, const std::string& what) {
    for (size_t i = 0; i < tiles.size(); ++i) {
        EXPECT_TRUE(tiles[i].Within(back.w, back.h)) << what << " tile " << i + 1;
        for (size_t j = i + 1; j < tiles.size(); ++j)
            EXPECT_TRUE(tiles[i].Intersected(tiles[j]).Empty())
                << what << " tiles " << i + 1 << ", " << j + 1;
    }
}

class LayoutTables : public ::testing::TestWithParam<Table> {};

TEST_P(LayoutTables, GridsMatchTheTable) {
    const Table& t = GetParam();
    const std::pair<int, Size> grids[] = {{1, t.one}, {2, t.four}, {3, t.nine}, {4, t.sixteen}};
    for (auto [n, size] : grids) {
        std::vector<Rect> tiles = GridTiles(t.appWidth, n);
        ASSERT_EQ(tiles.size(), size_t(n * n));
        for (int k = 0; k < n * n; ++k) {
            std::string what = std::to_string(n * n) + " cameras, tile " + std::to_string(k + 1);
            EXPECT_EQ(tiles[k].left, k % n * (size.w + 1)) << what;
            EXPECT_EQ(tiles[k].top, k / n * (size.h + 1)) << what;
            ExpectSize(tiles[k], size, what);
        }
        ExpectApartAndInside(tiles, t.back, std::to_string(n * n) + " cameras");
    }
}

TEST_P(LayoutTables, EightAndThirteenMatchTheTable) {
    const Table& t = GetParam();
    std::vector<Rect> eight = EightTiles(t.appWidth), thirteen = ThirteenTiles(t.appWidth);
    ASSERT_EQ(eight.size(), 8u);
    ASSERT_EQ(thirteen.size(), 13u);
    ExpectSize(eight[0], t.large8, "large tile of 8");
    for (int i = 1; i < 8; ++i)
        ExpectSize(eight[i], t.sixteen, "small tile of 8");
    ExpectSize(thirteen[5], t.large13, "large tile of 13");
    for (int i = 0; i < 13; ++i)
        if (i != 5)
            ExpectSize(thirteen[i], t.sixteen, "small tile of 13");
    ExpectApartAndInside(eight, t.back, "8 cameras");
    ExpectApartAndInside(thirteen, t.back, "13 cameras");
}

TEST_P(LayoutTables, UsedArea) {
    const Table& t = GetParam();
    Rect used = UsedArea(t.back.w);
    EXPECT_EQ(used.left, 0);
    EXPECT_EQ(used.top, 0);
    ExpectSize(used, t.used, "used area");
}

INSTANTIATE_TEST_SUITE_P(Widths, LayoutTables, ::testing::ValuesIn(kTables),
                         [](const auto& info) { return std::to_string(info.param.appWidth); });

TEST(LayoutGeometry, WorkedPositionsAt1024) {
    std::vector<Rect> eight = EightTiles(1024);
    EXPECT_EQ(eight[0], Rect::Sized(0, 0, 578, 473));
    const int xs[] = {0, 193, 386, 579};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(eight[1 + k], Rect::Sized(xs[k], 474, 192, 157)) << "bottom row " << k;
    const int ys[] = {0, 158, 316};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(eight[5 + k], Rect::Sized(579, ys[k], 192, 157)) << "right column " << k;

    std::vector<Rect> t = ThirteenTiles(1024);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(t[k], Rect::Sized(xs[k], 0, 192, 157)) << "top row " << k;
        EXPECT_EQ(t[9 + k], Rect::Sized(xs[k], 474, 192, 157)) << "bottom row " << k;
    }
    EXPECT_EQ(t[4], Rect::Sized(0, 158, 192, 157));
    EXPECT_EQ(t[7], Rect::Sized(0, 316, 192, 157));
    EXPECT_EQ(t[6], Rect::Sized(579, 158, 192, 157));
    EXPECT_EQ(t[8], Rect::Sized(579, 316, 192, 157));
    EXPECT_EQ(t[5], Rect::Sized(193, 158, 385, 315));
}

TEST(LayoutGeometry, FullScreenHitRectangles) {
    std::vector<Rect> four = GridHits(1024, 768, 2);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0], (Rect{0, 0, 511, 383}));
    EXPECT_EQ(four[1], (Rect{512, 0, 1023, 383}));
    EXPECT_EQ(four[2], (Rect{0, 384, 511, 767}));
    EXPECT_EQ(four[3], (Rect{512, 384, 1023, 767}));

    // sw = 255, sh = 191 on a 1024 x 768 screen.
    std::vector<Rect> eight = EightHits(1024, 768);
    EXPECT_EQ(eight[0], (Rect{0, 0, 767, 575}));
    EXPECT_EQ(eight[1], Rect::Sized(0, 576, 255, 191));
    EXPECT_EQ(eight[4], Rect::Sized(768, 576, 255, 191));
    EXPECT_EQ(eight[7], Rect::Sized(768, 384, 255, 191));
    std::vector<Rect> thirteen = ThirteenHits(1024, 768);
    EXPECT_EQ(thirteen[5], Rect::Sized(256, 192, 511, 383));
    EXPECT_EQ(thirteen[8], Rect::Sized(768, 384, 255, 191));
    EXPECT_EQ(thirteen[12], Rect::Sized(768, 576, 255, 191));
}

TEST(LayoutGeometry, TextSizeFollowsTheTileWidth) {
    EXPECT_EQ(TileText::PointSize(192), 8);
    EXPECT_EQ(TileText::PointSize(193), 10);
    EXPECT_EQ(TileText::PointSize(256), 10);
    EXPECT_EQ(TileText::PointSize(257), 11);
    EXPECT_EQ(TileText::PointSize(385), 11);
    EXPECT_EQ(TileText::PointSize(386), 22);
    // At 1024 x 768: one camera 22 points, four 11, nine 10, sixteen 8.
    EXPECT_EQ(TileText::PointSize(GridTiles(1024, 1)[0].Width()), 22);
    EXPECT_EQ(TileText::PointSize(GridTiles(1024, 2)[0].Width()), 11);
    EXPECT_EQ(TileText::PointSize(GridTiles(1024, 3)[0].Width()), 10);
    EXPECT_EQ(TileText::PointSize(GridTiles(1024, 4)[0].Width()), 8);
    // "REC" on a 192-pixel tile starts 32 pixels left of its right edge.
    EXPECT_EQ(TileText::RecBox(Rect::Sized(0, 0, 192, 157), 8).left(), 160);
}

}  // namespace
}  // namespace kel

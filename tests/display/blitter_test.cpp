// The stretch blit: colour conversion, the odd-width path that borrows the column beside the tile,
// the target's right edge and refused rectangles.

#include "display/blitter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/hicap/sim_painter.h"
#include "capture/picture_convert.h"
#include "display/display_test_util.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace kel {
namespace {

constexpr uint32_t kMarker = 0x123456;

Surface Uyvy(int w, int h, uint8_t y, uint8_t u = 128, uint8_t v = 128) {
    Surface s;
    EXPECT_TRUE(s.Allocate(w, h, PixelFormat::Uyvy));
    std::vector<uint8_t> frame = SolidFrame(w, h, y, u, v);
    for (int row = 0; row < h; ++row)
        std::memcpy(s.Line(row), &frame[static_cast<size_t>(row) * w * 2], static_cast<size_t>(w) * 2);
    return s;
}

Surface Rgb(int w, int h, uint32_t rgb) {
    Surface s;
    EXPECT_TRUE(s.Allocate(w, h, PixelFormat::Rgb32));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = s.At(x, y);
            p[0] = rgb & 0xff, p[1] = (rgb >> 8) & 0xff, p[2] = (rgb >> 16) & 0xff, p[3] = 0xff;
        }
    return s;
}

TEST(Blitter, ConvertsStudioRangeUyvyToFullRangeRgb) {
    Blitter b;
    Surface back = Rgb(774, 400, kMarker);
    ASSERT_TRUE(b.Blit(Uyvy(704, 576, 235), {0, 0, 704, 576}, back, Rect::Sized(0, 0, 192, 157)));
    EXPECT_TRUE(Near(Pixel(back, 96, 80), 0xffffff)) << std::hex << Pixel(back, 96, 80);
    ASSERT_TRUE(b.Blit(Uyvy(704, 576, 16), {0, 0, 704, 576}, back, Rect::Sized(193, 0, 192, 157)));
    EXPECT_TRUE(Near(Pixel(back, 290, 80), 0x000000)) << std::hex << Pixel(back, 290, 80);
    // Y 81, U 90, V 240 is studio red.
    ASSERT_TRUE(b.Blit(Uyvy(176, 144, 81, 90, 240), {0, 0, 176, 144}, back, Rect::Sized(386, 0, 192, 157)));
    EXPECT_TRUE(Near(Pixel(back, 480, 80), 0xff0000, 4)) << std::hex << Pixel(back, 480, 80);
    EXPECT_EQ(back.At(480, 80)[3], 0xff) << "RGB32 words keep their top byte set";
}

// Tiles of 385 pixels and the like are scaled one column wider; the column right of the tile
// must come back as it was, and the tile's own columns are all painted.
TEST(Blitter, AnOddWidthTileLeavesItsNeighbourAlone) {
    Blitter b;
    Surface back = Rgb(774, 400, kMarker);
    const Rect tile = Rect::Sized(0, 0, 385, 315);
    ASSERT_TRUE(b.Blit(Uyvy(704, 576, 235), {0, 0, 704, 576}, back, tile));
    for (int y = 0; y < 315; y += 7) {
        EXPECT_TRUE(Near(Pixel(back, 384, y), 0xffffff, 10)) << y;
        EXPECT_EQ(Pixel(back, 385, y), kMarker) << y;
    }
    EXPECT_EQ(Pixel(back, 0, 315), kMarker) << "nothing below the tile";
}

TEST(Blitter, AnOddWidthAtTheRightEdgeStaysInItsRows) {
    Blitter b;
    Surface back = Rgb(385, 50, kMarker);
    ASSERT_TRUE(b.Blit(Uyvy(704, 576, 235), {0, 0, 704, 576}, back, Rect::Sized(0, 0, 385, 20)));
    EXPECT_TRUE(Near(Pixel(back, 384, 10), 0xffffff, 10)) << std::hex << Pixel(back, 384, 10);
    EXPECT_EQ(Pixel(back, 0, 20), kMarker) << "the next row's first pixel is not the tile's 386th";
}

TEST(Blitter, OddWidthMatchesTheEvenScaleCutToTheTile) {
    // A picture with a gradient, so columns differ.
    Surface src;
    ASSERT_TRUE(src.Allocate(352, 288, PixelFormat::Uyvy));
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 352; x += 2) {
            uint8_t* p = src.At(x, y);
            p[0] = 128, p[1] = static_cast<uint8_t>(16 + x * 200 / 352), p[2] = 128, p[3] = p[1];
        }
    Blitter b;
    Surface odd = Rgb(400, 200, kMarker), even = Rgb(400, 200, kMarker);
    ASSERT_TRUE(b.Blit(src, src.Bounds(), odd, Rect::Sized(0, 0, 193, 157)));
    ASSERT_TRUE(b.Blit(src, src.Bounds(), even, Rect::Sized(0, 0, 194, 157)));
    for (int y = 0; y < 157; y += 13)
        for (int x = 0; x < 193; x += 11)
            ASSERT_EQ(Pixel(odd, x, y), Pixel(even, x, y)) << x << "," << y;
}

// A tile at most half the picture's size is scaled from the picture halved both ways; it must look
// as the picture scaled whole does (the simulated board's picture: bars, digits, the box).
TEST(Blitter, ASmallTileFromTheHalvedPictureLooksAsTheWholeScaled) {
    Surface src;
    ASSERT_TRUE(src.Allocate(704, 576, PixelFormat::Uyvy));
    SimPainter painter;
    SimScene scene;
    scene.sizeMode = 1;
    scene.ms = 1234;
    std::vector<uint8_t> picture(704 * 576 * 2);
    painter.Paint(picture.data(), scene, SimControls{0, 128, 0, 128, 128, 0});
    for (int row = 0; row < 576; ++row)
        std::memcpy(src.Line(row), &picture[static_cast<size_t>(row) * 704 * 2], 704 * 2);
    Blitter b;
    Surface tile = Rgb(184, 150, kMarker);
    ASSERT_TRUE(b.Blit(src, src.Bounds(), tile, tile.Bounds()));

    Surface whole = Rgb(184, 150, kMarker);
    SwsContext* c = sws_getContext(704, 576, AV_PIX_FMT_UYVY422, 184, 150, AV_PIX_FMT_BGRA, Blitter::kFilter,
                                   nullptr, nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    const uint8_t* in[4] = {src.Line(0), nullptr, nullptr, nullptr};
    const int inStride[4] = {static_cast<int>(src.Stride()), 0, 0, 0};
    uint8_t* out[4] = {whole.Line(0), nullptr, nullptr, nullptr};
    const int outStride[4] = {static_cast<int>(whole.Stride()), 0, 0, 0};
    sws_scale(c, in, inStride, 0, 576, out, outStride);
    sws_freeContext(c);
    double difference = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 184; ++x)
            for (int k = 0; k < 3; ++k)
                difference += std::abs(tile.At(x, y)[k] - whole.At(x, y)[k]);
    EXPECT_LT(difference / (184 * 150 * 3), 1.0);  // 0.3 as measured

    // The picture's half made elsewhere (the frame bank's) gives the very same tile, whole or
    // zoomed, and at an odd width; a half that is not this picture's is not used.
    Surface half;
    ASSERT_TRUE(half.Allocate(352, 288, PixelFormat::Uyvy));
    for (int y = 0; y < 288; ++y)
        HalveUyvyLines(src.Line(2 * y), src.Line(2 * y + 1), half.Line(y), 176);
    for (const Rect& from : {src.Bounds(), Rect{88, 44, 704, 576}})
        for (const Rect& to : {Rect{0, 0, 184, 150}, Rect{0, 0, 183, 150}}) {
            Surface own = Rgb(184, 150, kMarker), given = Rgb(184, 150, kMarker);
            ASSERT_TRUE(b.Blit(src, from, own, to));
            ASSERT_TRUE(b.Blit(src, from, given, to, &half));
            for (int y = 0; y < 150; ++y)
                ASSERT_EQ(std::memcmp(own.Line(y), given.Line(y), 184 * 4), 0)
                    << "line " << y << " from " << from.left << " to " << to.Width();
        }
    Surface wrong;
    ASSERT_TRUE(wrong.Allocate(176, 144, PixelFormat::Uyvy));
    Surface given = Rgb(184, 150, kMarker);
    ASSERT_TRUE(b.Blit(src, src.Bounds(), given, given.Bounds(), &wrong));
    for (int y = 0; y < 150; ++y)
        ASSERT_EQ(std::memcmp(tile.Line(y), given.Line(y), 184 * 4), 0) << "line " << y;
}

TEST(Blitter, RefusesRectanglesOutsideTheirSurfaces) {
    Blitter b;
    Surface back = Rgb(100, 100, kMarker), src = Uyvy(176, 144, 235), none;
    EXPECT_FALSE(b.Blit(src, {0, 0, 178, 144}, back, {0, 0, 50, 50}));
    EXPECT_FALSE(b.Blit(src, {0, 0, 176, 144}, back, {60, 60, 110, 100}));
    EXPECT_FALSE(b.Blit(src, {0, 0, 0, 144}, back, {0, 0, 50, 50}));
    EXPECT_FALSE(b.Blit(none, {0, 0, 10, 10}, back, {0, 0, 50, 50}));
    EXPECT_EQ(Pixel(back, 10, 10), kMarker);
}

}  // namespace
}  // namespace kel

// The digital zoom's rectangles: the first target, the clamping into the picture, the glide over
// ten passes with its rounding, panning, and a zoom that comes before any layout was drawn.

#include "display/digital_zoom.h"

#include <gtest/gtest.h>

#include "display/rounding.h"

namespace kel {
namespace {

const Rect kOneCameraTile = Rect::Sized(0, 0, 770, 630);  // slot 1 at 1024 x 768
const PictureSize kFull{704, 576};

TEST(DigitalZoom, StartTargetsHalfThePictureAroundThePoint) {
    DigitalZoom z;
    z.Start(kFull, kOneCameraTile, 0, 0);
    EXPECT_TRUE(z.Active());
    EXPECT_EQ(z.Target(), (Rect{0, 0, 352, 288}));  // pushed inside from the top-left corner
    EXPECT_EQ(z.Current(), (Rect{0, 0, 704, 576}));
    EXPECT_EQ(z.StepsLeft(), 10);

    z.Start(kFull, kOneCameraTile, 385, 315);
    EXPECT_EQ(z.Target(), (Rect{176, 144, 528, 432}));

    z.Start(kFull, kOneCameraTile, 770, 630);  // bottom-right corner
    EXPECT_EQ(z.Target(), (Rect{352, 288, 704, 576}));

    z.Start({176, 144}, kOneCameraTile, 385, 315);  // a smaller picture keeps its own size
    EXPECT_EQ(z.Target(), (Rect{44, 36, 132, 108}));
}

TEST(DigitalZoom, GlidesTenStepsAndEndsWhereTheRoundedStepsLead) {
    DigitalZoom z;
    z.Start(kFull, kOneCameraTile, 385, 315);
    // Steps of 17.6, 14.4, -17.6, -14.4 round to 18, 14, -18, -14.
    EXPECT_EQ(z.Delta(), (Rect{18, 14, -18, -14}));
    EXPECT_EQ(z.Take(), (Rect{0, 0, 704, 576}));  // the first pass shows the start
    for (int pass = 2; pass <= 10; ++pass)
        z.Take();
    const Rect end{180, 140, 524, 436};  // start + 10 steps, not quite the target
    EXPECT_EQ(z.Take(), end);
    EXPECT_EQ(z.StepsLeft(), 0);
    EXPECT_EQ(z.Take(), end);
    EXPECT_NE(end, z.Target());
}

TEST(DigitalZoom, PanCentresTheClickedPointAndStaysInside) {
    DigitalZoom z;
    z.Start(kFull, kOneCameraTile, 385, 315);
    for (int pass = 0; pass < 11; ++pass)
        z.Take();
    // The view is (180, 140)-(524, 436), 344 x 296: a click at the tile's bottom-right corner
    // asks for a centre 172 right and 148 down; the picture's bottom edge stops it 8 short.
    z.Pan(kFull, kOneCameraTile, 770, 630);
    EXPECT_EQ(z.StepsLeft(), 10);
    EXPECT_EQ(z.Target(), (Rect{352, 280, 696, 576}));
    z.Pan(kFull, kOneCameraTile, 385, 315);  // the centre: the target is the view itself
    EXPECT_EQ(z.Target(), z.Current());
}

TEST(DigitalZoom, NothingHappensBeforeALayoutWasDrawn) {
    DigitalZoom z;
    z.Start(kFull, Rect{}, 100, 100);
    EXPECT_FALSE(z.Active());
    z.Pan(kFull, Rect{}, 100, 100);
    EXPECT_FALSE(z.Active());
}

TEST(DigitalZoom, RoundingTiesGoToEven) {
    EXPECT_EQ(RoundEven(0.5L), 0);
    EXPECT_EQ(RoundEven(1.5L), 2);
    EXPECT_EQ(RoundEven(2.5L), 2);
    EXPECT_EQ(RoundEven(-0.5L), 0);
    EXPECT_EQ(RoundEven(-1.5L), -2);
    EXPECT_EQ(NineElevenths(256), 209);
    EXPECT_EQ(NineElevenths(771), 631);
}

}  // namespace
}  // namespace kel

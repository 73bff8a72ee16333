// The station's own conversions between UYVY and YUV 4:2:0: against libswscale's, which they
// replaced (the same Y, U and V within one step of the rounding), and there and back unchanged, for
// every size the board gives and for widths that end between two vector steps.

#include "capture/picture_convert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace kel {
namespace {

TEST(PictureConvertTest, MatchesTheLibraryConversionOnRandomPictures) {
    std::mt19937 random(7);
    for (auto [width, height] : {std::pair{704, 576}, {704, 288}, {352, 288}, {176, 144}, {18, 4}, {2, 2}}) {
        std::vector<uint8_t> uyvy(static_cast<size_t>(width) * height * 2);
        for (uint8_t& b : uyvy)
            b = static_cast<uint8_t>(random());
        const int cw = width / 2, ch = height / 2;
        std::vector<uint8_t> y(width * height), u(cw * ch), v(cw * ch);
        UyvyToI420(uyvy.data(), width * 2, width, height, y.data(), width, u.data(), v.data(), cw);

        std::vector<uint8_t> ly(width * height), lu(cw * ch), lv(cw * ch);
        SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_UYVY422, width, height, AV_PIX_FMT_YUV420P,
                                         SWS_POINT, nullptr, nullptr, nullptr);
        ASSERT_NE(sws, nullptr);
        const uint8_t* src[1] = {uyvy.data()};
        const int srcStride[1] = {width * 2};
        uint8_t* dst[3] = {ly.data(), lu.data(), lv.data()};
        const int dstStride[3] = {width, cw, cw};
        sws_scale(sws, src, srcStride, 0, height, dst, dstStride);
        sws_freeContext(sws);

        EXPECT_EQ(y, ly) << width << "x" << height;
        for (size_t i = 0; i < u.size(); ++i) {
            ASSERT_LE(std::abs(u[i] - lu[i]), 1) << width << "x" << height << " U " << i;
            ASSERT_LE(std::abs(v[i] - lv[i]), 1) << width << "x" << height << " V " << i;
        }

        // Back to UYVY: each line with its pair's U and V; and once more to 4:2:0, unchanged.
        std::vector<uint8_t> packed(uyvy.size());
        I420ToUyvy(y.data(), width, u.data(), v.data(), cw, width, height, packed.data(), width * 2);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; x += 2) {
                const uint8_t* q = &packed[(static_cast<size_t>(row) * width + x) * 2];
                const size_t c = static_cast<size_t>(row / 2) * cw + x / 2;
                ASSERT_TRUE(q[0] == u[c] && q[1] == y[row * width + x] && q[2] == v[c] &&
                            q[3] == y[row * width + x + 1])
                    << width << "x" << height << " at " << row << "," << x;
            }
        std::vector<uint8_t> y2(y.size()), u2(u.size()), v2(v.size());
        UyvyToI420(packed.data(), width * 2, width, height, y2.data(), width, u2.data(), v2.data(), cw);
        EXPECT_TRUE(y2 == y && u2 == u && v2 == v) << width << "x" << height;
    }
}

}  // namespace
}  // namespace kel

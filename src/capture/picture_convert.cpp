#include "capture/picture_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kel {

namespace {

// One pair of lines: both lines' Y, and U and V from the two lines together.
void LinePair(const uint8_t* s0, const uint8_t* s1, int width, uint8_t* y0, uint8_t* y1, uint8_t* u,
              uint8_t* v) {
    int x = 0;  // in pixel pairs
    const int pairs = width / 2;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x00FF);
    // 16 pixels (32 bytes, 8 U and 8 V) a step.
    for (; x + 8 <= pairs; x += 8) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + 4 * x));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + 4 * x + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s1 + 4 * x));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s1 + 4 * x + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y0 + 2 * x),
                         _mm_packus_epi16(_mm_srli_epi16(a0, 8), _mm_srli_epi16(a1, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y1 + 2 * x),
                         _mm_packus_epi16(_mm_srli_epi16(b0, 8), _mm_srli_epi16(b1, 8)));
        // U V U V … of each line, then their means.
        const __m128i ca = _mm_packus_epi16(_mm_and_si128(a0, low), _mm_and_si128(a1, low));
        const __m128i cb = _mm_packus_epi16(_mm_and_si128(b0, low), _mm_and_si128(b1, low));
        const __m128i c = _mm_avg_epu8(ca, cb);
        const __m128i uv = _mm_packus_epi16(_mm_and_si128(c, low), _mm_srli_epi16(c, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x), uv);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x), _mm_srli_si128(uv, 8));
    }
#endif
    for (; x < pairs; ++x) {
        const uint8_t* p = s0 + 4 * x;
        const uint8_t* q = s1 + 4 * x;
        y0[2 * x] = p[1];
        y0[2 * x + 1] = p[3];
        y1[2 * x] = q[1];
        y1[2 * x + 1] = q[3];
        u[x] = static_cast<uint8_t>((p[0] + q[0] + 1) >> 1);
        v[x] = static_cast<uint8_t>((p[2] + q[2] + 1) >> 1);
    }
}

// One line: Y of its own, U and V of its pair of lines.
void PackLine(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* out) {
    int x = 0;  // in pixel pairs
    const int pairs = width / 2;
#if defined(__SSE2__)
    for (; x + 8 <= pairs; x += 8) {
        const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 2 * x));
        const __m128i uv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_unpacklo_epi8(uv, luma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x + 16), _mm_unpackhi_epi8(uv, luma));
    }
#endif
    for (; x < pairs; ++x) {
        out[4 * x] = u[x];
        out[4 * x + 1] = y[2 * x];
        out[4 * x + 2] = v[x];
        out[4 * x + 3] = y[2 * x + 1];
    }
}

}  // namespace

void I420ToUyvy(const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v, int uvStride, int width,
                int height, uint8_t* uyvy, int dstStride) {
    for (int row = 0; row < height; ++row)
        PackLine(y + static_cast<long>(row) * yStride, u + static_cast<long>(row / 2) * uvStride,
                 v + static_cast<long>(row / 2) * uvStride, width, uyvy + static_cast<long>(row) * dstStride);
}

void UyvyToI420(const uint8_t* uyvy, int srcStride, int width, int height, uint8_t* y, int yStride,
                uint8_t* u, uint8_t* v, int uvStride) {
    for (int row = 0; row + 1 < height; row += 2) {
        const uint8_t* s0 = uyvy + static_cast<long>(row) * srcStride;
        LinePair(s0, s0 + srcStride, width, y + static_cast<long>(row) * yStride,
                 y + static_cast<long>(row + 1) * yStride, u + static_cast<long>(row / 2) * uvStride,
                 v + static_cast<long>(row / 2) * uvStride);
    }
}

}  // namespace kel

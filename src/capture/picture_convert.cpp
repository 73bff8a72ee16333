#include "capture/picture_convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
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

// One output line from two source lines of `pairs` x 2 pixel pairs: U, V and each Y the mean of
// the four it stands for (the mean of the two lines' means, each rounded up).
void HalveLinePlain(const uint8_t* a, const uint8_t* b, uint8_t* out, int pairs) {
    for (int x = 0; x < pairs; ++x, a += 8, b += 8, out += 4) {
        auto mean = [](int p, int q) { return (p + q + 1) >> 1; };
        out[0] = static_cast<uint8_t>(mean(mean(a[0], b[0]), mean(a[4], b[4])));
        out[1] = static_cast<uint8_t>(mean(mean(a[1], b[1]), mean(a[3], b[3])));
        out[2] = static_cast<uint8_t>(mean(mean(a[2], b[2]), mean(a[6], b[6])));
        out[3] = static_cast<uint8_t>(mean(mean(a[5], b[5]), mean(a[7], b[7])));
    }
}

#if defined(__x86_64__)
// The same, 4 output pairs a step, where the processor shuffles bytes (SSSE3).
__attribute__((target("ssse3"))) void HalveLineSsse3(const uint8_t* a, const uint8_t* b, uint8_t* out,
                                                     int pairs) {
    // Of a line's mean, U0 Y0 V0 Y1 U1 Y2 V1 Y3 …: the first and the second of each output byte.
    const __m128i first = _mm_setr_epi8(0, 1, 2, 5, 8, 9, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i second = _mm_setr_epi8(4, 3, 6, 7, 12, 11, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= pairs; x += 4, a += 32, b += 32, out += 16) {
        const __m128i m0 = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
        const __m128i m1 = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16)));
        const __m128i p = _mm_unpacklo_epi64(_mm_shuffle_epi8(m0, first), _mm_shuffle_epi8(m1, first));
        const __m128i q = _mm_unpacklo_epi64(_mm_shuffle_epi8(m0, second), _mm_shuffle_epi8(m1, second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_avg_epu8(p, q));
    }
    HalveLinePlain(a, b, out, pairs - x);
}
#endif

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

void HalveUyvyLines(const uint8_t* a, const uint8_t* b, uint8_t* out, int pairs) {
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        HalveLineSsse3(a, b, out, pairs);
        return;
    }
#endif
    HalveLinePlain(a, b, out, pairs);
}

}  // namespace kel

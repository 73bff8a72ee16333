#pragma once
// Between the board's UYVY pictures and planar YUV 4:2:0 (what the compressor takes, and what
// network cameras' decoders give). UYVY to 4:2:0: each Y as it is, each U and V the mean of the two
// lines it stands for (rounded up). 4:2:0 to UYVY: each line takes the U and V of its pair, so a
// picture converted there and back is the same. Both run at the speed of memory, a fraction of what
// the general-purpose converter of libswscale spends on the same picture.

#include <cstdint>

namespace kel {

// `width` and `height` even; the planes hold at least `height` (Y) and `height / 2` (U, V) lines
// of their strides.
void UyvyToI420(const uint8_t* uyvy, int srcStride, int width, int height, uint8_t* y, int yStride,
                uint8_t* u, uint8_t* v, int uvStride);
void I420ToUyvy(const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v, int uvStride, int width,
                int height, uint8_t* uyvy, int dstStride);

// One line of a UYVY picture halved both ways from two of its lines: `pairs` output pixel pairs
// (from 2 x `pairs` input pairs), U, V and each Y the mean of the four it stands for (the mean of
// the two lines' means, each rounded up). A small tile is scaled from the halved picture.
void HalveUyvyLines(const uint8_t* a, const uint8_t* b, uint8_t* out, int pairs);

}  // namespace kel

#pragma once
// The board's UYVY pictures to the planar YUV 4:2:0 the compressor takes: each Y as it is, each U
// and V the mean of the two lines it stands for (rounded up). It runs at the speed of memory, a
// fraction of what the general-purpose converter of libswscale spends on the same picture.

#include <cstdint>

namespace kel {

// `width` and `height` even; the planes hold at least `height` (Y) and `height / 2` (U, V) lines
// of their strides.
void UyvyToI420(const uint8_t* uyvy, int srcStride, int width, int height, uint8_t* y, int yStride,
                uint8_t* u, uint8_t* v, int uvStride);

}  // namespace kel

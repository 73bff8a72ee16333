#pragma once
// The picture sizes behind a camera's resolution code, shared by capture, recording and display.
// Pictures are UYVY: 2 bytes a pixel, lines of 2 x width bytes, top line first.

#include <cstddef>
#include <cstdint>

namespace kel {

struct PictureSize {
    int width;
    int height;
};

// Code 0 = 704 x 576, 1 = 704 x 288, 2 = 352 x 288, 3 = 176 x 144.
constexpr bool ValidResolution(int32_t code) {
    return code >= 0 && code <= 3;
}

// The size of a valid code; anything else reads as code 2, the size an unused channel runs at.
constexpr PictureSize ResolutionSize(int32_t code) {
    switch (code) {
    case 0:
        return {704, 576};
    case 1:
        return {704, 288};
    case 3:
        return {176, 144};
    default:
        return {352, 288};
    }
}

constexpr size_t ResolutionBytes(int32_t code) {
    PictureSize s = ResolutionSize(code);
    return static_cast<size_t>(s.width) * s.height * 2;
}

// The board's size mode for a code (1..4); the board has no other sizes.
constexpr int32_t ResolutionSizeMode(int32_t code) {
    return ValidResolution(code) ? code + 1 : 3;
}

constexpr size_t kMaxFrameBytes = 811008;

static_assert(ResolutionBytes(0) == kMaxFrameBytes);
static_assert(ResolutionBytes(1) == 405504);
static_assert(ResolutionBytes(2) == 202752);
static_assert(ResolutionBytes(3) == 50688);

}  // namespace kel

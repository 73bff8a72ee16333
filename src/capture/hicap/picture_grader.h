#pragma once
// The six picture controls applied to a UYVY picture, as a board's video decoder applies them:
// brightness and contrast on Y, the two saturations on U and V, the hue turns the colours,
// sharpness boosts the edges along each line. Used where the pictures do not come from a decoder
// that has the controls itself (the simulated board, network cameras).
//
// A grader keeps tables built for the last controls it was prepared for; one thread uses it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/hicap/board_backend.h"

namespace kel {

struct PictureControls {
    int32_t brightness = 0;   // -128..128
    int32_t contrast = 0;     // 0..255, 128 = unchanged
    int32_t sharpness = 0;    // 0..255
    int32_t saturationU = 0;  // 0..255, 128 = unchanged
    int32_t saturationV = 0;  // 0..255, 128 = unchanged
    int32_t hue = 0;          // -128..127, a half turn each way
    bool operator==(const PictureControls&) const = default;
};

// The field of `controls` that a board's control sets, and a value clamped to that control's
// range (brightness -128..128, hue -128..127, the others 0..255).
int32_t& ControlField(PictureControls& controls, PictureControl control);
int32_t ClampControl(PictureControl control, int32_t value);

class PictureGrader {
public:
    struct Yuv {
        uint8_t y, u, v;
    };

    PictureGrader();
    // Builds the tables for `controls` unless they are built already.
    void Prepare(const PictureControls& controls);
    // Whether the prepared controls leave colours as they are (sharpness aside).
    bool Identity() const { return identity_; }
    // `bytes` of UYVY from `in` to `out` (which may be `in`) through the prepared tables.
    void Grade(uint8_t* out, const uint8_t* in, size_t bytes) const;
    Yuv Map(Yuv c) const;
    // Unsharp along each line of a width x height UYVY picture.
    void Sharpen(uint8_t* picture, int width, int height, int32_t amount) const;
    // Prepare, Grade in place and Sharpen.
    void Apply(uint8_t* picture, int width, int height, const PictureControls& controls);

private:
    PictureControls prepared_;
    bool ready_ = false;
    bool identity_ = false;
    std::array<uint8_t, 256> luma_{};
    std::vector<uint16_t> chroma_;  // (U << 8 | V) -> (U' << 8 | V')
};

}  // namespace kel

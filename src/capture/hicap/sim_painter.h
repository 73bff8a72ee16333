#pragma once
// Paints the simulated board's pictures: colour bars over a grey ramp, the camera number in large
// digits, and on a live channel a running clock (HH:MM:SS) and a bouncing chequered box, so that a
// person sees the picture move and motion detection has something to find. The six picture
// controls act as a board's would: brightness and contrast on Y, the two saturations on U and V,
// the hue turns the colours, sharpness boosts the edges.
//
// A painter keeps tables built for the last controls it saw; one painter serves one channel and is
// used by one thread at a time.

#include <array>
#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace kel {

struct SimControls {
    int32_t brightness = 0;   // -128..128
    int32_t contrast = 0;     // 0..255, 128 = unchanged
    int32_t sharpness = 0;    // 0..255
    int32_t saturationU = 0;  // 0..255, 128 = unchanged
    int32_t saturationV = 0;  // 0..255, 128 = unchanged
    int32_t hue = 0;          // -128..127, a half turn each way
    bool operator==(const SimControls&) const = default;
};

struct SimScene {
    int camera = 1;        // the number shown
    int32_t sizeMode = 3;  // 1..4
    bool live = true;      // the box moves and the clock runs; otherwise the picture stands still
    LocalTime clock;       // the time shown
    int64_t ms = 0;        // the picture's moment, in milliseconds of the board's own time
};

class SimPainter {
public:
    SimPainter();
    // Paints the scene into `out`, which holds at least the size mode's picture.
    void Paint(uint8_t* out, const SimScene& scene, const SimControls& controls);

private:
    struct Yuv {
        uint8_t y, u, v;
    };
    void Prepare(const SimControls& controls);
    void Grade(uint8_t* out, const uint8_t* in, size_t bytes) const;
    Yuv Map(Yuv c) const;
    void Sharpen(uint8_t* out, int width, int height, int32_t amount) const;

    SimControls prepared_;
    bool ready_ = false;
    bool identity_ = false;
    std::array<uint8_t, 256> luma_{};
    std::vector<uint16_t> chroma_;  // (U << 8 | V) -> (U' << 8 | V')
};

}  // namespace kel

#pragma once
// Paints the simulated board's pictures: colour bars over a grey ramp, the camera number in large
// digits, and on a live channel a running clock (HH:MM:SS) and a bouncing chequered box, so that a
// person sees the picture move and motion detection has something to find. The six picture
// controls act as a board's would: brightness and contrast on Y, the two saturations on U and V,
// the hue turns the colours, sharpness boosts the edges.
//
// A painter keeps tables built for the last controls it saw; one painter serves one channel and is
// used by one thread at a time. It also remembers the last picture it painted into a buffer: the
// next picture of the same camera, size and controls into the same buffer only repaints what moves
// (the box and the clock, over the background where they were), and a still picture is not
// painted again at all. The pictures are the same byte for byte as ones painted whole.

#include <array>
#include <cstdint>
#include <vector>

#include "capture/hicap/picture_grader.h"
#include "platform/clock.h"

namespace kel {

using SimControls = PictureControls;

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
    // Paints the scene into `out`, which holds at least the size mode's picture. Whoever else writes
    // into `out` between two paints calls Forget first.
    void Paint(uint8_t* out, const SimScene& scene, const SimControls& controls);
    void Forget() { last_.out = nullptr; }

private:
    using Yuv = PictureGrader::Yuv;
    struct Area {
        int x, y, w, h;
    };
    // What the buffer holds from the last paint.
    struct Last {
        const uint8_t* out = nullptr;
        int camera = 0;
        int32_t sizeMode = 0;
        bool live = false;
        SimControls controls;
        std::vector<Area> moving;  // where the box and the clock were painted
    };

    PictureGrader grader_;
    Last last_;
};

}  // namespace kel

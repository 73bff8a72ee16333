#include "capture/hicap/sim_painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "capture/resolution.h"

namespace kel {

namespace {

struct Canvas {
    uint8_t* bytes;
    int width;
    int height;
};

struct Rect {
    int x, y, w, h;
};

uint8_t Clamp(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Pixels are set in pairs (one U and V for two Ys), so a rectangle widens to even edges.
void Fill(Canvas c, Rect r, uint8_t y, uint8_t u, uint8_t v) {
    int x0 = std::max(0, r.x) & ~1, x1 = std::min(c.width, (r.x + r.w + 1) & ~1);
    int y0 = std::max(0, r.y), y1 = std::min(c.height, r.y + r.h);
    for (int row = y0; row < y1; ++row) {
        uint8_t* p = c.bytes + (static_cast<size_t>(row) * c.width + x0) * 2;
        for (int x = x0; x < x1; x += 2, p += 4) {
            p[0] = u;
            p[1] = y;
            p[2] = v;
            p[3] = y;
        }
    }
}

// Seven segments a..g, bit 0 = a (top), clockwise, g (middle) last.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct Glyphs {
    int w, h;    // one digit
    int tx, ty;  // stroke width of the upright and the level segments
    int gap;     // between characters
};

template <typename F>
void Digit(Rect cell, const Glyphs& g, int digit, F&& fill) {
    uint8_t s = kSegments[digit];
    int x = cell.x, y = cell.y, mid = cell.y + (g.h - g.ty) / 2, half = (g.h + 1) / 2;
    const Rect parts[7] = {
        {x, y, g.w, g.ty},                          // a
        {x + g.w - g.tx, y, g.tx, half},            // b
        {x + g.w - g.tx, y + g.h / 2, g.tx, half},  // c
        {x, y + g.h - g.ty, g.w, g.ty},             // d
        {x, y + g.h / 2, g.tx, half},               // e
        {x, y, g.tx, half},                         // f
        {x, mid, g.w, g.ty},                        // g
    };
    for (int i = 0; i < 7; ++i)
        if (s & (1 << i))
            fill(parts[i]);
}

// Draws digits and colons from (x, y); returns the width used.
template <typename F>
int Text(int x, int y, const Glyphs& g, const std::string& text, F&& fill) {
    int start = x;
    for (char ch : text) {
        if (ch == ':') {
            fill(Rect{x, y + g.h / 4, g.tx, g.ty});
            fill(Rect{x, y + 3 * g.h / 4 - g.ty, g.tx, g.ty});
            x += g.tx + g.gap;
        } else {
            Digit(Rect{x, y, g.w, g.h}, g, ch - '0', fill);
            x += g.w + g.gap;
        }
    }
    return x - start - g.gap;
}

int TextWidth(const Glyphs& g, const std::string& text) {
    return Text(0, 0, g, text, [](Rect) {});
}

// 75 % colour bars (white, yellow, cyan, green, magenta, red, blue, black) over the upper two
// thirds, a grey ramp below.
std::vector<uint8_t> MakeBackground(int32_t sizeMode) {
    static constexpr uint8_t kBars[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                                            {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};
    PictureSize size = ResolutionSize(sizeMode - 1);
    std::vector<uint8_t> bytes(ResolutionBytes(sizeMode - 1));
    Canvas c{bytes.data(), size.width, size.height};
    int barsHeight = size.height * 2 / 3;
    for (int i = 0; i < 8; ++i) {
        int x0 = size.width * i / 8, x1 = size.width * (i + 1) / 8;
        Fill(c, {x0, 0, x1 - x0, barsHeight}, kBars[i][0], kBars[i][1], kBars[i][2]);
    }
    for (int x = 0; x < size.width; x += 2)
        Fill(c, {x, barsHeight, 2, size.height - barsHeight}, Clamp(16 + 219 * x / size.width), 128, 128);
    return bytes;
}

const std::vector<uint8_t>& Background(int32_t sizeMode) {
    static const std::array<std::vector<uint8_t>, 4> kBackgrounds{MakeBackground(1), MakeBackground(2),
                                                                  MakeBackground(3), MakeBackground(4)};
    return kBackgrounds[sizeMode - 1];
}

// A triangle wave: 0 -> range -> 0 over twice `period` milliseconds.
int Bounce(int64_t ms, int64_t period, int range) {
    int64_t phase = ms % (2 * period);
    int64_t along = phase < period ? phase : 2 * period - phase;
    return static_cast<int>(along * range / period);
}

std::string Two(int value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) + static_cast<char>('0' + value % 10);
}

}  // namespace

SimPainter::SimPainter() = default;

void SimPainter::Paint(uint8_t* out, const SimScene& scene, const SimControls& controls) {
    grader_.Prepare(controls);
    PictureSize size = ResolutionSize(scene.sizeMode - 1);
    const std::vector<uint8_t>& background = Background(ResolutionSizeMode(scene.sizeMode - 1));
    const int W = size.width, H = size.height;
    // Sharpening reaches across the edges of what moved: such a picture is painted whole.
    const bool same = last_.out == out && last_.camera == scene.camera && last_.sizeMode == scene.sizeMode &&
                      last_.live == scene.live && last_.controls == controls && controls.sharpness <= 0;
    if (same && !scene.live)
        return;  // a still picture, already there
    if (same) {
        // The background again where the box and the clock were (a pixel pair more each way).
        for (const Area& a : last_.moving) {
            const int x0 = std::max(0, a.x - 2) & ~1, x1 = std::min(W, (a.x + a.w + 3) & ~1);
            const int y0 = std::max(0, a.y - 1), y1 = std::min(H, a.y + a.h + 1);
            if (x0 >= x1)
                continue;
            for (int row = y0; row < y1; ++row) {
                const size_t at = (static_cast<size_t>(row) * W + x0) * 2;
                grader_.Grade(out + at, background.data() + at, static_cast<size_t>(x1 - x0) * 2);
            }
        }
    } else {
        grader_.Grade(out, background.data(), background.size());
    }
    last_.out = out;
    last_.camera = scene.camera;
    last_.sizeMode = scene.sizeMode;
    last_.live = scene.live;
    last_.controls = controls;
    last_.moving.clear();

    Canvas c{out, W, H};
    auto paint = [&](Yuv colour) {
        Yuv m = grader_.Map(colour);
        return [=](Rect r) { Fill(c, r, m.y, m.u, m.v); };
    };
    const Yuv white{235, 128, 128}, black{16, 128, 128}, amber{200, 40, 170};

    if (scene.live) {
        // The box: 4 x 4 cells in two colours, so that any step of it changes many bytes.
        int bw = W / 5, bh = H / 5;
        int bx = Bounce(scene.ms + scene.camera * 700, 2000, W - bw);
        int by = Bounce(scene.ms + scene.camera * 300, 1500, H - bh);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                paint((i + j) % 2 ? black
                                  : amber)(Rect{bx + bw * j / 4, by + bh * i / 4, bw / 4 + 1, bh / 4 + 1});
        last_.moving.push_back({bx, by, bw + 2, bh + 2});
    }

    Glyphs big{W / 10, H / 4, std::max(2, W / 35), std::max(2, H / 24), W / 40};
    std::string number = std::to_string(scene.camera);
    int margin = W / 40;
    paint(black)(Rect{margin, H / 24, TextWidth(big, number) + 2 * margin, big.h + H / 12});
    Text(2 * margin, H / 24 + H / 24, big, number, paint(white));

    if (scene.live) {
        Glyphs small{std::max(4, W / 28), std::max(7, H / 10), std::max(1, W / 176), std::max(1, H / 144),
                     std::max(2, W / 88)};
        std::string clock =
            Two(scene.clock.hour) + ":" + Two(scene.clock.minute) + ":" + Two(scene.clock.second);
        int tw = TextWidth(small, clock), band = small.h + H / 24;
        const Rect area{W - tw - 3 * margin, H - band - H / 48, tw + 2 * margin, band};
        paint(black)(area);
        Text(W - tw - 2 * margin, H - band - H / 48 + (band - small.h) / 2, small, clock, paint(white));
        last_.moving.push_back({area.x, area.y, area.w, area.h});
    }
    if (controls.sharpness > 0)
        grader_.Sharpen(out, W, H, controls.sharpness);
}

}  // namespace kel

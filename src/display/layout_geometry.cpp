#include "display/layout_geometry.h"

#include "display/rounding.h"

namespace kel {

namespace {

// Cells of a 4 x 4 grid of w x h cells one pixel apart; `large` spans `span` cells each way.
struct Cell {
    int col, row, span;
};

// The order of the thirteen-camera list over a 4 x 4 grid; the large tile is the 2 x 2 centre.
constexpr Cell kThirteen[13] = {{0, 0, 1}, {1, 0, 1}, {2, 0, 1}, {3, 0, 1}, {0, 1, 1}, {1, 1, 2}, {3, 1, 1},
                                {0, 2, 1}, {3, 2, 1}, {0, 3, 1}, {1, 3, 1}, {2, 3, 1}, {3, 3, 1}};

std::vector<Rect> Place(const Cell* cells, int count, int w, int h, int largeW, int largeH) {
    std::vector<Rect> out;
    for (int i = 0; i < count; ++i) {
        const Cell& c = cells[i];
        bool large = c.span > 1;
        out.push_back(Rect::Sized(c.col * (w + 1), c.row * (h + 1), large ? largeW : w, large ? largeH : h));
    }
    return out;
}

// The eight-camera list: the large 3 x 3 block, the bottom row, the right column.
constexpr Cell kEight[8] = {{0, 0, 3}, {0, 3, 1}, {1, 3, 1}, {2, 3, 1},
                            {3, 3, 1}, {3, 0, 1}, {3, 1, 1}, {3, 2, 1}};

}  // namespace

std::vector<Rect> GridTiles(int appWidth, int n) {
    std::vector<Rect> out;
    if (n < 1)
        return out;
    int tw = (appWidth - 254) / n, th = NineElevenths(tw);
    for (int k = 0; k < n * n; ++k)
        out.push_back(Rect::Sized(k % n * (tw + 1), k / n * (th + 1), tw, th));
    return out;
}

std::vector<Rect> GridHits(int targetWidth, int targetHeight, int n) {
    std::vector<Rect> out;
    if (n < 1)
        return out;
    int sw = (targetWidth - 1) / n, sh = (targetHeight - 1) / n;
    for (int k = 0; k < n * n; ++k)
        out.push_back(Rect::Sized(k % n * (sw + 1), k / n * (sh + 1), sw, sh));
    return out;
}

// The large tile's own height is rounded from its own width, not taken from three small rows, so
// the rows below start at GH + 1; the right column keeps the small tiles' rhythm.
std::vector<Rect> EightTiles(int appWidth) {
    int g = (appWidth - 256) / 4, h = NineElevenths(g);
    int large = 3 * g + 2, largeH = NineElevenths(large);
    std::vector<Rect> out{Rect::Sized(0, 0, large, largeH)};
    for (int k = 0; k < 4; ++k)
        out.push_back(Rect::Sized(k * (g + 1), largeH + 1, g, h));
    for (int k = 0; k < 3; ++k)
        out.push_back(Rect::Sized(large + 1, k * (h + 1), g, h));
    return out;
}

std::vector<Rect> EightHits(int targetWidth, int targetHeight) {
    int sw = (targetWidth - 1) / 4, sh = (targetHeight - 1) / 4;
    return Place(kEight, 8, sw, sh, 3 * sw + 2, 3 * sh + 2);
}

std::vector<Rect> ThirteenTiles(int appWidth) {
    int g = (appWidth - 256) / 4, h = NineElevenths(g);
    return Place(kThirteen, 13, g, h, 2 * g + 1, NineElevenths(2 * g + 1));
}

std::vector<Rect> ThirteenHits(int targetWidth, int targetHeight) {
    int sw = (targetWidth - 1) / 4, sh = (targetHeight - 1) / 4;
    return Place(kThirteen, 13, sw, sh, 2 * sw + 1, 2 * sh + 1);
}

Rect UsedArea(int backWidth) {
    return Rect::Sized(0, 0, backWidth - 3, NineElevenths(backWidth - 3));
}

}  // namespace kel

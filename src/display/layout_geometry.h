#pragma once
// Where the tiles of each screen layout lie. Pictures are drawn in back-surface coordinates from
// the application width W; in full screen the back surface is stretched over the screen, so the
// hit rectangles there are computed from the size of that presentation instead. Rectangles come
// in the order of the layout's camera list (slot 1 first).

#include <vector>

#include "display/rect.h"

namespace kel {

// n x n equal tiles (n = 1..4) with one pixel between them.
std::vector<Rect> GridTiles(int appWidth, int n);
std::vector<Rect> GridHits(int targetWidth, int targetHeight, int n);
// A 4 x 4 grid whose top-left 3 x 3 block is one large tile: the large tile, the bottom row left
// to right, the right column top to bottom.
std::vector<Rect> EightTiles(int appWidth);
std::vector<Rect> EightHits(int targetWidth, int targetHeight);
// A 4 x 4 grid whose centre 2 x 2 block is one large tile: the top row, the left, large and right
// tiles of the second row, the left and right of the third, the bottom row.
std::vector<Rect> ThirteenTiles(int appWidth);
std::vector<Rect> ThirteenHits(int targetWidth, int targetHeight);
// The part of the back surface the layouts fill, which scaled presentation shows.
Rect UsedArea(int backWidth);

}  // namespace kel

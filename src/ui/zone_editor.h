#pragma once
// The motion zone editor's arithmetic: a point of the 352 x 288 preview to its cell of the
// 176 x 144 zone grid, and a dragged rectangle of cells marked as watched.

#include <cstdint>

namespace kel {

constexpr int kPreviewWidth = 352;
constexpr int kPreviewHeight = 288;

// The cell column of preview x and row of preview y: rounded to the nearest cell, halves to the
// even one, and held inside the grid (a drag may end outside the preview).
int ZoneColumn(int x);
int ZoneRow(int y);
// Every cell of the rectangle between two preview points set to 1 (watched); dragging only adds.
void MarkZoneRect(uint8_t* cells, int x0, int y0, int x1, int y1);

}  // namespace kel

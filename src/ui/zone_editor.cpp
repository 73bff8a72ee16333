#include "ui/zone_editor.h"

#include <algorithm>
#include <cmath>

#include "config/records.h"

namespace kel {

namespace {
int Cell(int point, int cells, int pixels) {
    const long nearest = std::lrint(static_cast<double>(point) * cells / pixels);  // halves to even
    return static_cast<int>(std::clamp<long>(nearest, 0, cells - 1));
}
}  // namespace

int ZoneColumn(int x) {
    return Cell(x, kZoneCols, kPreviewWidth);
}

int ZoneRow(int y) {
    return Cell(y, kZoneRows, kPreviewHeight);
}

void MarkZoneRect(uint8_t* cells, int x0, int y0, int x1, int y1) {
    const int c0 = ZoneColumn(x0), c1 = ZoneColumn(x1), r0 = ZoneRow(y0), r1 = ZoneRow(y1);
    const int left = std::min(c0, c1), right = std::max(c0, c1);
    const int top = std::min(r0, r1), bottom = std::max(r0, r1);
    for (int r = top; r <= bottom; ++r)
        std::fill(cells + r * kZoneCols + left, cells + r * kZoneCols + right + 1, uint8_t{1});
}

}  // namespace kel

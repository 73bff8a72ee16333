#pragma once
// A camera's privacy mask: the cells of the 176 x 144 zone grid that must never be seen. Every
// picture is painted black there (luma 16, chroma 128) in the capture thread, before the frame
// bank publishes it, so the display, the recorder, remote viewers, snapshots and the motion test
// only ever get the masked picture, and a masked cell never differs from its reference.
//
// A cell covers 2 x width / 176 bytes of height / 144 lines of a UYVY picture, as for the motion
// zones. The mask keeps, per row of cells, its runs of masked cells, so painting touches only
// the masked bytes.

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "config/records.h"

namespace kel {

class PrivacyMask {
public:
    // The mask of `cells` (25,344 bytes, a cell masked when its byte is 1); null when none is.
    static std::shared_ptr<const PrivacyMask> Make(const uint8_t* cells);

    // Copies a UYVY picture of width x height from `from` to `to`, black in the masked cells: the
    // bytes are written once, so masking costs no more than the copy it is part of. A size that is
    // none of the station's (704, 352 or 176 wide, a multiple of 144 high) is copied as it is.
    void Copy(uint8_t* to, const uint8_t* from, int width, int height) const;
    // How many cells are masked.
    int Cells() const { return cells_; }

private:
    PrivacyMask() = default;
    // 0, 1, 2 for 704, 352 and 176 pixels wide; -1 for a size the mask does not apply to.
    static int WidthIndex(int width, int height);
    // Per row of cells, the runs [first, last) of masked cells.
    std::vector<std::vector<std::pair<uint16_t, uint16_t>>> rows_;
    // A row of many short runs is blended instead: per picture width (704, 352, 176), per such
    // row, a line of 0xff for the bytes kept and 0 for those masked; empty for the other rows.
    std::array<std::vector<std::vector<uint8_t>>, 3> keep_;
    int cells_ = 0;
};

using PrivacyMaskPtr = std::shared_ptr<const PrivacyMask>;

}  // namespace kel

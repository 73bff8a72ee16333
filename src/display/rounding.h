#pragma once
// The renderer's rounding: to nearest with ties to even, of a value computed in extended precision.
// Every picture on screen keeps the 11:9 aspect of a full 704 x 576 camera picture; heights from
// widths are computed as a division by 704/576, which is what the tables of the layouts follow.

#include <cfenv>
#include <cmath>
#include <cstdint>

namespace kel {

inline int32_t RoundEven(long double v) {
    // nearbyint rounds in the current mode; the process never leaves the default, to nearest even.
    return static_cast<int32_t>(std::nearbyintl(v));
}

// round(v x 9 / 11)
inline int32_t NineElevenths(int32_t v) {
    return RoundEven(static_cast<long double>(v) / (704.0L / 576.0L));
}

}  // namespace kel

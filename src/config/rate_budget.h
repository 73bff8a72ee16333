#pragma once
// The capture board's one rule on rates: the odd cameras (1, 3, … 15) share 25 pictures a second,
// and so do the even ones. The configuration dialog offers no rate past it; the board (and the
// simulated and stream boards standing in for it) splits each group's 25 by the cameras' rates.

#include "config/records.h"

namespace kel {

constexpr int kGroupPictures = 25;  // pictures a second per capture group

// The capture group of camera n (1..16): 0 for the odd cameras, 1 for the even.
constexpr int GroupOf(int camera) {
    return (camera - 1) % 2;
}

// The highest rate camera n may have with the others of its group as they are. Only active
// cameras take from the budget; an inactive one keeps its rate for when it is switched on again.
// 0 for a number that is no camera.
int FreeRate(const TCameraTable& cameras, int camera);

}  // namespace kel

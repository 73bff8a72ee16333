#include "config/rate_budget.h"

namespace kel {

int FreeRate(const TCameraTable& cameras, int camera) {
    if (camera < 1 || camera > kCameraCount)
        return 0;
    int used = 0;
    for (int n = 1 + GroupOf(camera); n <= kCameraCount; n += 2)
        if (cameras[n - 1].Active)
            used += cameras[n - 1].FPS;
    return (cameras[camera - 1].Active ? cameras[camera - 1].FPS : 0) + kGroupPictures - used;
}

}  // namespace kel

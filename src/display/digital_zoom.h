#pragma once
// The digital zoom of the one-camera layout: a twofold magnification whose source rectangle glides
// from where it is to its target over ten display passes.
//
// Clicks come in tile-table coordinates and are scaled with the extent of slot 1 (the one-camera
// tile). A zoom asked for before any layout pass has drawn slot 1 does nothing. Not thread-safe:
// the renderer guards it.

#include <cstdint>

#include "capture/resolution.h"
#include "display/rect.h"

namespace kel {

class DigitalZoom {
public:
    static constexpr int32_t kSteps = 10;

    // Zooms in on the point (x, y) of a picture of the given size.
    void Start(PictureSize picture, const Rect& slot1, int x, int y);
    // Moves the zoomed view so that the point (x, y) becomes its centre, same magnification.
    void Pan(PictureSize picture, const Rect& slot1, int x, int y);
    void Stop() { active_ = false; }
    bool Active() const { return active_; }

    // The source rectangle for this pass: the current one, after which it moves one step on.
    Rect Take();

    const Rect& Current() const { return rect_; }
    const Rect& Target() const { return target_; }
    int32_t StepsLeft() const { return steps_; }
    const Rect& Delta() const { return delta_; }

private:
    // Pushes the target inside the picture and starts the glide towards it.
    void Glide(PictureSize picture);

    Rect rect_;
    Rect target_;
    Rect delta_;  // per-step change of each side
    int32_t steps_ = 0;
    bool active_ = false;
};

}  // namespace kel

#include "display/digital_zoom.h"

#include "display/rounding.h"

namespace kel {

namespace {

// round(size x v / extent)
int32_t Scale(int32_t size, int v, int32_t extent) {
    return RoundEven(static_cast<long double>(size) * v / extent);
}

int32_t Step(int32_t to, int32_t from) {
    return RoundEven(static_cast<long double>(to - from) / DigitalZoom::kSteps);
}

}  // namespace

void DigitalZoom::Start(PictureSize picture, const Rect& slot1, int x, int y) {
    if (slot1.Width() <= 0 || slot1.Height() <= 0)
        return;  // no layout drawn yet
    int32_t cx = Scale(picture.width, x, slot1.Width()), cy = Scale(picture.height, y, slot1.Height());
    int32_t hw = picture.width / 4, hh = picture.height / 4;
    target_ = {cx - hw, cy - hh, cx + hw, cy + hh};
    rect_ = {0, 0, picture.width, picture.height};
    Glide(picture);
}

void DigitalZoom::Pan(PictureSize picture, const Rect& slot1, int x, int y) {
    if (slot1.Width() <= 0 || slot1.Height() <= 0)
        return;
    int32_t cw = rect_.Width(), ch = rect_.Height();
    int32_t dx = Scale(cw, x, slot1.Width()) - cw / 2, dy = Scale(ch, y, slot1.Height()) - ch / 2;
    target_ = {rect_.left + dx, rect_.top + dy, rect_.right + dx, rect_.bottom + dy};
    Glide(picture);
}

void DigitalZoom::Glide(PictureSize picture) {
    auto move = [this](int32_t dx, int32_t dy) {
        target_ = {target_.left + dx, target_.top + dy, target_.right + dx, target_.bottom + dy};
    };
    if (target_.top < 0)
        move(0, -target_.top);
    if (target_.left < 0)
        move(-target_.left, 0);
    if (target_.bottom > picture.height)
        move(0, picture.height - target_.bottom);
    if (target_.right > picture.width)
        move(picture.width - target_.right, 0);
    steps_ = kSteps;
    delta_ = {Step(target_.left, rect_.left), Step(target_.top, rect_.top), Step(target_.right, rect_.right),
              Step(target_.bottom, rect_.bottom)};
    active_ = true;
}

Rect DigitalZoom::Take() {
    Rect shown = rect_;
    if (steps_ >= 1) {
        rect_ = {rect_.left + delta_.left, rect_.top + delta_.top, rect_.right + delta_.right,
                 rect_.bottom + delta_.bottom};
        --steps_;
    }
    return shown;
}

}  // namespace kel

#pragma once
// A rectangle as the renderer uses it: left and top inclusive, right and bottom exclusive.

#include <algorithm>
#include <cstdint>

namespace kel {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    static constexpr Rect Sized(int32_t x, int32_t y, int32_t w, int32_t h) { return {x, y, x + w, y + h}; }
    constexpr int32_t Width() const { return right - left; }
    constexpr int32_t Height() const { return bottom - top; }
    constexpr bool Empty() const { return right <= left || bottom <= top; }
    // Strictly inside: a point on an edge belongs to no rectangle.
    constexpr bool StrictlyContains(int32_t x, int32_t y) const {
        return left < x && x < right && top < y && y < bottom;
    }
    constexpr bool Within(int32_t width, int32_t height) const {
        return left >= 0 && top >= 0 && right <= width && bottom <= height;
    }
    constexpr Rect Intersected(const Rect& o) const {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
    constexpr bool operator==(const Rect&) const = default;
};

}  // namespace kel

#pragma once
// The renderer's blitter: a stretch blit with colour conversion from one surface rectangle to
// another, done by libswscale (UYVY -> RGB32 and RGB32 -> RGB32, with its "area" filter).
// Scaling contexts are kept per pair of sizes and formats, so a steady layout builds none after
// its first pass.
//
// libswscale falls back to slow code for an odd destination width (several times slower), and
// half the tile widths of the layouts are odd. Such a blit scales to the even width one pixel
// wider and keeps the tile's columns: straight into the target when the column right of the tile
// exists (it is saved first and put back after), through a scratch surface at the target's right
// edge. The picture is then 1/(w+1) narrower than an exact scale, which no one can see.
//
// One blitter serves one thread.

#include <QImage>
#include <cstdint>
#include <list>
#include <vector>

#include "display/surface.h"

struct SwsContext;

namespace kel {

class Blitter {
public:
    Blitter() = default;
    ~Blitter();
    Blitter(const Blitter&) = delete;
    Blitter& operator=(const Blitter&) = delete;

    // Stretches the `from` rectangle of `src` over the `to` rectangle of `dst`, converting the
    // pixel format. False, with `dst` untouched, when a surface is empty, a rectangle is empty or
    // not inside its surface, or the converter refuses. In a UYVY source the horizontal edges move
    // to even pixels (a pair of pixels shares its colour). `half`, if given, is `src` halved both
    // ways (HalveUyvyLines), used for a target at most half the size instead of halving anew.
    bool Blit(const Surface& src, Rect from, Surface& dst, const Rect& to, const Surface* half = nullptr);
    // The same into an RGB32 image, stretched over the whole of it.
    bool BlitImage(const Surface& src, Rect from, QImage& image);
    // Same format, same size: a plain copy of the rectangle to (x, y).
    static bool Copy(const Surface& src, const Rect& from, Surface& dst, int x, int y);
    // Whether the converter reads `from` and writes `to`.
    static bool CanConvert(PixelFormat from, PixelFormat to);
    // Whether a blit of the `from` rectangle of a UYVY picture to a target of that size is scaled
    // from the picture halved both ways (so a half made elsewhere spares the blitter its own).
    static bool ScalesFromHalf(const Rect& from, int toWidth, int toHeight);

    size_t CachedContexts() const { return contexts_.size(); }
    // The libswscale filter of every scale.
    static const int kFilter;
    static constexpr size_t kMaxContexts = 48;

private:
    struct Key {
        int sw, sh, dw, dh;
        PixelFormat sf, df;
        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        SwsContext* context;
    };
    SwsContext* Context(const Key& key);
    bool Scale(const Surface& src, const Rect& from, uint8_t* to, int toStride, int w, int h,
               const Surface* half = nullptr);
    // The scale itself, by libswscale.
    bool Convert(const Surface& src, const Rect& from, uint8_t* to, int toStride, int w, int h);
    bool ScaleOddWidth(const Surface& src, const Rect& from, Surface& dst, const Rect& to,
                       const Surface* half);
    // Scales to w + 1 columns in the scratch surface, for an odd w at the right edge of a target.
    bool ScaleToScratch(const Surface& src, const Rect& from, int w, int h, const Surface* half = nullptr);
    // The `from` rectangle of a UYVY source halved both ways (each pixel the mean of four) into
    // half_, for a target at most half its size: the scaler then reads a quarter of the pixels.
    bool Halve(const Surface& src, const Rect& from);

    std::list<Entry> contexts_;  // most recently used first
    Surface scratch_;
    Surface half_;
    std::vector<uint8_t> column_;
};

}  // namespace kel

#pragma once
// A surface: a picture in memory that the renderer copies frames into, blits between and draws
// text on. Camera surfaces are UYVY (2 bytes a pixel), the back surface and the skin bitmaps RGB32
// (0xffRRGGBB words, the layout of QImage::Format_RGB32). Lines start on 64-byte boundaries so
// the converter's vector code can work on them.
//
// A surface owns its bytes; moving it moves them. An empty surface (never allocated, or whose
// allocation failed) has no bytes and every use of it must check Valid(). A view (View) is the
// exception: it only reads bytes someone else owns and keeps alive.

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "display/rect.h"

namespace kel {

enum class PixelFormat { Uyvy, Rgb32 };

// How a surface lets go of its bytes: freed when it owns them, left alone when it is a view.
struct SurfaceFree {
    bool owned = true;
    void operator()(uint8_t* p) const;
};

class Surface {
public:
    Surface() = default;
    Surface(Surface&&) noexcept = default;
    Surface& operator=(Surface&&) noexcept = default;

    // Allocates width x height black pixels. False, and empty, when a side is not positive or
    // the memory is not there.
    bool Allocate(int width, int height, PixelFormat format);
    // An RGB32 copy of a loaded bitmap; false when the image is null or memory is short.
    bool CopyFrom(const QImage& image);
    // A surface over `bytes` that it neither owns nor frees; only ever read through a const
    // reference. Empty when a side is not positive or a line does not fit in `stride`.
    static Surface View(const uint8_t* bytes, int width, int height, PixelFormat format, size_t stride);
    void Reset();

    bool Valid() const { return bytes_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    PixelFormat Format() const { return format_; }
    int BytesPerPixel() const { return format_ == PixelFormat::Uyvy ? 2 : 4; }
    size_t Stride() const { return stride_; }
    size_t SizeBytes() const { return stride_ * static_cast<size_t>(height_); }
    Rect Bounds() const { return {0, 0, width_, height_}; }
    uint8_t* Line(int y) { return bytes_.get() + stride_ * static_cast<size_t>(y); }
    const uint8_t* Line(int y) const { return bytes_.get() + stride_ * static_cast<size_t>(y); }
    uint8_t* At(int x, int y) { return Line(y) + static_cast<size_t>(x) * BytesPerPixel(); }
    const uint8_t* At(int x, int y) const { return Line(y) + static_cast<size_t>(x) * BytesPerPixel(); }

    // RGB32 only: a QImage over this surface's own bytes (no copy), valid while the surface lives
    // and is not reallocated. Its resolution is 96 dpi, so point sizes mean what they mean on the
    // screens the station was designed for.
    QImage Wrap();
    // RGB32 only: a deep copy of the rectangle, or a null image when it is not inside.
    QImage Copy(const Rect& r) const;

    // Bytes a surface of that size needs (what the memory budget counts).
    static size_t BytesFor(int width, int height, PixelFormat format);

    // Where lines start: the converter's vector code reads whole 64-byte blocks.
    static constexpr size_t kAlign = 64;

private:
    using Free = SurfaceFree;

    std::unique_ptr<uint8_t[], Free> bytes_;
    int width_ = 0;
    int height_ = 0;
    size_t stride_ = 0;
    PixelFormat format_ = PixelFormat::Rgb32;
};

}  // namespace kel

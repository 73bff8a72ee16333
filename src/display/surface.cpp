#include "display/surface.h"

#include <cstring>
#include <new>

namespace kel {

namespace {
constexpr int kDotsPerMeter96 = 3780;  // 96 dpi
// Sides beyond this are refused outright, so no size computation can overflow.
constexpr int kMaxSide = 16384;
}  // namespace

void SurfaceFree::operator()(uint8_t* p) const {
    if (owned)
        ::operator delete[](p, std::align_val_t(Surface::kAlign));
}

size_t Surface::BytesFor(int width, int height, PixelFormat format) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return 0;
    size_t line = static_cast<size_t>(width) * (format == PixelFormat::Uyvy ? 2 : 4);
    size_t stride = (line + kAlign - 1) / kAlign * kAlign;
    return stride * static_cast<size_t>(height);
}

bool Surface::Allocate(int width, int height, PixelFormat format) {
    Reset();
    size_t bytes = BytesFor(width, height, format);
    if (bytes == 0)
        return false;
    auto* p = static_cast<uint8_t*>(::operator new[](bytes, std::align_val_t(kAlign), std::nothrow));
    if (!p)
        return false;
    if (format == PixelFormat::Uyvy) {
        static constexpr uint8_t kBlack[4] = {128, 16, 128, 16};  // U Y V Y of studio black
        for (size_t i = 0; i < bytes; i += 4)
            std::memcpy(p + i, kBlack, 4);
    } else {
        std::memset(p, 0, bytes);
    }
    bytes_ = std::unique_ptr<uint8_t[], Free>(p, Free{true});  // owned, even after a view
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = bytes / static_cast<size_t>(height);
    return true;
}

bool Surface::CopyFrom(const QImage& image) {
    if (image.isNull())
        return false;
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull() || !Allocate(rgb.width(), rgb.height(), PixelFormat::Rgb32))
        return false;
    for (int y = 0; y < height_; ++y)
        std::memcpy(Line(y), rgb.constScanLine(y), static_cast<size_t>(width_) * 4);
    return true;
}

Surface Surface::View(const uint8_t* bytes, int width, int height, PixelFormat format, size_t stride) {
    Surface view;
    const size_t line = static_cast<size_t>(width) * (format == PixelFormat::Uyvy ? 2 : 4);
    if (!bytes || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || stride < line)
        return view;
    // Never written through: the renderer reads a view only as a blit's source.
    view.bytes_ = std::unique_ptr<uint8_t[], Free>(const_cast<uint8_t*>(bytes), Free{false});
    view.width_ = width;
    view.height_ = height;
    view.format_ = format;
    view.stride_ = stride;
    return view;
}

void Surface::Reset() {
    bytes_.reset();
    width_ = height_ = 0;
    stride_ = 0;
}

QImage Surface::Wrap() {
    if (!Valid() || format_ != PixelFormat::Rgb32)
        return {};
    QImage image(bytes_.get(), width_, height_, static_cast<qsizetype>(stride_), QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMeter96);
    image.setDotsPerMeterY(kDotsPerMeter96);
    return image;
}

QImage Surface::Copy(const Rect& r) const {
    if (!Valid() || format_ != PixelFormat::Rgb32 || r.Empty() || !r.Within(width_, height_))
        return {};
    QImage image(r.Width(), r.Height(), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < r.Height(); ++y)
        std::memcpy(image.scanLine(y), At(r.left, r.top + y), static_cast<size_t>(r.Width()) * 4);
    return image;
}

}  // namespace kel

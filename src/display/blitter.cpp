#include "display/blitter.h"

#include <algorithm>
#include <cstring>

#include "capture/picture_convert.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace kel {

namespace {

AVPixelFormat AvFormat(PixelFormat f) {
    // RGB32 words 0xffRRGGBB lie in memory as B, G, R, A.
    return f == PixelFormat::Uyvy ? AV_PIX_FMT_UYVY422 : AV_PIX_FMT_BGRA;
}

// Horizontal edges of a UYVY rectangle on pixel pairs: left down, right up where there is room.
Rect EvenEdges(const Surface& src, Rect r) {
    if (src.Format() != PixelFormat::Uyvy)
        return r;
    r.left &= ~1;
    if (r.right % 2 != 0)
        r.right = r.right + 1 <= src.Width() ? r.right + 1 : r.right - 1;
    return r;
}

}  // namespace

// Measured on the simulated board's picture (bench/display_bench, BM_Filter): scaled to a
// 16-camera tile, "area" gives 35.8 dB against a Lanczos scale in 237 us, bilinear 34.5 dB in
// 245 us, point 24.5 dB and fast bilinear 16.5 dB; bicubic's 44.6 dB takes 400 us. Enlarged to
// the one-camera tile, area and bilinear are the same filter. So: area.
const int Blitter::kFilter = SWS_AREA;

Blitter::~Blitter() {
    for (Entry& e : contexts_)
        sws_freeContext(e.context);
}

bool Blitter::CanConvert(PixelFormat from, PixelFormat to) {
    return sws_isSupportedInput(AvFormat(from)) > 0 && sws_isSupportedOutput(AvFormat(to)) > 0;
}

SwsContext* Blitter::Context(const Key& key) {
    for (auto it = contexts_.begin(); it != contexts_.end(); ++it) {
        if (it->key == key) {
            contexts_.splice(contexts_.begin(), contexts_, it);
            return it->context;
        }
    }
    SwsContext* c = sws_getContext(key.sw, key.sh, AvFormat(key.sf), key.dw, key.dh, AvFormat(key.df),
                                   kFilter, nullptr, nullptr, nullptr);
    if (!c)
        return nullptr;
    if (contexts_.size() >= kMaxContexts) {
        sws_freeContext(contexts_.back().context);
        contexts_.pop_back();
    }
    contexts_.push_front({key, c});
    return c;
}

bool Blitter::Halve(const Surface& src, const Rect& from) {
    const int w = from.Width() / 2, h = from.Height() / 2;
    if ((half_.Width() != w || half_.Height() != h || half_.Format() != PixelFormat::Uyvy) &&
        !half_.Allocate(w, h, PixelFormat::Uyvy))
        return false;
    for (int y = 0; y < h; ++y)
        HalveUyvyLines(src.At(from.left, from.top + 2 * y), src.At(from.left, from.top + 2 * y + 1),
                       half_.Line(y), w / 2);
    return true;
}

bool Blitter::ScalesFromHalf(const Rect& from, int toWidth, int toHeight) {
    const int w = toWidth + toWidth % 2;  // an odd width is scaled one column wider
    return from.Width() % 4 == 0 && from.Height() % 2 == 0 && 2 * w <= from.Width() &&
           2 * toHeight <= from.Height();
}

bool Blitter::Scale(const Surface& src, const Rect& from, uint8_t* to, int toStride, int w, int h,
                    const Surface* half) {
    // A camera's picture in a small tile: the scaler's work shrinks to a quarter.
    if (src.Format() == PixelFormat::Uyvy && ScalesFromHalf(from, w, h)) {
        if (half && half->Valid() && half->Format() == PixelFormat::Uyvy &&
            2 * half->Width() == src.Width() && 2 * half->Height() == src.Height() && from.left % 4 == 0 &&
            from.top % 2 == 0)
            return Convert(*half, {from.left / 2, from.top / 2, from.right / 2, from.bottom / 2}, to,
                           toStride, w, h);
        if (Halve(src, from))
            return Convert(half_, half_.Bounds(), to, toStride, w, h);
    }
    return Convert(src, from, to, toStride, w, h);
}

bool Blitter::Convert(const Surface& src, const Rect& from, uint8_t* to, int toStride, int w, int h) {
    SwsContext* c = Context({from.Width(), from.Height(), w, h, src.Format(), PixelFormat::Rgb32});
    if (!c)
        return false;
    const uint8_t* in[4] = {src.At(from.left, from.top), nullptr, nullptr, nullptr};
    int inStride[4] = {static_cast<int>(src.Stride()), 0, 0, 0};
    uint8_t* out[4] = {to, nullptr, nullptr, nullptr};
    int outStride[4] = {toStride, 0, 0, 0};
    return sws_scale(c, in, inStride, 0, from.Height(), out, outStride) == h;
}

bool Blitter::Blit(const Surface& src, Rect from, Surface& dst, const Rect& to, const Surface* half) {
    if (!src.Valid() || !dst.Valid() || dst.Format() != PixelFormat::Rgb32)
        return false;
    from = EvenEdges(src, from);
    if (from.Empty() || to.Empty() || !from.Within(src.Width(), src.Height()) ||
        !to.Within(dst.Width(), dst.Height()))
        return false;
    if (src.Format() == dst.Format() && from.Width() == to.Width() && from.Height() == to.Height())
        return Copy(src, from, dst, to.left, to.top);
    if (to.Width() % 2 != 0)
        return ScaleOddWidth(src, from, dst, to, half);
    return Scale(src, from, dst.At(to.left, to.top), static_cast<int>(dst.Stride()), to.Width(), to.Height(),
                 half);
}

bool Blitter::ScaleOddWidth(const Surface& src, const Rect& from, Surface& dst, const Rect& to,
                            const Surface* half) {
    const int w = to.Width() + 1, h = to.Height();
    if (to.right < dst.Width()) {
        // The column right of the tile is borrowed and given back.
        column_.resize(static_cast<size_t>(h) * 4);
        for (int y = 0; y < h; ++y)
            std::memcpy(&column_[static_cast<size_t>(y) * 4], dst.At(to.right, to.top + y), 4);
        bool ok = Scale(src, from, dst.At(to.left, to.top), static_cast<int>(dst.Stride()), w, h, half);
        for (int y = 0; y < h; ++y)
            std::memcpy(dst.At(to.right, to.top + y), &column_[static_cast<size_t>(y) * 4], 4);
        return ok;
    }
    return ScaleToScratch(src, from, w, h, half) &&
           Copy(scratch_, Rect::Sized(0, 0, to.Width(), h), dst, to.left, to.top);
}

bool Blitter::ScaleToScratch(const Surface& src, const Rect& from, int w, int h, const Surface* half) {
    if ((scratch_.Width() < w || scratch_.Height() < h) &&
        !scratch_.Allocate(std::max(w, scratch_.Width()), std::max(h, scratch_.Height()), PixelFormat::Rgb32))
        return false;
    return Scale(src, from, scratch_.Line(0), static_cast<int>(scratch_.Stride()), w, h, half);
}

bool Blitter::BlitImage(const Surface& src, Rect from, QImage& image) {
    if (!src.Valid() || image.isNull() || image.format() != QImage::Format_RGB32)
        return false;
    from = EvenEdges(src, from);
    if (from.Empty() || !from.Within(src.Width(), src.Height()))
        return false;
    const int w = image.width(), h = image.height();
    if (w % 2 == 0)
        return Scale(src, from, image.scanLine(0), static_cast<int>(image.bytesPerLine()), w, h);
    if (!ScaleToScratch(src, from, w + 1, h))
        return false;
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), scratch_.Line(y), static_cast<size_t>(w) * 4);
    return true;
}

bool Blitter::Copy(const Surface& src, const Rect& from, Surface& dst, int x, int y) {
    if (!src.Valid() || !dst.Valid() || src.Format() != dst.Format() || from.Empty() ||
        !from.Within(src.Width(), src.Height()) ||
        !Rect::Sized(x, y, from.Width(), from.Height()).Within(dst.Width(), dst.Height()))
        return false;
    size_t bytes = static_cast<size_t>(from.Width()) * src.BytesPerPixel();
    for (int row = 0; row < from.Height(); ++row)
        std::memcpy(dst.At(x, y + row), src.At(from.left, from.top + row), bytes);
    return true;
}

}  // namespace kel

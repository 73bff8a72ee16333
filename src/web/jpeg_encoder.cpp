#include "web/jpeg_encoder.h"

#include <turbojpeg.h>

#include "capture/resolution.h"

namespace kel {

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
    if (handle_)
        tjDestroy(handle_);
}

bool JpegEncoder::EncodeUyvy(const uint8_t* picture, int width, int height, std::vector<uint8_t>& out,
                             int quality, size_t head) {
    if (!picture || width <= 0 || height <= 0 || width % 2) {
        error_ = "zly rozmiar obrazu";
        return false;
    }
    const size_t pixels = static_cast<size_t>(width) * height;
    planes_.resize(pixels * 2);
    uint8_t* y = planes_.data();
    uint8_t* u = y + pixels;
    uint8_t* v = u + pixels / 2;
    for (size_t i = 0; i < pixels / 2; ++i) {
        const uint8_t* p = picture + i * 4;
        u[i] = p[0];
        y[2 * i] = p[1];
        v[i] = p[2];
        y[2 * i + 1] = p[3];
    }
    const uint8_t* const planes[3] = {y, u, v};
    const int strides[3] = {width, width / 2, width / 2};
    return Compress(planes, strides, width, height, TJSAMP_422, quality, out, head);
}

bool JpegEncoder::EncodePicture(const FrameBank::Picture& picture, std::vector<uint8_t>& out, int quality,
                                size_t head) {
    if (!ValidResolution(picture.info.resolution) ||
        picture.info.bytes < ResolutionBytes(picture.info.resolution)) {
        error_ = "brak calego obrazu";
        return false;
    }
    const PictureSize size = ResolutionSize(picture.info.resolution);
    return EncodeUyvy(picture.data, size.width, size.height, out, quality, head);
}

bool JpegEncoder::EncodeI420(const uint8_t* const planes[3], const int strides[3], int width, int height,
                             std::vector<uint8_t>& out, int quality, size_t head) {
    if (width <= 0 || height <= 0) {
        error_ = "zly rozmiar obrazu";
        return false;
    }
    return Compress(planes, strides, width, height, TJSAMP_420, quality, out, head);
}

bool JpegEncoder::Compress(const uint8_t* const planes[3], const int strides[3], int width, int height,
                           int subsampling, int quality, std::vector<uint8_t>& out, size_t head) {
    if (!handle_) {
        error_ = "brak kodera JPEG";
        return false;
    }
    // Compressed into a buffer of the largest size the picture can take, so the library never
    // reallocates it.
    const unsigned long room = tjBufSize(width, height, subsampling);
    out.resize(head + room);
    unsigned char* buffer = out.data() + head;
    unsigned long size = room;
    const unsigned char* source[3] = {planes[0], planes[1], planes[2]};
    if (tjCompressFromYUVPlanes(handle_, source, width, strides, height, subsampling, &buffer, &size, quality,
                                TJFLAG_NOREALLOC | TJFLAG_FASTDCT) != 0) {
        error_ = tjGetErrorStr2(handle_);
        out.clear();
        return false;
    }
    out.resize(head + size);
    return true;
}

}  // namespace kel

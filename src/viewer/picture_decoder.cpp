#include "viewer/picture_decoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace kel {

PictureDecoder::~PictureDecoder() {
    sws_freeContext(sws_);
}

QImage PictureDecoder::Decode(const std::vector<uint8_t>& bytes, uint32_t fourcc, int width, int height) {
    const AVFrame* frame = frames_.Decode(bytes, fourcc, width, height);
    if (!frame) {
        error_ = frames_.ErrorText();
        return {};
    }
    return ToImage(frame);
}

QImage PictureDecoder::DecodeStream(SegmentReader& reader, size_t i) {
    const AVFrame* frame = frames_.DecodeStream(reader, i);
    if (!frame) {
        error_ = frames_.ErrorText();
        return {};
    }
    return ToImage(frame);
}

QImage PictureDecoder::ToImage(const AVFrame* frame) {
    const int w = frame->width, h = frame->height;
    sws_ = sws_getCachedContext(sws_, w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_RGB32,
                                SWS_POINT, nullptr, nullptr, nullptr);
    QImage image(w, h, QImage::Format_RGB32);
    if (!sws_ || image.isNull()) {
        error_ = "nie mozna przeksztalcic obrazu";
        return {};
    }
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws_, frame->data, frame->linesize, 0, h, dst, dstStride);
    return image;
}

}  // namespace kel

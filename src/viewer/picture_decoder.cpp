#include "viewer/picture_decoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "recording/avi_format.h"

namespace kel {

namespace {

AVCodecID CodecOf(uint32_t fourcc) {
    if (fourcc == kFourCCDiv3 || fourcc == FourCC("div3") || fourcc == FourCC("MP43"))
        return AV_CODEC_ID_MSMPEG4V3;
    if (fourcc == kFourCCUyvy)
        return AV_CODEC_ID_RAWVIDEO;
    if (fourcc == FourCC("MJPG"))
        return AV_CODEC_ID_MJPEG;
    if (fourcc == FourCC("XVID") || fourcc == FourCC("DIVX") || fourcc == FourCC("FMP4"))
        return AV_CODEC_ID_MPEG4;
    return AV_CODEC_ID_NONE;
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

PictureDecoder::~PictureDecoder() {
    Release();
}

void PictureDecoder::Release() {
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    sws_freeContext(sws_);
    sws_ = nullptr;
    fourcc_ = 0;
    width_ = height_ = 0;
}

bool PictureDecoder::Prepare(uint32_t fourcc, int width, int height) {
    if (codec_ && fourcc == fourcc_ && width == width_ && height == height_)
        return true;
    Release();
    const AVCodecID id = CodecOf(fourcc);
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!codec) {
        error_ = "nieznany format obrazu";
        return false;
    }
    codec_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!codec_ || !frame_ || !packet_) {
        error_ = "brak pamieci";
        Release();
        return false;
    }
    codec_->width = width;
    codec_->height = height;
    codec_->codec_tag = fourcc;
    if (id == AV_CODEC_ID_RAWVIDEO)
        codec_->pix_fmt = AV_PIX_FMT_UYVY422;
    codec_->thread_count = 1;
    if (int rc = avcodec_open2(codec_, codec, nullptr); rc < 0) {
        error_ = "nie mozna otworzyc dekodera: " + AvError(rc);
        Release();
        return false;
    }
    fourcc_ = fourcc;
    width_ = width;
    height_ = height;
    return true;
}

QImage PictureDecoder::Decode(const std::vector<uint8_t>& bytes, uint32_t fourcc, int width, int height) {
    if (bytes.empty()) {
        error_ = "pusty obraz";
        return {};
    }
    if (!Prepare(fourcc, width, height))
        return {};
    padded_.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded_.data(), bytes.data(), bytes.size());
    std::memset(padded_.data() + bytes.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = padded_.data();
    packet_->size = static_cast<int>(bytes.size());
    packet_->flags = AV_PKT_FLAG_KEY;
    int rc = avcodec_send_packet(codec_, packet_);
    if (rc >= 0)
        rc = avcodec_receive_frame(codec_, frame_);
    if (rc < 0) {
        error_ = "uszkodzony obraz: " + AvError(rc);
        avcodec_flush_buffers(codec_);
        return {};
    }
    const int w = frame_->width, h = frame_->height;
    sws_ = sws_getCachedContext(sws_, w, h, static_cast<AVPixelFormat>(frame_->format), w, h,
                                AV_PIX_FMT_RGB32, SWS_POINT, nullptr, nullptr, nullptr);
    QImage image(w, h, QImage::Format_RGB32);
    if (!sws_ || image.isNull()) {
        error_ = "nie mozna przeksztalcic obrazu";
        av_frame_unref(frame_);
        return {};
    }
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws_, frame_->data, frame_->linesize, 0, h, dst, dstStride);
    av_frame_unref(frame_);
    return image;
}

}  // namespace kel

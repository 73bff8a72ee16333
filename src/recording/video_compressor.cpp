#include "recording/video_compressor.h"

#include "capture/picture_convert.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
}

namespace kel {

namespace {

constexpr int kMaxWidth = 704;
constexpr int kMaxHeight = 576;

std::string AvText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

TVideoCompressor::~TVideoCompressor() {
    Close();
}

bool TVideoCompressor::Fail(const std::string& what, int code) {
    error_ = code ? what + ": " + AvText(code) : what;
    return false;
}

bool TVideoCompressor::Open() {
    if (codec_)
        return true;
    codec_ = avcodec_find_encoder(AV_CODEC_ID_MSMPEG4V3);
    if (!codec_)
        return Fail("no MS MPEG-4 v3 encoder in libavcodec");
    packet_ = av_packet_alloc();
    if (!packet_) {
        codec_ = nullptr;
        return Fail("out of memory");
    }
    return true;
}

void TVideoCompressor::Close() {
    for (Coder& c : coders_)
        FreeCoder(c);
    av_packet_free(&packet_);
    codec_ = nullptr;
}

void TVideoCompressor::FreeCoder(Coder& c) {
    avcodec_free_context(&c.context);
    av_frame_free(&c.frame);
    c = Coder{};
}

bool TVideoCompressor::MakeCoder(Coder& c, int width, int height) {
    c.width = width;
    c.height = height;
    c.context = avcodec_alloc_context3(codec_);
    c.frame = av_frame_alloc();
    if (!c.context || !c.frame)
        return Fail("out of memory");
    AVCodecContext* ctx = c.context;
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->gop_size = 0;  // intra only: every picture stands alone
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * kQuantiser;
    ctx->codec_tag = kFourCCDiv3;
    int rc = avcodec_open2(ctx, codec_, nullptr);
    if (rc < 0)
        return Fail("cannot open the encoder", rc);
    c.frame->format = AV_PIX_FMT_YUV420P;
    c.frame->width = width;
    c.frame->height = height;
    rc = av_frame_get_buffer(c.frame, 0);
    if (rc < 0)
        return Fail("out of memory", rc);
    return true;
}

TVideoCompressor::Coder* TVideoCompressor::CoderFor(int width, int height) {
    for (Coder& c : coders_)
        if (c.context && c.width == width && c.height == height)
            return &c;
    auto free = std::find_if(coders_.begin(), coders_.end(), [](const Coder& c) { return !c.context; });
    if (free == coders_.end()) {
        // More sizes than slots: the oldest coder makes room (never the case with four sizes).
        FreeCoder(coders_[0]);
        free = coders_.begin();
    }
    if (!MakeCoder(*free, width, height)) {
        FreeCoder(*free);
        return nullptr;
    }
    return &*free;
}

// One picture through the encoder at `quantiser`; the result is in packet_.
bool TVideoCompressor::Encode(Coder& c, int quantiser) {
    c.frame->pict_type = AV_PICTURE_TYPE_I;
    c.frame->quality = FF_QP2LAMBDA * quantiser;
    av_packet_unref(packet_);
    int rc = avcodec_send_frame(c.context, c.frame);
    if (rc < 0)
        return Fail("the encoder refused the picture", rc);
    rc = avcodec_receive_packet(c.context, packet_);
    if (rc < 0)
        return Fail("the encoder gave no picture", rc);
    return true;
}

bool TVideoCompressor::Compress(const uint8_t* uyvy, int width, int height, uint8_t* out, size_t capacity,
                                size_t& size) {
    size = 0;
    if (!codec_)
        return Fail("the compressor is not open");
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight || width % 2 || height % 2)
        return Fail("unsupported picture size");
    Coder* c = CoderFor(width, height);
    if (!c)
        return false;
    int rc = av_frame_make_writable(c->frame);
    if (rc < 0)
        return Fail("out of memory", rc);
    UyvyToI420(uyvy, width * 2, width, height, c->frame->data[0], c->frame->linesize[0], c->frame->data[1],
               c->frame->data[2], c->frame->linesize[1]);
    for (int q = kQuantiser;; q = std::min(q * 2, kCoarsestQuantiser)) {
        if (!Encode(*c, q))
            return false;
        if (static_cast<size_t>(packet_->size) <= capacity) {
            std::memcpy(out, packet_->data, static_cast<size_t>(packet_->size));
            size = static_cast<size_t>(packet_->size);
            last_quantiser_ = q;
            return true;
        }
        if (q == kCoarsestQuantiser)
            return Fail("the picture does not fit in " + std::to_string(capacity) + " bytes");
    }
}

BitmapInfoHeader TVideoCompressor::OutputFormat(int width, int height, uint32_t sizeImage) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = kFourCCDiv3;
    h.biSizeImage = sizeImage;
    return h;
}

}  // namespace kel

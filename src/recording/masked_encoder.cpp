#include "recording/masked_encoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "config/records.h"

namespace kel {

namespace {

bool SameInput(const AVCodecParameters* a, const AVCodecParameters* b) {
    return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
           a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, a->extradata_size) == 0);
}

bool Planar420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

MaskedEncoder::MaskedEncoder(const uint8_t* cells) : cells_(cells, cells + kZoneCols * kZoneRows) {}

MaskedEncoder::~MaskedEncoder() {
    Close();
    av_packet_free(&packet_);
}

bool MaskedEncoder::Fail(const std::string& what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (code < 0)
        av_strerror(code, text, sizeof text);
    error_ = what + (code < 0 ? std::string(": ") + text : std::string());
    return false;
}

void MaskedEncoder::Close() {
    avcodec_free_context(&decoder_);
    avcodec_free_context(&encoder_);
    avcodec_parameters_free(&in_params_);
    avcodec_parameters_free(&out_params_);
    av_frame_free(&frame_);
    av_frame_free(&converted_);
    sws_freeContext(converter_);
    converter_ = nullptr;
    keyed_ = false;
}

bool MaskedEncoder::Open(const StreamPacket& in) {
    Close();
    const AVCodec* codec = avcodec_find_decoder(in.params->codec_id);
    if (!codec)
        return Fail("nieznany kodek strumienia kamery", 0);
    decoder_ = avcodec_alloc_context3(codec);
    in_params_ = avcodec_parameters_alloc();
    frame_ = av_frame_alloc();
    if (!packet_)
        packet_ = av_packet_alloc();
    if (!decoder_ || !in_params_ || !frame_ || !packet_)
        return Fail("brak pamieci", 0);
    avcodec_parameters_copy(in_params_, in.params);
    int rc = avcodec_parameters_to_context(decoder_, in.params);
    decoder_->thread_count = 1;
    decoder_->pkt_timebase = {in.timeBaseNum, in.timeBaseDen};
    if (rc < 0 || (rc = avcodec_open2(decoder_, codec, nullptr)) < 0) {
        avcodec_free_context(&decoder_);
        return Fail("nie mozna dekodowac strumienia kamery", rc);
    }
    tb_num_ = in.timeBaseNum;
    tb_den_ = in.timeBaseDen;
    return true;
}

// The encoder takes the first picture's size; its key pictures are those the loop forces.
bool MaskedEncoder::OpenEncoder(const AVFrame* frame) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return Fail("brak kodera H.264 (libx264)", 0);
    encoder_ = avcodec_alloc_context3(codec);
    out_params_ = avcodec_parameters_alloc();
    if (!encoder_ || !out_params_)
        return Fail("brak pamieci", 0);
    encoder_->width = frame->width;
    encoder_->height = frame->height;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->color_range = frame->format == AV_PIX_FMT_YUVJ420P ? AVCOL_RANGE_JPEG : frame->color_range;
    encoder_->sample_aspect_ratio = frame->sample_aspect_ratio;
    encoder_->time_base = {tb_num_, tb_den_};
    encoder_->framerate = decoder_->framerate.num > 0 ? decoder_->framerate : AVRational{25, 1};
    encoder_->gop_size = 100000;  // only the camera's own key pictures
    encoder_->max_b_frames = 0;
    encoder_->thread_count = 1;
    encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the parameter sets go in the MP4's header
    av_opt_set(encoder_->priv_data, "preset", kPreset, 0);
    av_opt_set(encoder_->priv_data, "tune", "zerolatency", 0);
    av_opt_set(encoder_->priv_data, "forced-idr", "1", 0);
    av_opt_set(encoder_->priv_data, "x264-params", "scenecut=0", 0);
    av_opt_set_double(encoder_->priv_data, "crf", kQuality, 0);
    int rc = avcodec_open2(encoder_, codec, nullptr);
    if (rc < 0 || (rc = avcodec_parameters_from_context(out_params_, encoder_)) < 0) {
        avcodec_free_context(&encoder_);
        return Fail("nie mozna otworzyc kodera H.264", rc);
    }
    return true;
}

bool MaskedEncoder::Packet(const StreamPacket& in, const Out& out) {
    if (!in.packet || !in.params) {
        // The stream ended: what the decoder holds is compressed, then what the encoder holds.
        if (decoder_ && keyed_) {
            avcodec_send_packet(decoder_, nullptr);
            while (avcodec_receive_frame(decoder_, frame_) == 0)
                Encode(frame_, out);
        }
        if (encoder_)
            Encode(nullptr, out);
        Close();
        return true;
    }
    const bool key = (in.packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (in_params_ && !SameInput(in_params_, in.params))
        Close();
    if (!keyed_) {
        if (!key)
            return true;  // a picture that needs one before it
        if (!decoder_ && !Open(in))
            return false;
        keyed_ = true;
    }
    int rc = avcodec_send_packet(decoder_, in.packet);
    if (rc < 0 && rc != AVERROR(EAGAIN))
        return Fail("uszkodzony obraz kamery", rc);
    bool ok = true;
    while ((rc = avcodec_receive_frame(decoder_, frame_)) == 0)
        ok = Encode(frame_, out) && ok;
    return ok;
}

bool MaskedEncoder::Encode(AVFrame* frame, const Out& out) {
    if (frame) {
        if (!encoder_ && !OpenEncoder(frame)) {
            av_frame_unref(frame);
            return false;
        }
        const bool key = frame->key_frame != 0;
        const int64_t pts = frame->best_effort_timestamp;
        AVFrame* picture = frame;
        if (!Planar420(frame->format)) {
            if (!converted_)
                converted_ = av_frame_alloc();
            converter_ = sws_getCachedContext(
                converter_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                frame->width, frame->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
            av_frame_unref(converted_);
            converted_->format = AV_PIX_FMT_YUV420P;
            converted_->width = frame->width;
            converted_->height = frame->height;
            if (!converter_ || av_frame_get_buffer(converted_, 0) < 0) {
                av_frame_unref(frame);
                return Fail("nie mozna przeksztalcic obrazu kamery", 0);
            }
            sws_scale(converter_, frame->data, frame->linesize, 0, frame->height, converted_->data,
                      converted_->linesize);
            av_frame_unref(frame);
            picture = converted_;
        } else if (av_frame_make_writable(frame) < 0) {  // the decoder may still refer to it
            av_frame_unref(frame);
            return Fail("brak pamieci", 0);
        }
        if (picture->width != encoder_->width || picture->height != encoder_->height) {
            av_frame_unref(picture);
            return Fail("zmienil sie rozmiar obrazu kamery", 0);
        }
        Paint(picture);
        picture->format = AV_PIX_FMT_YUV420P;
        picture->pts = pts;
        picture->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        const int rc = avcodec_send_frame(encoder_, picture);
        av_frame_unref(picture);
        if (rc < 0)
            return Fail("nie mozna skompresowac obrazu kamery", rc);
    } else {
        avcodec_send_frame(encoder_, nullptr);
    }
    while (avcodec_receive_packet(encoder_, packet_) == 0) {
        out(StreamPacket{packet_, out_params_, tb_num_, tb_den_});
        av_packet_unref(packet_);
    }
    return true;
}

// Per plane and line, the byte spans the masked cells cover, made once for each picture size.
void MaskedEncoder::Paint(AVFrame* frame) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (!desc || !Planar420(frame->format) || frame->width <= 0 || frame->height <= 0)
        return;
    const int w = frame->width, h = frame->height;
    if (w != painted_width_ || h != painted_height_ || frame->format != painted_format_) {
        painted_width_ = w;
        painted_height_ = h;
        painted_format_ = frame->format;
        spans_.assign(3, {});
        for (int plane = 0; plane < 3; ++plane) {
            const int sx = plane ? desc->log2_chroma_w : 0, sy = plane ? desc->log2_chroma_h : 0;
            const int pw = AV_CEIL_RSHIFT(w, sx), ph = AV_CEIL_RSHIFT(h, sy);
            spans_[plane].resize(static_cast<size_t>(ph));
            std::vector<uint8_t> covered(static_cast<size_t>(pw));
            for (int y = 0; y < ph; ++y) {
                // The picture's lines this plane line stands for, and the cell rows they touch.
                const int64_t top = static_cast<int64_t>(y) << sy,
                              bottom = std::min<int64_t>(top + (1 << sy), h);
                const int firstRow = static_cast<int>(top * kZoneRows / h);
                const int lastRow = static_cast<int>((bottom * kZoneRows - 1) / h);
                std::fill(covered.begin(), covered.end(), 0);
                for (int row = firstRow; row <= lastRow && row < kZoneRows; ++row)
                    for (int col = 0; col < kZoneCols; ++col) {
                        if (cells_[static_cast<size_t>(row) * kZoneCols + col] != 1)
                            continue;
                        // [left, right) in the picture, widened to whole pixels, then to the plane.
                        const int64_t left = static_cast<int64_t>(col) * w / kZoneCols;
                        const int64_t right = (static_cast<int64_t>(col + 1) * w + kZoneCols - 1) / kZoneCols;
                        const int64_t from = left >> sx,
                                      to = std::min<int64_t>((right + (1 << sx) - 1) >> sx, pw);
                        std::fill(covered.begin() + from, covered.begin() + to, 1);
                    }
                for (int x = 0; x < pw;) {
                    if (!covered[x]) {
                        ++x;
                        continue;
                    }
                    const int from = x;
                    while (x < pw && covered[x])
                        ++x;
                    spans_[plane][y].emplace_back(from, x);
                }
            }
        }
    }
    const bool full = frame->format == AV_PIX_FMT_YUVJ420P || frame->color_range == AVCOL_RANGE_JPEG;
    const uint8_t black[3] = {static_cast<uint8_t>(full ? 0 : 16), 128, 128};
    for (int plane = 0; plane < 3; ++plane)
        for (size_t y = 0; y < spans_[plane].size(); ++y) {
            uint8_t* line = frame->data[plane] + static_cast<ptrdiff_t>(y) * frame->linesize[plane];
            for (const auto& [from, to] : spans_[plane][y])
                std::memset(line + from, black[plane], static_cast<size_t>(to - from));
        }
}

}  // namespace kel

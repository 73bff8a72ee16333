#include "recording/frame_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
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

FrameDecoder::~FrameDecoder() {
    Release();
    ReleaseStream();
}

void FrameDecoder::ReleaseStream() {
    avcodec_free_context(&stream_codec_);
    av_frame_free(&stream_frame_);
    av_frame_free(&last_);
    stream_path_.clear();
    fed_any_ = false;
}

bool FrameDecoder::PrepareStream(const SegmentReader& reader) {
    if (stream_codec_ && stream_path_ == reader.Path())
        return true;
    ReleaseStream();
    const StreamPictures* s = reader.Stream();
    const AVCodec* codec = s && s->params ? avcodec_find_decoder(s->params->codec_id) : nullptr;
    if (!codec) {
        error_ = "nieznany format obrazu";
        return false;
    }
    stream_codec_ = avcodec_alloc_context3(codec);
    stream_frame_ = av_frame_alloc();
    last_ = av_frame_alloc();
    if (!stream_codec_ || !stream_frame_ || !last_ ||
        avcodec_parameters_to_context(stream_codec_, s->params) < 0) {
        error_ = "brak pamieci";
        ReleaseStream();
        return false;
    }
    stream_codec_->pkt_timebase = AVRational{s->timeBaseNum, s->timeBaseDen};
    // A seek decodes a whole group of pictures: the library's threads shorten it, a picture each.
    stream_codec_->thread_count = 0;
    stream_codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (int rc = avcodec_open2(stream_codec_, codec, nullptr); rc < 0) {
        error_ = "nie mozna otworzyc dekodera: " + AvError(rc);
        ReleaseStream();
        return false;
    }
    stream_path_ = reader.Path();
    return true;
}

const AVFrame* FrameDecoder::DecodeStream(SegmentReader& reader, size_t i) {
    const StreamPictures* s = reader.Stream();
    if (!s || i >= s->times.size()) {
        error_ = "nie ma obrazu " + std::to_string(i);
        return nullptr;
    }
    if (!PrepareStream(reader))
        return nullptr;
    const auto& times = s->times;
    auto ptsOf = [&](size_t k) { return times[k].pts != AV_NOPTS_VALUE ? times[k].pts : times[k].dts; };
    const int64_t target = ptsOf(i);
    if (fed_any_ && last_->buf[0] && last_->pts == target)
        return last_;
    // Forward from what was fed when that lies within the picture's group; else from its key.
    const size_t key = reader.KeyBefore(i);
    const bool forward = fed_any_ && fed_ > key && (!last_->buf[0] || last_->pts < target);
    if (!forward) {
        avcodec_flush_buffers(stream_codec_);
        av_frame_unref(last_);
        fed_ = key;
        fed_any_ = true;
    }
    // The picture comes out once the decoder passes its time: a few packets after it where the
    // stream reorders, at the end when it is the last.
    // (The decoder's threads hold back a picture each.)
    constexpr size_t kReorder = 16;
    const size_t end = std::min(
        times.size(), i + 1 + kReorder + static_cast<size_t>(std::max(stream_codec_->thread_count, 1)));
    AVPacket* packet = av_packet_alloc();
    bool found = false;
    auto receive = [&] {
        while (!found && avcodec_receive_frame(stream_codec_, stream_frame_) == 0) {
            ++stream_decoded_;
            av_frame_unref(last_);
            av_frame_move_ref(last_, stream_frame_);
            found = last_->pts != AV_NOPTS_VALUE && last_->pts >= target;
        }
    };
    for (; !found && fed_ < end && packet; ++fed_) {
        if (!reader.ReadPicture(fed_, bytes_)) {
            error_ = reader.ErrorText();
            break;
        }
        padded_.resize(bytes_.size() + AV_INPUT_BUFFER_PADDING_SIZE);
        std::memcpy(padded_.data(), bytes_.data(), bytes_.size());
        std::memset(padded_.data() + bytes_.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
        packet->data = padded_.data();
        packet->size = static_cast<int>(bytes_.size());
        packet->pts = times[fed_].pts;
        packet->dts = times[fed_].dts;
        packet->duration = times[fed_].duration;
        packet->flags = times[fed_].key ? AV_PKT_FLAG_KEY : 0;
        avcodec_send_packet(stream_codec_, packet);  // a damaged packet: the next ones go on
        receive();
    }
    if (!found && fed_ >= times.size()) {
        avcodec_send_packet(stream_codec_, nullptr);  // the segment's end: what the decoder holds
        receive();
        fed_any_ = false;  // drained: the next picture starts from its key again
    }
    av_packet_free(&packet);
    if (!last_->buf[0]) {
        error_ = "uszkodzony obraz";
        return nullptr;
    }
    return last_;
}

void FrameDecoder::Release() {
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    fourcc_ = 0;
    width_ = height_ = 0;
}

bool FrameDecoder::Prepare(uint32_t fourcc, int width, int height) {
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

const AVFrame* FrameDecoder::Decode(const std::vector<uint8_t>& bytes, uint32_t fourcc, int width,
                                    int height) {
    if (bytes.empty()) {
        error_ = "pusty obraz";
        return nullptr;
    }
    if (!Prepare(fourcc, width, height))
        return nullptr;
    av_frame_unref(frame_);
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
        return nullptr;
    }
    return frame_;
}

}  // namespace kel

#include "recording/stream_segment.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace kel {

StreamSegment::~StreamSegment() {
    Release();
}

bool StreamSegment::Fail(const std::string& what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    error_ = what + ": " + text;
    return false;
}

void StreamSegment::Release() {
    if (!out_)
        return;
    if (out_->pb)
        avio_closep(&out_->pb);
    avformat_free_context(out_);
    out_ = nullptr;
}

bool StreamSegment::Open(const std::string& path, const AVCodecParameters* params, int timeBaseNum,
                         int timeBaseDen) {
    Release();
    error_.clear();
    packets_ = 0;
    if (!params || timeBaseNum <= 0 || timeBaseDen <= 0) {
        error_ = "no stream to record";
        return false;
    }
    in_num_ = timeBaseNum;
    in_den_ = timeBaseDen;
    int code = avformat_alloc_output_context2(&out_, nullptr, "mp4", path.c_str());
    if (code < 0 || !out_)
        return Fail("cannot make " + path, code < 0 ? code : AVERROR(ENOMEM));
    AVStream* stream = avformat_new_stream(out_, nullptr);
    if (!stream) {
        Release();
        return Fail("cannot make " + path, AVERROR(ENOMEM));
    }
    if ((code = avcodec_parameters_copy(stream->codecpar, params)) < 0) {
        Release();
        return Fail("cannot make " + path, code);
    }
    stream->codecpar->codec_tag = 0;  // the container's own tag for the codec
    stream->time_base = AVRational{timeBaseNum, timeBaseDen};
    if ((code = avio_open(&out_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        Release();
        return Fail("cannot create " + path, code);
    }
    // The header first, a fragment at every key frame, each handed to the system as soon as it is
    // whole: a file cut short plays up to its last whole fragment.
    out_->flush_packets = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    code = avformat_write_header(out_, &options);
    av_dict_free(&options);
    if (code < 0) {
        Release();
        return Fail("cannot write the header of " + path, code);
    }
    return true;
}

bool StreamSegment::Write(const AVPacket* packet) {
    if (!out_) {
        error_ = "no segment open";
        return false;
    }
    AVPacket* copy = av_packet_clone(packet);
    if (!copy)
        return Fail("cannot copy a packet", AVERROR(ENOMEM));
    copy->stream_index = 0;
    av_packet_rescale_ts(copy, AVRational{in_num_, in_den_}, out_->streams[0]->time_base);
    const int code = av_write_frame(out_, copy);
    av_packet_free(&copy);
    if (code < 0)
        return Fail("cannot write a packet", code);
    ++packets_;
    return true;
}

bool StreamSegment::Close() {
    if (!out_)
        return true;
    const int code = av_write_trailer(out_);
    const int closed = avio_closep(&out_->pb);
    avformat_free_context(out_);
    out_ = nullptr;
    if (code < 0)
        return Fail("cannot finish the segment", code);
    if (closed < 0)
        return Fail("cannot close the segment", closed);
    return true;
}

int64_t StreamSegment::Bytes() const {
    return out_ && out_->pb ? avio_tell(out_->pb) : 0;
}

}  // namespace kel

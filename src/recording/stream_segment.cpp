#include "recording/stream_segment.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "platform/file_faults.h"
#include "platform/safe_file.h"

namespace kel {

namespace {

// The text track's sample description: left-aligned white text at the bottom, one font.
constexpr uint8_t kTextSampleEntry[] = {
    0x00, 0x00, 0x00, 0x00,                          // display flags
    0x01, 0xFF,                                      // horizontal, vertical justification
    0x00, 0x00, 0x00, 0x00,                          // background colour (RGBA)
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // text box
    0x00, 0x00, 0x00, 0x00,                          // style: first and last character
    0x00, 0x01, 0x00, 0x12,                          // font 1, plain, 18
    0xFF, 0xFF, 0xFF, 0xFF,                          // text colour (RGBA)
    0x00, 0x00, 0x00, 0x12, 'f',  't',  'a',  'b',   // font table: 18 bytes
    0x00, 0x01, 0x00, 0x01, 0x05, 'S',  'e',  'r',  'i', 'f',
};

constexpr int kVideo = 0;
constexpr int kText = 1;

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint64_t Be64(const uint8_t* p) {
    return uint64_t{Be32(p)} << 32 | Be32(p + 4);
}

bool Type(const uint8_t* header, const char* type) {
    return std::memcmp(header + 4, type, 4) == 0;
}

// A box's header at `at` within [at, end): its whole size and the size of its header; false when
// it is no whole box there.
bool BoxAt(int fd, uint64_t at, uint64_t end, std::array<uint8_t, 16>& header, uint64_t& size,
           uint64_t& head) {
    if (at + 8 > end || !ReadAllAt(fd, header.data(), 8, at))
        return false;
    size = Be32(header.data());
    head = 8;
    if (size == 1) {
        if (at + 16 > end || !ReadAllAt(fd, header.data() + 8, 8, at + 8))
            return false;
        size = Be64(header.data() + 8);
        head = 16;
    }
    return size >= head && at + size <= end;  // size 0 ("up to the end") is never whole here
}

// The samples of the video track (the file's first) in one whole fragment's 'moof'.
uint32_t FragmentPictures(int fd, uint64_t moof, uint64_t end) {
    uint32_t pictures = 0;
    std::array<uint8_t, 16> h{};
    uint64_t size = 0, head = 0;
    for (uint64_t at = moof; at < end && BoxAt(fd, at, end, h, size, head); at += size) {
        if (!Type(h.data(), "traf"))
            continue;
        uint32_t track = 0;
        uint32_t count = 0;
        std::array<uint8_t, 16> c{};
        uint64_t csize = 0, chead = 0;
        for (uint64_t in = at + head; in < at + size && BoxAt(fd, in, at + size, c, csize, chead);
             in += csize) {
            uint8_t body[8] = {};
            if (csize < chead + 8 || !ReadAllAt(fd, body, 8, in + chead))
                continue;
            if (Type(c.data(), "tfhd"))
                track = Be32(body + 4);
            else if (Type(c.data(), "trun"))
                count += Be32(body + 4);
        }
        if (track == 1)
            pictures += count;
    }
    return pictures;
}

}  // namespace

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
                         int timeBaseDen, const SegmentNote& note) {
    Release();
    error_.clear();
    packets_ = 0;
    last_stamp_ = INT64_MIN;
    if (!params || timeBaseNum <= 0 || timeBaseDen <= 0) {
        error_ = "no stream to record";
        return false;
    }
    in_num_ = timeBaseNum;
    in_den_ = timeBaseDen;
    int code = avformat_alloc_output_context2(&out_, nullptr, "mp4", path.c_str());
    if (code < 0 || !out_)
        return Fail("cannot make " + path, code < 0 ? code : AVERROR(ENOMEM));
    AVStream* video = avformat_new_stream(out_, nullptr);
    AVStream* text = video ? avformat_new_stream(out_, nullptr) : nullptr;
    if (!text) {
        Release();
        return Fail("cannot make " + path, AVERROR(ENOMEM));
    }
    if ((code = avcodec_parameters_copy(video->codecpar, params)) < 0) {
        Release();
        return Fail("cannot make " + path, code);
    }
    video->codecpar->codec_tag = 0;  // the container's own tag for the codec
    video->time_base = AVRational{timeBaseNum, timeBaseDen};
    text->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    text->codecpar->codec_id = AV_CODEC_ID_MOV_TEXT;
    text->codecpar->extradata =
        static_cast<uint8_t*>(av_mallocz(sizeof kTextSampleEntry + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!text->codecpar->extradata) {
        Release();
        return Fail("cannot make " + path, AVERROR(ENOMEM));
    }
    std::memcpy(text->codecpar->extradata, kTextSampleEntry, sizeof kTextSampleEntry);
    text->codecpar->extradata_size = sizeof kTextSampleEntry;
    text->time_base = video->time_base;
    av_dict_set(&out_->metadata, "comment", SegmentNoteText(note).c_str(), 0);
    // Never an existing file: a name taken means a clock set back, and what is there stays.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        Release();
        return Fail("cannot create " + path, AVERROR(EEXIST));
    }
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
        FileRemove(path.c_str());
        return Fail("cannot write the header of " + path, code);
    }
    return true;
}

bool StreamSegment::Write(const AVPacket* packet, const std::string& stamp) {
    if (!out_) {
        error_ = "no segment open";
        return false;
    }
    const AVRational in{in_num_, in_den_};
    AVPacket* copy = av_packet_clone(packet);
    if (!copy)
        return Fail("cannot copy a packet", AVERROR(ENOMEM));
    copy->stream_index = kVideo;
    copy->pos = -1;
    av_packet_rescale_ts(copy, in, out_->streams[kVideo]->time_base);
    int code = av_write_frame(out_, copy);
    av_packet_free(&copy);
    if (code < 0)
        return Fail("cannot write a packet", code);
    ++packets_;
    // The moment at the picture's decoding time, which only grows.
    const int64_t at = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (stamp.empty() || at == AV_NOPTS_VALUE || at <= last_stamp_)
        return true;
    last_stamp_ = at;
    AVPacket* sample = av_packet_alloc();
    if (!sample || av_new_packet(sample, static_cast<int>(stamp.size() + 2)) < 0) {
        av_packet_free(&sample);
        return Fail("cannot copy a packet", AVERROR(ENOMEM));
    }
    sample->data[0] = static_cast<uint8_t>(stamp.size() >> 8);
    sample->data[1] = static_cast<uint8_t>(stamp.size());
    std::memcpy(sample->data + 2, stamp.data(), stamp.size());
    sample->stream_index = kText;
    sample->pts = sample->dts = at;
    sample->duration = packet->duration > 0 ? packet->duration : 1;
    sample->flags = AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(sample, in, out_->streams[kText]->time_base);
    code = av_write_frame(out_, sample);
    av_packet_free(&sample);
    return code < 0 ? Fail("cannot write a time stamp", code) : true;
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

bool StreamSegment::ReadNote(const std::string& path, SegmentNote& note) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0)
        return false;
    const AVDictionaryEntry* comment = av_dict_get(in->metadata, "comment", nullptr, 0);
    const bool ok = comment && ParseSegmentNote(comment->value, note);
    avformat_close_input(&in);
    return ok;
}

bool SameStream(const AVCodecParameters* a, const AVCodecParameters* b) {
    return a && b && a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
           a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, a->extradata_size) == 0);
}

bool IsStreamSegment(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".mp4") == 0;
}

RepairResult MendStreamSegment(const std::string& path) {
    RepairResult r;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        r.error = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return r;
    }
    const uint64_t end = static_cast<uint64_t>(st.st_size);
    std::array<uint8_t, 16> h{};
    uint64_t size = 0, head = 0;
    uint64_t at = 0, whole = 0, moof = 0, moofHead = 0;
    bool typed = false, movie = false;
    uint32_t pictures = 0;
    for (; BoxAt(fd, at, end, h, size, head); at += size) {
        if (!typed && !Type(h.data(), "ftyp"))
            break;  // no MP4 file
        typed = true;
        if (Type(h.data(), "moov")) {
            movie = true;
        } else if (Type(h.data(), "moof")) {
            moof = at;
            moofHead = head;
            continue;  // whole once its data is
        } else if (Type(h.data(), "mdat") && moof != 0) {
            pictures += FragmentPictures(fd, moof + moofHead, at);
        }
        moof = 0;
        whole = at + size;
    }
    if (!typed && end >= 8) {
        ::close(fd);
        r.error = "no MP4 file";
        return r;
    }
    r.ok = true;
    r.pictures = movie ? pictures : 0;
    if (movie && whole < end) {
        r.cut = 1;
        if (::ftruncate(fd, static_cast<off_t>(whole)) != 0 || ::fsync(fd) != 0) {
            r.ok = false;
            r.error = std::strerror(errno);
        }
    }
    ::close(fd);
    return r;
}

}  // namespace kel

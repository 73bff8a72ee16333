#include "recording/segment_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/safe_file.h"
#include "recording/avi_format.h"
#include "recording/stream_segment.h"

namespace kel {

namespace {

constexpr uint32_t kList = FourCC("LIST");
constexpr int kMaxStreams = 10;
// A picture larger than this is no picture of ours: the walk stops at it as at damage.
constexpr uint32_t kMaxChunk = 16u << 20;

// Days from 30 December 1899 to the given date (proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

}  // namespace

StreamPictures::~StreamPictures() {
    avcodec_parameters_free(&params);
}

size_t SegmentReader::KeyBefore(size_t i) const {
    if (!stream_ || stream_->times.empty())
        return stream_ ? 0 : i;
    for (size_t k = std::min(i, stream_->times.size() - 1) + 1; k-- > 0;)
        if (stream_->times[k].key)
            return k;
    return 0;
}

// The whole file read once: a picture per video packet, its bytes where the packet says, and the
// stamps of the text track, each given to the picture decoded at its time.
bool SegmentReader::OpenStream() {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path_.c_str(), nullptr, nullptr) < 0)
        return Fail("to nie jest nagranie MP4");
    int video = -1, text = -1;
    for (unsigned s = 0; s < in->nb_streams; ++s) {
        const AVCodecParameters* p = in->streams[s]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && video < 0)
            video = static_cast<int>(s);
        else if (p->codec_type == AVMEDIA_TYPE_SUBTITLE && text < 0)
            text = static_cast<int>(s);
    }
    if (video < 0) {
        avformat_close_input(&in);
        return Fail("brak strumienia obrazu");
    }
    auto stream = std::make_unique<StreamPictures>();
    const AVStream* v = in->streams[video];
    stream->params = avcodec_parameters_alloc();
    if (!stream->params || avcodec_parameters_copy(stream->params, v->codecpar) < 0) {
        avformat_close_input(&in);
        return Fail("brak pamieci");
    }
    stream->timeBaseNum = v->time_base.num;
    stream->timeBaseDen = v->time_base.den;
    width_ = v->codecpar->width;
    height_ = v->codecpar->height;
    compression_ = v->codecpar->codec_tag ? v->codecpar->codec_tag : FourCC("H264");
    if (v->avg_frame_rate.num > 0 && v->avg_frame_rate.den > 0)
        rate_ = av_q2d(v->avg_frame_rate);
    std::vector<std::pair<int64_t, std::string>> stamps;  // at the video's time base
    AVPacket* packet = av_packet_alloc();
    int rc = 0;
    while (packet && (rc = av_read_frame(in, packet)) >= 0) {
        if (packet->stream_index == video && packet->pos >= 0) {
            pictures_.push_back(
                {{static_cast<uint64_t>(packet->pos), static_cast<uint32_t>(packet->size)}, {}});
            stream->times.push_back(
                {(packet->flags & AV_PKT_FLAG_KEY) != 0, packet->pts, packet->dts, packet->duration});
        } else if (packet->stream_index == text && packet->size > 2) {
            const size_t length =
                std::min<size_t>(static_cast<size_t>(packet->data[0]) << 8 | packet->data[1],
                                 static_cast<size_t>(packet->size) - 2);
            const int64_t at = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            stamps.emplace_back(av_rescale_q(at, in->streams[text]->time_base, v->time_base),
                                std::string(reinterpret_cast<const char*>(packet->data + 2), length));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&in);
    damaged_ = rc != AVERROR_EOF;
    stream->stamps.resize(pictures_.size());
    size_t s = 0;
    for (size_t i = 0; i < pictures_.size(); ++i) {
        const int64_t at =
            stream->times[i].dts != AV_NOPTS_VALUE ? stream->times[i].dts : stream->times[i].pts;
        while (s + 1 < stamps.size() && stamps[s + 1].first <= at)
            ++s;
        if (s < stamps.size() && stamps[s].first <= at)
            stream->stamps[i] = stamps[s].second;
    }
    stream_ = std::move(stream);
    walked_ = FileSize();
    // A segment being written grows; a closed one ends with its fragments' index.
    indexed_ = false;
    return true;
}

SegmentReader::~SegmentReader() {
    Close();
}

SegmentReader::SegmentReader(SegmentReader&& other) noexcept {
    *this = std::move(other);
}

SegmentReader& SegmentReader::operator=(SegmentReader&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        width_ = other.width_;
        height_ = other.height_;
        compression_ = other.compression_;
        rate_ = other.rate_;
        streams_ = other.streams_;
        video_stream_ = other.video_stream_;
        text_stream_ = other.text_stream_;
        movi_type_ = other.movi_type_;
        walked_ = other.walked_;
        indexed_ = other.indexed_;
        damaged_ = other.damaged_;
        pictures_ = std::move(other.pictures_);
        waiting_ = std::move(other.waiting_);
        stream_ = std::move(other.stream_);
    }
    return *this;
}

void SegmentReader::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    pictures_.clear();
    waiting_.clear();
    stream_.reset();
    indexed_ = damaged_ = false;
    streams_ = 0;
    video_stream_ = text_stream_ = -1;
}

bool SegmentReader::Fail(const std::string& what) {
    error_ = path_ + ": " + what;
    return false;
}

uint64_t SegmentReader::FileSize() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool SegmentReader::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return Fail(std::strerror(errno));
    if (IsStreamSegment(path)) {
        if (OpenStream())
            return true;
        std::string why = error_;
        Close();
        error_ = why;
        return false;
    }
    if (!ReadHeaders()) {
        std::string why = error_;
        Close();
        error_ = why;
        return false;
    }
    if (!ReadIndex())
        Walk();
    return true;
}

// RIFF 'AVI ', LIST 'hdrl' with 'avih' and one LIST 'strl' ('strh', 'strf') per stream, then the
// 'movi' list, possibly after padding chunks.
bool SegmentReader::ReadHeaders() {
    const uint64_t size = FileSize();
    auto u32 = [&](uint64_t at, uint32_t& v) { return at + 4 <= size && ReadAllAt(fd_, &v, 4, at); };
    uint32_t riff = 0, avi = 0, list = 0, hdrlSize = 0, hdrl = 0;
    if (!u32(0, riff) || !u32(8, avi) || riff != FourCC("RIFF") || avi != FourCC("AVI "))
        return Fail("to nie jest plik AVI");
    if (!u32(12, list) || !u32(16, hdrlSize) || !u32(20, hdrl) || list != kList || hdrl != FourCC("hdrl"))
        return Fail("brak naglowka AVI");
    const uint64_t hdrlEnd = 20 + uint64_t{hdrlSize};
    uint32_t microSecPerFrame = 0;
    for (uint64_t at = 24; at + 8 <= hdrlEnd && at + 8 <= size;) {
        uint32_t id = 0, chunk = 0, type = 0;
        if (!u32(at, id) || !u32(at + 4, chunk))
            break;
        if (id == FourCC("avih") && chunk >= sizeof(AviMainHeader)) {
            AviMainHeader h;
            if (ReadAllAt(fd_, &h, sizeof h, at + 8))
                microSecPerFrame = h.dwMicroSecPerFrame;
        } else if (id == kList && u32(at + 8, type) && type == FourCC("strl") && streams_ < kMaxStreams) {
            const int stream = streams_++;
            uint32_t inner = 0, innerSize = 0;
            AviStreamHeader h;
            if (u32(at + 12, inner) && u32(at + 16, innerSize) && inner == FourCC("strh") &&
                innerSize >= sizeof h && ReadAllAt(fd_, &h, sizeof h, at + 20)) {
                if (h.fccType == FourCC("vids") && video_stream_ < 0) {
                    video_stream_ = stream;
                    if (h.dwScale > 0 && h.dwRate > 0)
                        rate_ = static_cast<double>(h.dwRate) / h.dwScale;
                    const uint64_t strf = at + 20 + PaddedSize(innerSize);
                    uint32_t fmt = 0, fmtSize = 0;
                    BitmapInfoHeader bih;
                    if (u32(strf, fmt) && u32(strf + 4, fmtSize) && fmt == FourCC("strf") &&
                        fmtSize >= sizeof bih && ReadAllAt(fd_, &bih, sizeof bih, strf + 8)) {
                        width_ = bih.biWidth;
                        height_ = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
                        compression_ = bih.biCompression;
                    }
                } else if (h.fccType == FourCC("txts") && text_stream_ < 0) {
                    text_stream_ = stream;
                }
            }
        }
        at += 8 + PaddedSize(chunk);
    }
    if (video_stream_ < 0 || width_ <= 0 || height_ <= 0 || width_ > 8192 || height_ > 8192)
        return Fail("brak strumienia obrazu");
    if (rate_ <= 0 && microSecPerFrame > 0)
        rate_ = 1e6 / microSecPerFrame;
    if (!(rate_ > 0 && rate_ <= 1000))
        rate_ = 25;
    // The 'movi' list, after any 'JUNK' that pads the headers.
    for (uint64_t at = hdrlEnd; at + 12 <= size;) {
        uint32_t id = 0, chunk = 0, type = 0;
        if (!u32(at, id) || !u32(at + 4, chunk))
            break;
        if (id == kList && u32(at + 8, type) && type == FourCC("movi")) {
            movi_type_ = at + 8;
            walked_ = movi_type_ + 4;
            return true;
        }
        if (id == kList)
            break;
        at += 8 + PaddedSize(chunk);
    }
    return Fail("brak listy obrazow");
}

void SegmentReader::Add(int stream, const Chunk& chunk) {
    if (stream == video_stream_) {
        if (text_stream_ < 0)
            pictures_.push_back({chunk, {}});
        else
            waiting_.push_back(chunk);
    } else if (stream == text_stream_ && !waiting_.empty()) {
        pictures_.push_back({waiting_.front(), chunk});
        waiting_.erase(waiting_.begin());
    }
}

// The index follows the 'movi' list. Entries that point outside the list, or at something that
// is not the chunk they name, end the pictures there: the file is damaged from that point.
bool SegmentReader::ReadIndex() {
    const uint64_t size = FileSize();
    uint32_t moviSize = 0, id = 0, idxSize = 0;
    if (!ReadAllAt(fd_, &moviSize, 4, movi_type_ - 4))
        return false;
    const uint64_t idx = movi_type_ + PaddedSize(moviSize);
    if (moviSize < 4 || idx + 8 > size || !ReadAllAt(fd_, &id, 4, idx) || id != FourCC("idx1") ||
        !ReadAllAt(fd_, &idxSize, 4, idx + 4))
        return false;
    uint64_t count = idxSize / sizeof(AviIndexEntry);
    if (idx + 8 + count * sizeof(AviIndexEntry) > size) {
        damaged_ = true;
        count = (size - idx - 8) / sizeof(AviIndexEntry);
    }
    std::vector<AviIndexEntry> entries(count);
    if (count > 0 && !ReadAllAt(fd_, entries.data(), count * sizeof(AviIndexEntry), idx + 8))
        return false;
    pictures_.clear();
    waiting_.clear();
    const uint64_t moviEnd = movi_type_ + moviSize;
    for (const AviIndexEntry& e : entries) {
        const int stream = StreamOfChunk(e.ckid);
        const uint64_t at = movi_type_ + e.dwChunkOffset;
        uint32_t head[2] = {};
        if (stream < 0 || stream >= streams_ || at + 8 + e.dwChunkLength > moviEnd ||
            !ReadAllAt(fd_, head, 8, at) || head[0] != e.ckid || head[1] != e.dwChunkLength) {
            damaged_ = true;
            break;
        }
        Add(stream, {at + 8, e.dwChunkLength});
    }
    waiting_.clear();
    indexed_ = true;
    return true;
}

void SegmentReader::Walk() {
    const uint64_t size = FileSize();
    uint64_t at = walked_;
    damaged_ = false;
    while (at + 8 <= size) {
        uint32_t head[2] = {};
        if (!ReadAllAt(fd_, head, 8, at) || head[0] == FourCC("idx1"))
            break;
        const int stream = StreamOfChunk(head[0]);
        if (stream < 0 || stream >= streams_ || head[1] > kMaxChunk) {
            damaged_ = true;
            break;
        }
        if (at + 8 + PaddedSize(head[1]) > size)
            break;  // not all written yet, or cut short
        Add(stream, {at + 8, head[1]});
        at += 8 + PaddedSize(head[1]);
    }
    walked_ = at;
}

bool SegmentReader::Refresh(bool& changed) {
    changed = false;
    if (fd_ < 0)
        return Fail("plik nie jest otwarty");
    if (indexed_)
        return true;  // a finished file does not change
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return Fail(std::string("plik zniknal: ") + std::strerror(errno));
    if (stream_) {
        // A stream segment still being written is read again when it has grown.
        if (static_cast<uint64_t>(st.st_size) == walked_)
            return true;
        const size_t had = pictures_.size();
        if (!Open(path_))
            return false;
        changed = pictures_.size() != had;
        return true;
    }
    const size_t before = pictures_.size();
    if (ReadIndex()) {
        changed = pictures_.size() != before;
        return true;
    }
    Walk();
    changed = pictures_.size() != before;
    return true;
}

bool SegmentReader::ReadPicture(size_t i, std::vector<uint8_t>& out) {
    if (i >= pictures_.size())
        return Fail("nie ma obrazu " + std::to_string(i));
    const Chunk& c = pictures_[i].video;
    out.resize(c.size);
    if (c.size > 0 && !ReadAllAt(fd_, out.data(), c.size, c.at))
        return Fail("nie mozna odczytac obrazu " + std::to_string(i) + ": " + std::strerror(errno));
    return true;
}

std::string SegmentReader::Stamp(size_t i) {
    if (stream_)
        return i < stream_->stamps.size() ? stream_->stamps[i] : std::string();
    if (i >= pictures_.size() || pictures_[i].stamp.size == 0)
        return {};
    const Chunk& c = pictures_[i].stamp;
    uint8_t b[64] = {};
    const size_t n = c.size < sizeof b ? c.size : sizeof b;
    if (!ReadAllAt(fd_, b, n, c.at))
        return {};
    const size_t length = b[0] < n ? b[0] : n - 1;
    return std::string(reinterpret_cast<const char*>(b + 1), length);
}

bool SegmentReader::ParseStamp(const std::string& stamp, int64_t& ms) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, milli = 0, used = 0;
    if (std::sscanf(stamp.c_str(), "%4d-%2d-%2d: %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6)
        return false;
    const char* rest = stamp.c_str() + used;
    if (*rest == '.') {
        int digits = 0;
        if (std::sscanf(rest, ".%3d%n", &milli, &digits) != 1 || digits != 4 || rest[digits] != 0 ||
            milli < 0)
            return false;
    } else if (*rest != 0) {
        return false;
    }
    if (y < 1900 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
        s < 0)
        return false;
    ms = ((DaysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60000 + s * 1000 + milli;
    return true;
}

}  // namespace kel

#include "recording/segment.h"

#include "recording/stream_segment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/safe_file.h"
#include "recording/avi_format.h"

namespace kel {

namespace {

std::vector<uint8_t> VideoFormat(int width, int height) {
    // As the streams have always been described: no planes, 24 bits, DIV3, nothing else.
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 0;
    h.biBitCount = 24;
    h.biCompression = kFourCCDiv3;
    const auto* p = reinterpret_cast<const uint8_t*>(&h);
    return std::vector<uint8_t>(p, p + sizeof h);
}

std::vector<uint8_t> TextFormat(const std::array<uint8_t, Segment::kStampBytes>& sample) {
    std::vector<uint8_t> block(Segment::kTextFormatBytes, 0);
    const int32_t chars = 30;
    std::memcpy(block.data(), &chars, sizeof chars);
    std::memcpy(block.data() + 4, sample.data(), sample.size());
    return block;
}

AviStreamHeader StreamHeader(uint32_t type, int fps) {
    AviStreamHeader h;
    h.fccType = type;
    h.fccHandler = kFourCCDiv3;
    h.dwScale = 1;
    h.dwRate = static_cast<uint32_t>(std::max(1, fps));
    return h;
}

std::string NoteText(bool onMotion, double startTime, int32_t motionCount) {
    return SegmentNoteText(SegmentNote{onMotion, startTime, motionCount});
}

}  // namespace

std::string SegmentNoteText(const SegmentNote& note) {
    char text[AviWriter::kCommentBytes];
    std::snprintf(text, sizeof text, "KEL mode=%s start=%.17g motions=%d",
                  note.onMotion ? "motion" : "continuous", note.startTime, note.motionCount);
    return text;
}

bool ParseSegmentNote(const std::string& comment, SegmentNote& note) {
    char mode[16] = {};
    SegmentNote read;
    if (std::sscanf(comment.c_str(), "KEL mode=%15s start=%lf motions=%d", mode, &read.startTime,
                    &read.motionCount) != 3 ||
        (std::strcmp(mode, "motion") != 0 && std::strcmp(mode, "continuous") != 0) ||
        !std::isfinite(read.startTime) || read.motionCount < 0)
        return false;
    read.onMotion = std::strcmp(mode, "motion") == 0;
    note = read;
    return true;
}

bool Segment::ReadNote(const std::string& path, SegmentNote& note) {
    if (IsStreamSegment(path))
        return StreamSegment::ReadNote(path, note);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto u32 = [&](uint64_t at, uint32_t& v) { return ReadAllAt(fd, &v, 4, at); };
    uint32_t riff = 0, avi = 0, list = 0, hdrlSize = 0, hdrl = 0;
    std::string comment;
    if (u32(0, riff) && u32(8, avi) && riff == FourCC("RIFF") && avi == FourCC("AVI ") && u32(12, list) &&
        u32(16, hdrlSize) && u32(20, hdrl) && list == FourCC("LIST") && hdrl == FourCC("hdrl")) {
        const uint64_t hdrlEnd = 20 + uint64_t{hdrlSize};
        for (uint64_t at = 24; at + 12 <= hdrlEnd;) {
            uint32_t id = 0, size = 0, type = 0, inner = 0, innerSize = 0;
            if (!u32(at, id) || !u32(at + 4, size))
                break;
            if (id == FourCC("LIST") && u32(at + 8, type) && type == FourCC("INFO") && u32(at + 12, inner) &&
                u32(at + 16, innerSize) && inner == FourCC("ICMT") && innerSize <= AviWriter::kCommentBytes) {
                comment.resize(innerSize);
                if (!ReadAllAt(fd, comment.data(), innerSize, at + 20))
                    comment.clear();
                break;
            }
            at += 8 + PaddedSize(size);
        }
    }
    ::close(fd);
    comment = comment.c_str();  // up to its terminating zero
    return ParseSegmentNote(comment, note);
}

std::array<uint8_t, Segment::kStampBytes> Segment::StampSample(const std::string& stamp) {
    std::array<uint8_t, kStampBytes> sample{};
    size_t n = std::min(stamp.size(), kStampBytes - 1);
    sample[0] = static_cast<uint8_t>(n);
    std::memcpy(sample.data() + 1, stamp.data(), n);
    return sample;
}

bool Segment::Open(const std::string& path, const std::string& name, double startTime, int width, int height,
                   int fps, bool onMotion) {
    writer_.Reset();
    video_ = writer_.AddStream(StreamHeader(FourCC("vids"), fps), VideoFormat(width, height), "dc");
    text_ = writer_.AddStream(StreamHeader(FourCC("txts"), fps), TextFormat(StampSample("")), "tx");
    writer_.SetComment(NoteText(onMotion, startTime, 0));
    on_motion_ = onMotion;
    if (!writer_.Create(path, width, height))
        return false;
    width_ = width;
    height_ = height;
    bytes_ = 0;
    path_ = path;
    name_ = name;
    start_time_ = startTime;
    return true;
}

bool Segment::WriteFrame(const uint8_t* data, size_t size, const std::string& stamp) {
    auto sample = StampSample(stamp);
    AviWriter::Mark mark = writer_.Here();
    if (!writer_.Write(video_, data, size, true) ||
        !writer_.Write(text_, sample.data(), sample.size(), true)) {
        writer_.RollBack(mark);
        return false;
    }
    std::vector<uint8_t> format = TextFormat(sample);
    writer_.SetFormat(text_, format.data(), format.size());
    bytes_ += size;
    return true;
}

bool Segment::Close(int32_t motionCount) {
    writer_.SetComment(NoteText(on_motion_, start_time_, motionCount));
    return writer_.Close();
}

}  // namespace kel

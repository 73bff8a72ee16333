#include "recording/segment.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

}  // namespace

std::array<uint8_t, Segment::kStampBytes> Segment::StampSample(const std::string& stamp) {
    std::array<uint8_t, kStampBytes> sample{};
    size_t n = std::min(stamp.size(), kStampBytes - 1);
    sample[0] = static_cast<uint8_t>(n);
    std::memcpy(sample.data() + 1, stamp.data(), n);
    return sample;
}

bool Segment::Open(const std::string& path, const std::string& name, double startTime, int width, int height,
                   int fps) {
    writer_.Reset();
    video_ = writer_.AddStream(StreamHeader(FourCC("vids"), fps), VideoFormat(width, height), "dc");
    text_ = writer_.AddStream(StreamHeader(FourCC("txts"), fps), TextFormat(StampSample("")), "tx");
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

bool Segment::Close() {
    return writer_.Close();
}

}  // namespace kel

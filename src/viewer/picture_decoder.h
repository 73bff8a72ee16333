#pragma once
// Turns one recorded picture into an image: the FrameDecoder decodes it and libswscale converts
// it to 32-bit RGB.

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

#include "recording/frame_decoder.h"
#include "recording/segment_reader.h"

struct AVFrame;
struct SwsContext;

namespace kel {

class PictureDecoder {
public:
    PictureDecoder() = default;
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Decodes `bytes`, a picture of `fourcc` (DIV3 and the formats libavcodec knows by their AVI
    // code) of width x height. A null image with ErrorText when it cannot be decoded.
    QImage Decode(const std::vector<uint8_t>& bytes, uint32_t fourcc, int width, int height);
    // Picture i of the stream segment `reader` has open. A null image with ErrorText.
    QImage DecodeStream(SegmentReader& reader, size_t i);
    // Pictures decoded by DecodeStream so far (for tests and benchmarks).
    uint64_t StreamPicturesDecoded() const { return frames_.StreamPicturesDecoded(); }
    const std::string& ErrorText() const { return error_; }

private:
    QImage ToImage(const AVFrame* frame);

    FrameDecoder frames_;
    SwsContext* sws_ = nullptr;
    std::string error_;
};

}  // namespace kel

#pragma once
// Turns one recorded picture into an image: libavcodec decodes the compressed picture and
// libswscale converts it to 32-bit RGB. Every picture of an AVI segment is a key picture, so any
// one decodes on its own. A picture of a stream segment is decoded from the key picture before
// it; played forward, each picture goes on from the one before, so only a seek decodes a group
// from its start.

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

#include "recording/segment_reader.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
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
    uint64_t StreamPicturesDecoded() const { return stream_decoded_; }
    const std::string& ErrorText() const { return error_; }

private:
    bool Prepare(uint32_t fourcc, int width, int height);
    void Release();
    bool PrepareStream(const SegmentReader& reader);
    void ReleaseStream();
    QImage ToImage(const AVFrame* frame);

    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    uint32_t fourcc_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> padded_;
    std::string error_;

    // The stream decoder, for one segment at a time.
    AVCodecContext* stream_codec_ = nullptr;
    AVFrame* stream_frame_ = nullptr;
    AVFrame* last_ = nullptr;  // the last picture returned (its pts)
    std::string stream_path_;
    size_t fed_ = 0;  // packets fed: up to fed_ - 1, since the last flush
    bool fed_any_ = false;
    uint64_t stream_decoded_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace kel

#pragma once
// Decodes recorded pictures with libavcodec into the decoder's own frames (planar YUV as the
// codec gives them). Every picture of an AVI segment is a key picture, so any one decodes on its
// own. A picture of a stream segment is decoded from the key picture before it; played forward,
// each picture goes on from the one before, so only a seek decodes a group from its start.
//
// A returned frame stays valid until the next call. One thread uses a decoder at a time.

#include <cstdint>
#include <string>
#include <vector>

#include "recording/segment_reader.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace kel {

class FrameDecoder {
public:
    FrameDecoder() = default;
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Decodes `bytes`, a picture of `fourcc` (DIV3 and the formats libavcodec knows by their AVI
    // code) of width x height. Null with ErrorText when it cannot be decoded.
    const AVFrame* Decode(const std::vector<uint8_t>& bytes, uint32_t fourcc, int width, int height);
    // Picture i of the stream segment `reader` has open. Null with ErrorText.
    const AVFrame* DecodeStream(SegmentReader& reader, size_t i);
    // Pictures decoded by DecodeStream so far (for tests and benchmarks).
    uint64_t StreamPicturesDecoded() const { return stream_decoded_; }
    const std::string& ErrorText() const { return error_; }

private:
    bool Prepare(uint32_t fourcc, int width, int height);
    void Release();
    bool PrepareStream(const SegmentReader& reader);
    void ReleaseStream();

    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
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

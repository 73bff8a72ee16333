#pragma once
// Records a network camera that has a privacy mask at the camera's own size and rate, without
// what the mask hides: each packet of the camera's stream is decoded, the masked cells of the
// zone grid are painted black in the whole picture, and the picture is compressed again as H.264
// (libx264), a key picture wherever the camera sent one. What comes out goes where the camera's
// own packets would have gone, so the camera's recordings stay the same MP4 segments.
//
// A cell that covers part of a pixel covers all of it: no pixel of a masked cell survives the
// rounding, whatever the picture's size. Pictures before the stream's first key frame are not
// decoded; a change of the stream (codec, size, extra data) starts both coders again.
//
// One thread at a time (the camera's source thread).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/hicap/board_backend.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace kel {

class MaskedEncoder {
public:
    // The compression: quick enough for many cameras at 1920x1080 on one station.
    static constexpr const char* kPreset = "veryfast";
    static constexpr int kQuality = 23;  // libx264's constant rate factor

    using Out = std::function<void(const StreamPacket& packet)>;

    // `cells`: the 176 x 144 zone grid row by row, 1 for a masked cell.
    explicit MaskedEncoder(const uint8_t* cells);
    ~MaskedEncoder();
    MaskedEncoder(const MaskedEncoder&) = delete;
    MaskedEncoder& operator=(const MaskedEncoder&) = delete;

    // One packet of the camera's stream in; each compressed picture it gives to `out` (its packet
    // and parameters valid during the call). A null packet ends the stream: what the coders hold
    // goes out first. False with ErrorText when the stream cannot be decoded or compressed (the
    // next key frame tries again).
    bool Packet(const StreamPacket& in, const Out& out);
    const std::string& ErrorText() const { return error_; }
    // Whether a stream is being coded; Reset drops it (the next key frame starts again).
    bool Active() const { return decoder_ != nullptr; }
    void Reset() { Close(); }

    // Paints the masked cells of `frame` (planar YUV) black. For tests and the benchmark.
    void Paint(AVFrame* frame);

private:
    bool Open(const StreamPacket& in);
    bool OpenEncoder(const AVFrame* frame);
    void Close();
    bool Encode(AVFrame* frame, const Out& out);
    bool Fail(const std::string& what, int code);

    std::vector<uint8_t> cells_;
    AVCodecContext* decoder_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVCodecParameters* in_params_ = nullptr;   // the stream the coders were opened for
    AVCodecParameters* out_params_ = nullptr;  // what the compressed packets are
    AVFrame* frame_ = nullptr;
    AVFrame* converted_ = nullptr;  // a picture of another layout, as 4:2:0
    SwsContext* converter_ = nullptr;
    AVPacket* packet_ = nullptr;
    int tb_num_ = 1, tb_den_ = 1;
    bool keyed_ = false;  // the stream's first key frame was seen
    // The painted spans for the picture size last seen: per plane, per line, [from, to) bytes.
    int painted_width_ = 0, painted_height_ = 0, painted_format_ = -1;
    std::vector<std::vector<std::vector<std::pair<int, int>>>> spans_;
    std::string error_;
};

}  // namespace kel

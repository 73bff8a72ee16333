#pragma once
// TVideoCompressor: the recorder's DIV3 compressor, MS MPEG-4 v3 from libavcodec. A UYVY picture
// is converted to 4:2:0 (picture_convert.h) and compressed on its own as a key frame, so every picture
// of a recording can be decoded without its neighbours.
//
// Quality: the recorder asks for quality 500 (of 10,000), which stands for the fixed quantiser 5,
// some 6 to 13 KB a 352 x 288 camera picture at about 40 dB (the simulated board's flat picture:
// 7 KB, 50 dB luma). A picture is never larger than the slot it goes to: when it is, it is
// compressed again with a doubled quantiser (10, 20, then 31, the coarsest); one that does not fit
// even then is refused, and the caller drops it and logs it. Only noise comes near: a 704 x 576
// picture of pure noise takes 520 KB at quantiser 5 and 140 KB at 31.
//
// The encoders and converters are made on the first picture of each size and kept until Close.
// One thread uses the compressor at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "recording/avi_format.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace kel {

class TVideoCompressor {
public:
    static constexpr int kQuality = 500;
    static constexpr int kQuantiser = 5;  // what quality 500 stands for
    static constexpr int kCoarsestQuantiser = 31;

    TVideoCompressor() = default;
    ~TVideoCompressor();
    TVideoCompressor(const TVideoCompressor&) = delete;
    TVideoCompressor& operator=(const TVideoCompressor&) = delete;

    // Finds the encoder. False with ErrorText when the library has none.
    bool Open();
    void Close();
    bool IsOpen() const { return codec_ != nullptr; }

    // Compresses a UYVY picture of width x height (both even, at most 704 x 576) into `out`.
    // True with `size` set when the picture fits in `capacity` bytes; false with ErrorText when
    // the encoder fails or the picture does not fit at the coarsest quantiser.
    bool Compress(const uint8_t* uyvy, int width, int height, uint8_t* out, size_t capacity, size_t& size);

    // The quantiser the last compressed picture took.
    int LastQuantiser() const { return last_quantiser_; }
    // The output format the recorder's streams are described with: DIV3, 24 bits, one plane.
    static BitmapInfoHeader OutputFormat(int width, int height, uint32_t sizeImage);
    const std::string& ErrorText() const { return error_; }

private:
    // The encoder and converter of one picture size.
    struct Coder {
        int width = 0;
        int height = 0;
        AVCodecContext* context = nullptr;
        AVFrame* frame = nullptr;
    };
    Coder* CoderFor(int width, int height);
    bool MakeCoder(Coder& c, int width, int height);
    static void FreeCoder(Coder& c);
    bool Encode(Coder& c, int quantiser);
    bool Fail(const std::string& what, int code = 0);

    const AVCodec* codec_ = nullptr;
    std::array<Coder, 4> coders_{};  // one per picture size in use
    AVPacket* packet_ = nullptr;
    int last_quantiser_ = 0;
    std::string error_;
};

}  // namespace kel

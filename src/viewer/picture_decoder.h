#pragma once
// Turns one recorded picture into an image: libavcodec decodes the compressed picture (every
// picture of a segment is a key picture, so any one decodes on its own) and libswscale converts
// it to 32-bit RGB.

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

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
    const std::string& ErrorText() const { return error_; }

private:
    bool Prepare(uint32_t fourcc, int width, int height);
    void Release();

    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    uint32_t fourcc_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> padded_;
    std::string error_;
};

}  // namespace kel

#pragma once
// JPEG pictures for the web view, made by libjpeg-turbo straight from the station's YUV pictures:
// a UYVY picture is split into its planes (4:2:2, no colour conversion) and a decoded YUV 4:2:0
// picture is compressed as it is. One encoder per thread.

#include <cstdint>
#include <string>
#include <vector>

#include "capture/frame_bank.h"

namespace kel {

class JpegEncoder {
public:
    static constexpr int kQuality = 75;

    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // A UYVY picture (2 bytes a pixel, `width` even) as JPEG into `out`, after the first `head`
    // bytes (left for the caller's own). False with ErrorText.
    bool EncodeUyvy(const uint8_t* picture, int width, int height, std::vector<uint8_t>& out,
                    int quality = kQuality, size_t head = 0);
    // A published camera picture (see FrameBank) as JPEG, as EncodeUyvy does; false, too, for a
    // picture of no known size or shorter than its size.
    bool EncodePicture(const FrameBank::Picture& picture, std::vector<uint8_t>& out, int quality = kQuality,
                       size_t head = 0);
    // Three planes of a YUV 4:2:0 picture with their line strides.
    bool EncodeI420(const uint8_t* const planes[3], const int strides[3], int width, int height,
                    std::vector<uint8_t>& out, int quality = kQuality, size_t head = 0);

    const std::string& ErrorText() const { return error_; }

private:
    bool Compress(const uint8_t* const planes[3], const int strides[3], int width, int height,
                  int subsampling, int quality, std::vector<uint8_t>& out, size_t head);

    void* handle_ = nullptr;
    std::vector<uint8_t> planes_;  // the split planes of the last UYVY picture
    std::string error_;
};

}  // namespace kel

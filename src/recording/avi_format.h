#pragma once
// The byte images of an AVI 1.0 file's headers and of the picture formats the recorder uses:
// packed, little-endian, sizes checked at compile time.

#include <cstddef>
#include <cstdint>

namespace kel {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// A chunk's size with the pad byte that keeps the next chunk at an even offset.
constexpr uint64_t PaddedSize(uint32_t size) {
    return uint64_t{size} + (size % 2);
}

// The stream a chunk id "NNxx" names, or -1.
constexpr int StreamOfChunk(uint32_t id) {
    const int tens = static_cast<int>(id & 0xFF) - '0';
    const int ones = static_cast<int>((id >> 8) & 0xFF) - '0';
    if (tens < 0 || tens > 9 || ones < 0 || ones > 9)
        return -1;
    return tens * 10 + ones;
}

constexpr uint32_t kFourCCDiv3 = FourCC("DIV3");
constexpr uint32_t kFourCCUyvy = FourCC("UYVY");

#pragma pack(push, 1)

struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// 'avih'
struct AviMainHeader {
    uint32_t dwMicroSecPerFrame = 0;
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwPaddingGranularity = 0;
    uint32_t dwFlags = 0;
    uint32_t dwTotalFrames = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwReserved[4] = {};
};

// 'strh'
struct AviStreamHeader {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int16_t rcFrame[4] = {};
};

// One entry of 'idx1'.
struct AviIndexEntry {
    uint32_t ckid = 0;
    uint32_t dwFlags = 0;
    uint32_t dwChunkOffset = 0;  // from the 'movi' list's type field
    uint32_t dwChunkLength = 0;
};

#pragma pack(pop)

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;

static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(offsetof(BitmapInfoHeader, biCompression) == 16);
static_assert(offsetof(BitmapInfoHeader, biSizeImage) == 20);
static_assert(sizeof(AviMainHeader) == 56);
static_assert(sizeof(AviStreamHeader) == 56);
static_assert(offsetof(AviStreamHeader, dwRate) == 24);
static_assert(offsetof(AviStreamHeader, dwLength) == 32);
static_assert(sizeof(AviIndexEntry) == 16);

}  // namespace kel

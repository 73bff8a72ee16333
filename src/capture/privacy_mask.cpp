#include "capture/privacy_mask.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <emmintrin.h>

namespace kel {

namespace {
// A line of the widest picture in black, copied into every masked run.
constexpr size_t kLongestLine = 2 * 704;
const std::array<uint8_t, kLongestLine> kBlack = [] {
    std::array<uint8_t, kLongestLine> b{};
    for (size_t i = 0; i < b.size(); i += 2) {
        b[i] = 128;
        b[i + 1] = 16;
    }
    return b;
}();
// Rows of up to this many runs are copied around them; rows of more are blended.
constexpr size_t kFewRuns = 4;

// `to` = `from` where `keep` is 0xff, black where it is 0: 16 bytes at a time (`bytes` is a
// multiple of 16 at every picture width).
void Blend(uint8_t* to, const uint8_t* from, const uint8_t* keep, size_t bytes) {
    const __m128i black = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBlack.data()));
    for (size_t i = 0; i < bytes; i += 16) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_or_si128(_mm_and_si128(f, k), _mm_andnot_si128(k, black)));
    }
}
}  // namespace

std::shared_ptr<const PrivacyMask> PrivacyMask::Make(const uint8_t* cells) {
    std::shared_ptr<PrivacyMask> mask(new PrivacyMask);
    mask->rows_.resize(kZoneRows);
    for (int r = 0; r < kZoneRows; ++r) {
        const uint8_t* row = cells + r * kZoneCols;
        for (int c = 0; c < kZoneCols;) {
            if (row[c] != 1) {
                ++c;
                continue;
            }
            const int first = c;
            while (c < kZoneCols && row[c] == 1)
                ++c;
            mask->rows_[r].emplace_back(first, c);
            mask->cells_ += c - first;
        }
    }
    if (mask->cells_ == 0)
        return nullptr;
    for (size_t w = 0; w < mask->keep_.size(); ++w) {
        const size_t cellBytes = size_t{8} >> w;  // 704, 352 and 176 pixels a line
        for (int r = 0; r < kZoneRows; ++r) {
            if (mask->rows_[r].size() <= kFewRuns)
                continue;
            if (mask->keep_[w].empty())
                mask->keep_[w].resize(kZoneRows);
            std::vector<uint8_t>& keep = mask->keep_[w][r];
            keep.assign(cellBytes * kZoneCols, 0xff);
            for (const auto& [first, last] : mask->rows_[r])
                std::fill(keep.begin() + first * cellBytes, keep.begin() + last * cellBytes, 0);
        }
    }
    return mask;
}

// The station's picture widths, a cell 8, 4 or 2 bytes wide: the index of the kept-byte lines.
int PrivacyMask::WidthIndex(int width, int height) {
    if (height <= 0 || height % kZoneRows != 0)
        return -1;
    return width == 704 ? 0 : width == 352 ? 1 : width == 176 ? 2 : -1;
}

namespace {
// Black over bytes [0, n) of `at`, n even: short runs with plain stores, long ones by copying.
void Paint(uint8_t* at, size_t n) {
    if (n >= 64) {
        std::memcpy(at, kBlack.data(), n);
        return;
    }
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        std::memcpy(at + i, kBlack.data(), 8);  // one store each
    if (i + 4 <= n) {
        std::memcpy(at + i, kBlack.data(), 4);
        i += 4;
    }
    if (i < n)
        std::memcpy(at + i, kBlack.data(), 2);
}
}  // namespace

void PrivacyMask::Copy(uint8_t* to, const uint8_t* from, int width, int height) const {
    const size_t lineBytes = 2 * static_cast<size_t>(std::max(width, 0));
    const int w = WidthIndex(width, height);
    if (w < 0) {
        std::memcpy(to, from, lineBytes * std::max(height, 0));
        return;
    }
    const size_t cellBytes = lineBytes / kZoneCols;
    const int cellLines = height / kZoneRows;
    for (int r = 0; r < kZoneRows; ++r) {
        const size_t first = static_cast<size_t>(r) * cellLines * lineBytes;
        const auto& runs = rows_[r];
        if (runs.empty()) {
            std::memcpy(to + first, from + first, cellLines * lineBytes);
            continue;
        }
        // A row of a few runs (as drawn: rectangles) is copied around them; one of many short runs
        // is blended with its line of kept bytes.
        const bool blend = runs.size() > kFewRuns;
        for (int l = 0; l < cellLines; ++l) {
            uint8_t* line = to + first + l * lineBytes;
            const uint8_t* source = from + first + l * lineBytes;
            if (blend) {
                Blend(line, source, keep_[w][r].data(), lineBytes);
                continue;
            }
            size_t at = 0;
            for (const auto& [begin, end] : runs) {
                const size_t black = begin * cellBytes, past = end * cellBytes;
                std::memcpy(line + at, source + at, black - at);
                Paint(line + black, past - black);
                at = past;
            }
            std::memcpy(line + at, source + at, lineBytes - at);
        }
    }
}

}  // namespace kel

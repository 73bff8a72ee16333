#include "capture/privacy_mask.h"

#include <array>
#include <cstring>

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
    return mask;
}

void PrivacyMask::Apply(uint8_t* picture, int width, int height) const {
    if (width <= 0 || height <= 0 || 2 * static_cast<size_t>(width) > kLongestLine ||
        (2 * width) % kZoneCols != 0 || height % kZoneRows != 0)
        return;
    const size_t lineBytes = 2 * static_cast<size_t>(width);
    const size_t cellBytes = lineBytes / kZoneCols;  // even: whole pairs of chroma and luma
    const int cellLines = height / kZoneRows;
    for (int r = 0; r < kZoneRows; ++r) {
        if (rows_[r].empty())
            continue;
        for (int l = r * cellLines; l < (r + 1) * cellLines; ++l) {
            uint8_t* line = picture + l * lineBytes;
            for (const auto& [first, last] : rows_[r])
                std::memcpy(line + first * cellBytes, kBlack.data(), (last - first) * cellBytes);
        }
    }
}

}  // namespace kel

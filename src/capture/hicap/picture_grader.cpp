#include "capture/hicap/picture_grader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kel {

namespace {

uint8_t Clamp(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

}  // namespace

int32_t& ControlField(PictureControls& c, PictureControl control) {
    switch (control) {
    case PictureControl::Brightness:
        return c.brightness;
    case PictureControl::Contrast:
        return c.contrast;
    case PictureControl::Sharpness:
        return c.sharpness;
    case PictureControl::SaturationU:
        return c.saturationU;
    case PictureControl::SaturationV:
        return c.saturationV;
    case PictureControl::Hue:
        return c.hue;
    }
    return c.brightness;
}

int32_t ClampControl(PictureControl control, int32_t value) {
    switch (control) {
    case PictureControl::Brightness:
        return std::clamp(value, -128, 128);
    case PictureControl::Hue:
        return std::clamp(value, -128, 127);
    default:
        return std::clamp(value, 0, 255);
    }
}

PictureGrader::PictureGrader() : chroma_(65536) {}

void PictureGrader::Prepare(const PictureControls& c) {
    if (ready_ && c == prepared_)
        return;
    for (int y = 0; y < 256; ++y)
        luma_[y] = Clamp((y - 128) * c.contrast / 128 + 128 + c.brightness);
    double turn = c.hue * std::numbers::pi / 128;
    double cs = std::cos(turn), sn = std::sin(turn);
    for (int u = 0; u < 256; ++u) {
        for (int v = 0; v < 256; ++v) {
            double su = (u - 128) * c.saturationU / 128.0, sv = (v - 128) * c.saturationV / 128.0;
            uint8_t nu = Clamp(static_cast<int>(std::lround(su * cs - sv * sn)) + 128);
            uint8_t nv = Clamp(static_cast<int>(std::lround(su * sn + sv * cs)) + 128);
            chroma_[u << 8 | v] = static_cast<uint16_t>(nu << 8 | nv);
        }
    }
    identity_ =
        c.brightness == 0 && c.contrast == 128 && c.saturationU == 128 && c.saturationV == 128 && c.hue == 0;
    prepared_ = c;
    ready_ = true;
}

void PictureGrader::Grade(uint8_t* out, const uint8_t* in, size_t bytes) const {
    if (identity_) {
        if (out != in)
            std::memcpy(out, in, bytes);
        return;
    }
    for (size_t i = 0; i + 3 < bytes; i += 4) {
        uint16_t uv = chroma_[in[i] << 8 | in[i + 2]];
        const uint8_t y0 = in[i + 1], y1 = in[i + 3];
        out[i] = static_cast<uint8_t>(uv >> 8);
        out[i + 1] = luma_[y0];
        out[i + 2] = static_cast<uint8_t>(uv);
        out[i + 3] = luma_[y1];
    }
}

PictureGrader::Yuv PictureGrader::Map(Yuv c) const {
    uint16_t uv = chroma_[c.u << 8 | c.v];
    return {luma_[c.y], static_cast<uint8_t>(uv >> 8), static_cast<uint8_t>(uv)};
}

// Every Y moves away from the mean of its neighbours.
void PictureGrader::Sharpen(uint8_t* picture, int width, int height, int32_t amount) const {
    std::vector<uint8_t> line(static_cast<size_t>(width));
    for (int row = 0; row < height; ++row) {
        uint8_t* p = picture + static_cast<size_t>(row) * width * 2;
        for (int x = 0; x < width; ++x)
            line[x] = p[2 * x + 1];
        for (int x = 1; x + 1 < width; ++x) {
            int edge = 2 * line[x] - line[x - 1] - line[x + 1];
            p[2 * x + 1] = Clamp(line[x] + edge * amount / 128);
        }
    }
}

void PictureGrader::Apply(uint8_t* picture, int width, int height, const PictureControls& controls) {
    Prepare(controls);
    Grade(picture, picture, static_cast<size_t>(width) * height * 2);
    if (controls.sharpness > 0)
        Sharpen(picture, width, height, controls.sharpness);
}

}  // namespace kel

#pragma once
// Helpers for the renderer's tests: a skin folder of solid-colour bitmaps (so a pixel tells which
// bitmap was drawn), solid UYVY frames, pixels of surfaces and images, a sink that keeps what it
// was given.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "display/surface.h"
#include "display/video_sink.h"
#include "support/temp_dir.h"

namespace kel {

// Colours of the test skin, 0xRRGGBB.
constexpr uint32_t kBackgroundRgb = 0x202020;
constexpr uint32_t kNoSignalRgb = 0xc00000;
constexpr uint32_t kNoCamRgb = 0x0000c0;
constexpr uint32_t kNotAllowedRgb = 0x00c000;
constexpr uint32_t kPlanRgb = 0x306090;
constexpr uint32_t kOtherPlanRgb = 0x906030;
constexpr uint32_t kIconRgb = 0xe0e0e0;
constexpr uint32_t kMotionIconRgb = 0xf0c000;

inline void WriteBitmap(const std::string& path, int w, int h, uint32_t rgb) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP")) << path;
}

// Writes Skins/<skin>/<width>/ under `root` with every video-area file but those in `skip`.
inline void WriteSkin(const std::string& root, const std::string& skin, int width, int backW, int backH,
                      const std::vector<std::string>& skip = {}) {
    std::string folder = root + "/Skins/" + skin + "/" + std::to_string(width) + "/";
    std::filesystem::create_directories(folder);
    auto put = [&](const std::string& name, int w, int h, uint32_t rgb) {
        for (const std::string& s : skip)
            if (s == name)
                return;
        WriteBitmap(folder + name, w, h, rgb);
    };
    put("w_background.bmp", backW, backH, kBackgroundRgb);
    put("panel_nosignal.bmp", 352, 288, kNoSignalRgb);
    put("panel_nocam.bmp", 352, 288, kNoCamRgb);
    put("panel_noallowed.bmp", 352, 288, kNotAllowedRgb);
    put("2harm_rec.bmp", 40, 16, 0xff0000);
    put("2harm_detekcja.bmp", 40, 16, 0xffff00);
    put("screen.bmp", 598, 472, kPlanRgb);
    for (int n = 1; n <= 16; ++n) {
        put("camera_" + std::to_string(n) + ".bmp", 50, 50, kIconRgb);
        put("camera_" + std::to_string(n) + "_yellow.bmp", 50, 50, kMotionIconRgb);
    }
}

// A UYVY picture of one colour.
inline std::vector<uint8_t> SolidFrame(int w, int h, uint8_t y, uint8_t u = 128, uint8_t v = 128) {
    std::vector<uint8_t> frame(static_cast<size_t>(w) * h * 2);
    for (size_t i = 0; i < frame.size(); i += 4) {
        frame[i] = u;
        frame[i + 1] = y;
        frame[i + 2] = v;
        frame[i + 3] = y;
    }
    return frame;
}

inline uint32_t Pixel(const Surface& s, int x, int y) {
    const uint8_t* p = s.At(x, y);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

inline uint32_t Pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffff;
}

// The pixels of `r` on `s`, row by row.
inline std::vector<uint32_t> Copy(const Surface& s, const Rect& r) {
    std::vector<uint32_t> out;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            out.push_back(Pixel(s, x, y));
    return out;
}

// Colours equal within the rounding of a scaler: each channel within `tolerance`.
inline bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > tolerance)
            return false;
    return true;
}

class KeepingSink : public VideoSink {
public:
    struct Shown {
        PresentTarget target;
        QImage picture;
    };
    void Present(PresentTarget target, const QImage& picture, const QRegion& /*changed*/) override {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({target, picture});
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown.size();
    }
    Shown Last() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown.back();
    }
    std::mutex mutex;
    std::vector<Shown> shown;
};

}  // namespace kel

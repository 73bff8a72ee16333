#pragma once
// A display platform whose every answer a test sets.

#include <cstdint>

#include "display/display_platform.h"

namespace kel {

class FakeDisplayPlatform : public DisplayPlatform {
public:
    bool connected = true;
    bool windowed = true;
    bool screen = true;
    int depth = 24;
    bool writesRgb32 = true;
    bool readsUyvy = true;
    uint64_t memory = 512ull << 20;

    bool Connected() const override { return connected; }
    bool WindowedMode() const override { return windowed; }
    bool HasScreen() const override { return screen; }
    int ScreenDepth() const override { return depth; }
    bool CanConvert(PixelFormat from, PixelFormat to) const override {
        return to == PixelFormat::Rgb32 && writesRgb32 && (from == PixelFormat::Rgb32 || readsUyvy);
    }
    uint64_t SurfaceMemory() const override { return memory; }
};

}  // namespace kel

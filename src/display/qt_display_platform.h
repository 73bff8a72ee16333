#pragma once
// The display platform of the running Qt application. Surfaces live in ordinary memory, so the
// memory they may take is what the system has available to this process: the kernel's estimate
// of available memory, cut to what the process's address-space limit and its control group's
// memory limit still leave. Window thread only (it asks the application about its screens).

#include <string>

#include "display/display_platform.h"

namespace kel {

class QtDisplayPlatform : public DisplayPlatform {
public:
    static const QtDisplayPlatform& Instance();

    bool Connected() const override;
    bool WindowedMode() const override;
    bool HasScreen() const override;
    int ScreenDepth() const override;
    bool CanConvert(PixelFormat from, PixelFormat to) const override;
    uint64_t SurfaceMemory() const override;

    // Pieces of SurfaceMemory, public for their tests. Each returns UINT64_MAX when it sets no limit.
    static uint64_t AvailableFromMeminfo(const std::string& meminfoText);
    static uint64_t CgroupHeadroom(const std::string& maxText, const std::string& currentText);
};

}  // namespace kel

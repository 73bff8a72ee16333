#pragma once
// What the renderer asks of the machine when it is set up: the checks that a display library made
// on the platform the station was designed for, with their meaning here. The Qt implementation
// answers for the running application; tests give their own answers.

#include <cstdint>

#include "display/surface.h"

namespace kel {

class DisplayPlatform {
public:
    virtual ~DisplayPlatform() = default;
    // The application is connected to a display server (a GUI application object exists).
    virtual bool Connected() const = 0;
    // Ordinary windows can be shown side by side; false on platforms that give the one
    // application a single full-screen surface.
    virtual bool WindowedMode() const = 0;
    // There is a screen to show pictures on.
    virtual bool HasScreen() const = 0;
    // Bits per pixel of that screen; 0 when it cannot be told.
    virtual int ScreenDepth() const = 0;
    // Whether pictures can be converted from one format to the other.
    virtual bool CanConvert(PixelFormat from, PixelFormat to) const = 0;
    // Bytes of memory the renderer's surfaces may take, read afresh on every call.
    virtual uint64_t SurfaceMemory() const = 0;
};

}  // namespace kel

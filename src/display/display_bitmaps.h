#pragma once
// The skin's bitmaps of the video area, loaded once from "Skins/<skin>/<width>/": the background,
// the three status panels, the two symbols (required, never drawn), the site plan and the camera
// icons with and without motion. The first six and the plan are required; a missing icon just
// leaves its camera without one.
//
// Each bitmap becomes an RGB32 surface that counts against the memory the renderer's surfaces
// may take. Loaded on the window thread before the display thread starts; read-only afterwards.

#include <array>
#include <cstdint>
#include <string>

#include "config/records.h"
#include "display/surface.h"

namespace kel {

class DisplayBitmaps {
public:
    static constexpr const char* kDefaultPlan = "screen.bmp";

    // Loads every file from `folder` (ending in '/'). `mapFile` names the site plan: empty or
    // "screen.bmp" is the folder's own plan; any other file is tried first and the folder's plan
    // is the fall-back. `memoryLeft` is reduced by what the surfaces take. False at the first
    // required file that is missing or does not fit; the files after it are not loaded.
    bool Load(const std::string& folder, const std::string& mapFile, uint64_t& memoryLeft);
    void Reset();

    Surface Background;
    Surface PanelNoSignal;
    Surface PanelNoCam;
    Surface PanelNotAllowed;
    Surface RecordSymbol;
    Surface DetectionSymbol;
    Surface Plan;
    std::array<Surface, kCameraCount + 1> Icon;        // index = camera number
    std::array<Surface, kCameraCount + 1> IconMotion;  // index = camera number

private:
    static bool LoadFile(const std::string& file, Surface& into, uint64_t& memoryLeft);
    bool LoadPlan(const std::string& folder, const std::string& mapFile, uint64_t& memoryLeft);
};

}  // namespace kel

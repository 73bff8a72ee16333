#include "display/display_bitmaps.h"

#include <QImage>
#include <QString>
#include <utility>

namespace kel {

bool DisplayBitmaps::LoadFile(const std::string& file, Surface& into, uint64_t& memoryLeft) {
    QImage image(QString::fromStdString(file));
    if (image.isNull())
        return false;
    size_t bytes = Surface::BytesFor(image.width(), image.height(), PixelFormat::Rgb32);
    if (bytes == 0 || bytes > memoryLeft)
        return false;
    Surface surface;
    if (!surface.CopyFrom(image))
        return false;
    memoryLeft -= bytes;
    into = std::move(surface);
    return true;
}

bool DisplayBitmaps::LoadPlan(const std::string& folder, const std::string& mapFile, uint64_t& memoryLeft) {
    if (!mapFile.empty() && mapFile != kDefaultPlan && LoadFile(mapFile, Plan, memoryLeft))
        return true;
    return LoadFile(folder + kDefaultPlan, Plan, memoryLeft);
}

bool DisplayBitmaps::Load(const std::string& folder, const std::string& mapFile, uint64_t& memoryLeft) {
    const std::pair<const char*, Surface*> required[] = {
        {"w_background.bmp", &Background}, {"panel_nosignal.bmp", &PanelNoSignal},
        {"panel_nocam.bmp", &PanelNoCam},  {"panel_noallowed.bmp", &PanelNotAllowed},
        {"2harm_rec.bmp", &RecordSymbol},  {"2harm_detekcja.bmp", &DetectionSymbol},
    };
    for (const auto& [name, surface] : required)
        if (!LoadFile(folder + name, *surface, memoryLeft))
            return false;
    if (!LoadPlan(folder, mapFile, memoryLeft))
        return false;
    for (int n = 1; n <= kCameraCount; ++n)
        LoadFile(folder + "camera_" + std::to_string(n) + ".bmp", Icon[n], memoryLeft);
    for (int n = 1; n <= kCameraCount; ++n)
        LoadFile(folder + "camera_" + std::to_string(n) + "_yellow.bmp", IconMotion[n], memoryLeft);
    return true;
}

void DisplayBitmaps::Reset() {
    for (Surface* s :
         {&Background, &PanelNoSignal, &PanelNoCam, &PanelNotAllowed, &RecordSymbol, &DetectionSymbol, &Plan})
        s->Reset();
    for (int n = 0; n <= kCameraCount; ++n) {
        Icon[n].Reset();
        IconMotion[n].Reset();
    }
}

}  // namespace kel

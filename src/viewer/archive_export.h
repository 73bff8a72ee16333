#pragma once
// Takes a single picture away as PNG; stretches are taken by recording/stretch_export.h.

#include <string>

#include <QImage>

#include "recording/stretch_export.h"

namespace kel {

// `image` as PNG into `path`; false with `error`.
bool ExportPicture(const QImage& image, const std::string& path, std::string& error);

}  // namespace kel

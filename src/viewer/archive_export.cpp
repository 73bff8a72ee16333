#include "viewer/archive_export.h"

#include <cstdio>

namespace kel {

bool ExportPicture(const QImage& image, const std::string& path, std::string& error) {
    if (image.isNull()) {
        error = "Brak obrazu do zapisania";
        return false;
    }
    const std::string part = path + ".part";
    if (!image.save(QString::fromStdString(part), "PNG")) {
        std::remove(part.c_str());
        error = path + ": nie mozna zapisac";
        return false;
    }
    return PlaceExported(part, path, error);
}

}  // namespace kel

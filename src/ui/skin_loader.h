#pragma once
// Reads a window's skin pictures from one skin folder, in the order its table gives, stopping at
// the first file that cannot be read (the pictures read before it stay where they went).

#include <QPixmap>
#include <QString>
#include <functional>
#include <vector>

namespace kel {

struct SkinStep {
    const char* file;
    std::function<void(const QPixmap&)> apply;
};

// `folder` ends in '/'. False at the first unreadable file, whose name goes to `missing`.
bool LoadSkinSteps(const QString& folder, const std::vector<SkinStep>& steps, QString* missing = nullptr);

// The folder of a skin at an application width, relative to the working directory.
QString SkinFolder(const QString& skin, int width);

}  // namespace kel

#include "ui/skin_loader.h"

#include "platform/skins_folder.h"

namespace kel {

bool LoadSkinSteps(const QString& folder, const std::vector<SkinStep>& steps, QString* missing) {
    for (const SkinStep& step : steps) {
        QPixmap pic;
        if (!pic.load(folder + QString::fromLatin1(step.file))) {
            if (missing)
                *missing = QString::fromLatin1(step.file);
            return false;
        }
        step.apply(pic);
    }
    return true;
}

QString SkinFolder(const QString& skin, int width) {
    return QString::fromStdString(SkinFolderPath(skin.toStdString(), width));
}

}  // namespace kel

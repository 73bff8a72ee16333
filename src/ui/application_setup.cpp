#include "ui/application_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kel {

bool InstallPolishTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/kel/kel.png"));
}

}  // namespace kel

#include "ui/application_setup.h"

namespace kel {

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/kel/kel.png"));
}

}  // namespace kel

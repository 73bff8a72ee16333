#include "ui/config_form.h"

namespace kel {

TConfigForm::TConfigForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TConfigForm");
    setWindowTitle(QStringLiteral("KEL 2.0.3 Konfiguracja "));
}

}  // namespace kel

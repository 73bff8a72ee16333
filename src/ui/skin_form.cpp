#include "ui/skin_form.h"

namespace kel {

TSkinForm::TSkinForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TSkinForm");
    setWindowTitle(QStringLiteral("Temat Graficzny"));
}

}  // namespace kel

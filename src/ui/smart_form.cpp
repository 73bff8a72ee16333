#include "ui/smart_form.h"

namespace kel {

TSmartForm::TSmartForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TSmartForm");
    setWindowTitle(QStringLiteral("SmartView"));
    setFixedSize(259, 209);
}

}  // namespace kel

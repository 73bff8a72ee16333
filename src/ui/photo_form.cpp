#include "ui/photo_form.h"

namespace kel {

TPhotoForm::TPhotoForm(QWidget* parent) : QDialog(parent) {
    setObjectName("TPhotoForm");
    setWindowTitle(QStringLiteral("Zrzut Kamer"));
}

}  // namespace kel

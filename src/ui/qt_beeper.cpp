#include "ui/qt_beeper.h"

#include <QApplication>

namespace kel {

void QtBeeper::Beep() {
    QApplication::beep();
}

}  // namespace kel

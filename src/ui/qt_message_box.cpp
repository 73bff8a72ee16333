#include "ui/qt_message_box.h"

#include <QMessageBox>

namespace kel {

bool QtMessageBox::Show(BoxKind kind, std::string_view text) {
    const QMessageBox::Icon icon = kind == BoxKind::Error         ? QMessageBox::Critical
                                   : kind == BoxKind::Information ? QMessageBox::Information
                                                                  : QMessageBox::Warning;
    const QMessageBox::StandardButtons buttons =
        kind == BoxKind::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    // A bare carriage return breaks the line, as the texts were written for.
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace("\r\n", "\n").replace('\r', '\n');
    QMessageBox box(icon, QString::fromUtf8(Caption(kind)), shown, buttons, parent_.data());
    box.setWindowModality(Qt::ApplicationModal);
    if (kind == BoxKind::Question)
        box.setDefaultButton(QMessageBox::Yes);
    const int answer = box.exec();
    // Closing a question box without a button counts as No: only an explicit Yes agrees.
    return kind != BoxKind::Question || answer == QMessageBox::Yes;
}

}  // namespace kel

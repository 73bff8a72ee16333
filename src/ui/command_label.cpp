#include "ui/command_label.h"

#include <QMouseEvent>

namespace kel {

TCommandLabel::TCommandLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont f = font();
    // Narrow enough for the four labels' fixed places.
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(11);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    SetTextColor(kIdleColor);
    adjustSize();
}

QColor TCommandLabel::TextColor() const {
    return palette().color(QPalette::WindowText);
}

void TCommandLabel::SetTextColor(QRgb color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(color));
    setPalette(p);
}

void TCommandLabel::enterEvent(QEnterEvent* event) {
    SetTextColor(kHoverColor);
    QLabel::enterEvent(event);
}

void TCommandLabel::leaveEvent(QEvent* event) {
    SetTextColor(kIdleColor);
    QLabel::leaveEvent(event);
}

void TCommandLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

}  // namespace kel

#include "ui/plan_picture.h"

#include <QMouseEvent>
#include <QPainter>

namespace kel {

PlanPicture::PlanPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("Image2");
    setCursor(Qt::PointingHandCursor);
}

void PlanPicture::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PlanPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!picture_.isNull())
        painter.drawImage(0, 0, picture_);
}

void PlanPicture::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit pressed(event->position().toPoint());
}

}  // namespace kel

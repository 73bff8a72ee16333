#include "ui/video_area.h"

#include "platform/guarded.h"
#include <QMouseEvent>
#include <QPainter>

namespace kel {

VideoArea::VideoArea(QWidget* parent) : QWidget(parent) {
    setObjectName("w_Tlo");
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted from the picture
    setMouseTracking(true);                 // the pointer's shape follows the tiles
}

void VideoArea::Present(PresentTarget target, const QImage& picture, const QRegion& changed) {
    presented_.fetch_add(1, std::memory_order_relaxed);
    {
        MutexLock lock(mutex_);
        pictures_[static_cast<int>(target)] = picture;
        if (static_cast<int>(target) != shown_.load(std::memory_order_relaxed))
            return;
        // Only what changed is painted again (and sent to the display server).
        if (changed.isEmpty())
            changed_whole_ = true;
        else
            changed_ += changed;
    }
    // One repaint asked for at a time, as a queued call to the window thread: a slow window
    // thread sees only the newest picture, and the display thread never touches the widget. The
    // call is made by name, so the toolkit keeps the whole hand-over inside its event queue.
    if (!repaint_asked_.exchange(true))
        QMetaObject::invokeMethod(this, "Repaint", Qt::QueuedConnection);
}

void VideoArea::Repaint() {
    repaint_asked_ = false;
    QRegion changed;
    bool whole = false;
    {
        MutexLock lock(mutex_);
        std::swap(changed, changed_);
        whole = changed_whole_;
        changed_whole_ = false;
    }
    if (whole)
        update();
    else if (!changed.isEmpty())
        update(changed);
}

void VideoArea::ShowTarget(PresentTarget target) {
    {
        MutexLock lock(mutex_);
        shown_ = static_cast<int>(target);
        changed_whole_ = true;
    }
    update();
}

QImage VideoArea::Picture(PresentTarget target) const {
    MutexLock lock(mutex_);
    return pictures_[static_cast<int>(target)];
}

void VideoArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QImage picture = Picture(ShownTarget());
    if (picture.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(0, 0, picture);
    if (picture.width() < width() || picture.height() < height()) {
        painter.fillRect(picture.width(), 0, width() - picture.width(), height(), Qt::black);
        painter.fillRect(0, picture.height(), picture.width(), height() - picture.height(), Qt::black);
    }
}

void VideoArea::mousePressEvent(QMouseEvent* event) {
    emit pressed(event->button(), event->modifiers() & Qt::ShiftModifier, event->position().toPoint(),
                 event->globalPosition().toPoint());
}

void VideoArea::mouseMoveEvent(QMouseEvent* event) {
    emit moved(event->position().toPoint());
}

void VideoArea::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->button(), event->position().toPoint());
}

}  // namespace kel

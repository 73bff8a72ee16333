#include "ui/video_area.h"

#include <QPainter>
#include <QTimer>

namespace kel {

VideoArea::VideoArea(QWidget* parent) : QWidget(parent) {
    setObjectName("VideoArea");
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted from the picture
    // The display thread only raises a flag; the window thread looks for it twice per pass, so
    // no toolkit call is made from the display thread.
    auto* repaint = new QTimer(this);
    connect(repaint, &QTimer::timeout, this, [this] {
        if (repaint_asked_.exchange(false))
            update();
    });
    repaint->start(kRepaintCheckMs);
}

void VideoArea::Present(PresentTarget target, const QImage& picture) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pictures_[static_cast<int>(target)] = picture;
    }
    presented_.fetch_add(1, std::memory_order_relaxed);
    if (target != PresentTarget::MainWindow)
        return;
    // One repaint request at a time: a slow window thread sees only the newest picture.
    repaint_asked_ = true;
}

QImage VideoArea::Picture(PresentTarget target) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pictures_[static_cast<int>(target)];
}

void VideoArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QImage picture = Picture(PresentTarget::MainWindow);
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

}  // namespace kel

#include "viewer/pane_grid.h"

#include <QMouseEvent>
#include <QPainter>

namespace kel {

PaneGrid::PaneGrid(QWidget* parent) : QWidget(parent) {
    setObjectName("Panes");
    setMinimumSize(352, 288);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PaneGrid::SetViews(std::vector<View> views) {
    views_ = std::move(views);
    update();
}

QRect PaneGrid::PaneRect(int i) const {
    const int n = static_cast<int>(views_.size());
    const int columns = n <= 1 ? 1 : 2;
    const int rows = n <= 2 ? 1 : 2;
    const int w = width() / columns, h = height() / rows;
    return {(i % columns) * w, (i / columns) * h, w, h};
}

void PaneGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (views_.empty()) {
        p.setPen(QColor(200, 200, 200));
        p.drawText(rect(), Qt::AlignCenter, "Wybierz kamerę i dzień");
        return;
    }
    for (int i = 0; i < static_cast<int>(views_.size()); ++i) {
        const View& v = views_[i];
        const QRect area = PaneRect(i).adjusted(1, 1, -1, -1);
        if (!v.image.isNull()) {
            const QSize fit = v.image.size().scaled(area.size(), Qt::KeepAspectRatio);
            const QRect target(area.x() + (area.width() - fit.width()) / 2,
                               area.y() + (area.height() - fit.height()) / 2, fit.width(), fit.height());
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(target, v.image);
        }
        p.setPen(QColor(60, 60, 60));
        p.drawRect(area);
        const QRect band(area.x(), area.y(), area.width(), 20);
        p.fillRect(band, QColor(0, 0, 0, 150));
        p.setPen(Qt::white);
        p.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, v.title);
        p.setPen(QColor(255, 220, 0));
        p.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignRight, v.stamp);
        if (!v.note.isEmpty()) {
            p.setPen(QColor(230, 230, 230));
            p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, v.note);
        }
    }
}

void PaneGrid::mousePressEvent(QMouseEvent* event) {
    for (int i = 0; i < static_cast<int>(views_.size()); ++i)
        if (PaneRect(i).contains(event->position().toPoint()))
            emit paneClicked(i);
}

}  // namespace kel

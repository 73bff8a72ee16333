#include "ui/schedule_grid.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace kel {

namespace {

const char* const kDays[7] = {"Pn.", "Wt.", "Sr.", "Cz.", "Pt.", "S.", "N."};
const QColor kHeader(0xd4, 0xd8, 0xde);
const QColor kLine(0x9a, 0xa3, 0xad);
const QColor kContinuousInk(0xd0, 0x5a, 0x4e);  // recording: the red of "REC"
const QColor kMotionInk(0xf0, 0xb2, 0x3a);      // motion: the amber of the motion icons
const QColor kSelection(0x6f, 0x9b, 0xc4);

}  // namespace

ScheduleGrid::ScheduleGrid(QWidget* parent) : QWidget(parent) {
    setObjectName("Kalendarz");
    setToolTip(QStringLiteral("Kalendarz"));
    setFixedSize(kColumns * kCell + 1, kRows * kCell + 1);
}

void ScheduleGrid::SetTable(SchedulerTable* table) {
    table_ = table;
    update();
}

void ScheduleGrid::SetCamera(int camera) {
    camera_ = std::clamp(camera, 1, 16);
    update();
}

QPoint ScheduleGrid::CellAt(const QPoint& pos) {
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= kColumns * kCell || pos.y() >= kRows * kCell)
        return QPoint(-1, -1);
    return QPoint(pos.x() / kCell, pos.y() / kCell);
}

void ScheduleGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint cell = CellAt(event->position().toPoint());
    selecting_ = false;
    if (event->button() != Qt::LeftButton || cell.x() < 0)
        return;
    if (cell == QPoint(0, 0)) {
        Fill(0, 23, 1, 7);  // the whole week, at once; the release adds nothing
        return;
    }
    if (cell.x() == 0 || cell.y() == 0)
        return;  // the hour and day headers select nothing
    selecting_ = true;
    anchor_ = current_ = cell;
    update();
}

void ScheduleGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_)
        return;
    const QPoint pos = event->position().toPoint();
    // Past the grid's edge the rectangle stops at the last cell.
    current_ =
        QPoint(std::clamp(pos.x() / kCell, 1, kColumns - 1), std::clamp(pos.y() / kCell, 1, kRows - 1));
    update();
}

void ScheduleGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (!selecting_ || event->button() != Qt::LeftButton)
        return;
    selecting_ = false;
    Fill(std::min(anchor_.x(), current_.x()) - 1, std::max(anchor_.x(), current_.x()) - 1,
         std::min(anchor_.y(), current_.y()), std::max(anchor_.y(), current_.y()));
}

void ScheduleGrid::Fill(int fromHour, int toHour, int fromDay, int toDay) {
    if (!table_)
        return;
    for (int day = fromDay; day <= toDay; ++day)
        for (int hour = fromHour; hour <= toHour; ++hour)
            (*table_)[ScheduleIndex(camera_, day, hour)] = paint_;
    update();
}

void ScheduleGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = font();
    f.setPixelSize(10);
    p.setFont(f);
    const QRect selected = QRect(anchor_, current_).normalized();
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const QRect box(c * kCell, r * kCell, kCell, kCell);
            if (r == 0 || c == 0) {
                p.fillRect(box, kHeader);
                p.setPen(Qt::black);
                const QString text = r == 0 && c > 0   ? QString::number(c - 1)
                                     : c == 0 && r > 0 ? QString::fromLatin1(kDays[r - 1])
                                                       : QString();
                p.drawText(box, Qt::AlignCenter, text);
            } else {
                const uint8_t value = table_ ? (*table_)[ScheduleIndex(camera_, r, c - 1)] : 0;
                PaintCell(p, box, value, selecting_ && selected.contains(c, r));
            }
            p.setPen(kLine);
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(box).adjusted(0.5, 0.5, 0.5, 0.5));
        }
    }
}

void ScheduleGrid::PaintCell(QPainter& p, const QRect& box, uint8_t value, bool selected) const {
    p.fillRect(box, selected ? kSelection : QColor(Qt::white));
    if (value != kContinuous && value != kOnMotion)
        return;  // 0 is white; other values are left blank
    p.setPen(Qt::NoPen);
    p.setBrush(value == kContinuous ? kContinuousInk : kMotionInk);
    if (value == kContinuous) {
        p.drawEllipse(QRectF(box).adjusted(7, 7, -7, -7));  // a recording dot
    } else {
        // A running figure's stand-in: a triangle of motion.
        const QRectF r = QRectF(box).adjusted(6, 6, -6, -6);
        p.drawPolygon(QPolygonF({r.bottomLeft(), QPointF(r.center().x(), r.top()), r.bottomRight()}));
    }
}

}  // namespace kel

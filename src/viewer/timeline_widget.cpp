#include "viewer/timeline_widget.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace kel {

namespace {

constexpr int kHeaderHeight = 20;
constexpr int kRowHeight = 22;
constexpr int64_t kHourMs = 3'600'000;
constexpr int64_t kDayMs = 24 * kHourMs;
constexpr int64_t kMinSpan = 10 * 60'000;  // zoomed in as far as ten minutes

}  // namespace

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("Timeline");
    setMouseTracking(false);
    setMinimumHeight(kHeaderHeight + 2 * kRowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize TimelineWidget::sizeHint() const {
    return {900, kHeaderHeight + kRowHeight * std::max<int>(2, static_cast<int>(rows_.size())) + 4};
}

void TimelineWidget::SetDay(int64_t dayStartMs, std::vector<Row> rows) {
    if (dayStartMs != day_) {
        view_from_ = 0;
        view_span_ = kDayMs;
    }
    day_ = dayStartMs;
    rows_ = std::move(rows);
    updateGeometry();
    update();
}

void TimelineWidget::SetClock(int64_t ms) {
    if (ms == clock_)
        return;
    clock_ = ms;
    // Zoomed in, the view follows the clock.
    const int64_t rel = ms - day_;
    if (view_span_ < kDayMs && rel >= 0 && rel < kDayMs &&
        (rel < view_from_ || rel >= view_from_ + view_span_))
        view_from_ = std::clamp<int64_t>(rel - view_span_ / 10, 0, kDayMs - view_span_);
    update();
}

void TimelineWidget::SetMarks(int64_t fromMs, int64_t toMs) {
    mark_from_ = fromMs;
    mark_to_ = toMs;
    update();
}

int64_t TimelineWidget::MomentAt(int x) const {
    const int w = std::max(1, width() - Left() - 4);
    const int64_t rel = view_from_ + (static_cast<int64_t>(x - Left()) * view_span_) / w;
    return day_ + std::clamp<int64_t>(rel, 0, kDayMs - 1);
}

int TimelineWidget::XOf(int64_t ms) const {
    const int w = std::max(1, width() - Left() - 4);
    return Left() + static_cast<int>(((ms - day_ - view_from_) * w) / view_span_);
}

int TimelineWidget::RowAt(int y) const {
    const int row = (y - kHeaderHeight) / kRowHeight;
    return y >= kHeaderHeight && row < static_cast<int>(rows_.size()) ? row : -1;
}

void TimelineWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 36, 44));
    const int right = width() - 4;
    // Hours (or finer marks when zoomed in) across the top.
    int64_t step = kHourMs;
    for (int64_t s :
         std::initializer_list<int64_t>{60'000, 5 * 60'000, 15 * 60'000, 30 * 60'000, kHourMs, 2 * kHourMs})
        if (view_span_ / s <= 24) {
            step = s;
            break;
        }
    p.setPen(QColor(150, 155, 165));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    for (int64_t t = (view_from_ + step - 1) / step * step; t <= view_from_ + view_span_; t += step) {
        const int x = XOf(day_ + t);
        p.drawLine(x, kHeaderHeight - 4, x, height());
        const int minutes = static_cast<int>(t / 60'000);
        p.drawText(
            x + 2, kHeaderHeight - 6,
            QString("%1:%2").arg(minutes / 60, 2, 10, QChar('0')).arg(minutes % 60, 2, 10, QChar('0')));
    }
    if (mark_to_ > mark_from_) {
        const int a = std::max(Left(), XOf(mark_from_)), b = std::min(right, XOf(mark_to_));
        if (b >= a)
            p.fillRect(a, kHeaderHeight, std::max(1, b - a), height() - kHeaderHeight, QColor(90, 90, 30));
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        const int y = kHeaderHeight + static_cast<int>(i) * kRowHeight;
        p.setPen(row.shown ? QColor(255, 255, 255) : QColor(170, 175, 185));
        QFont f = font();
        f.setBold(row.shown);
        p.setFont(f);
        p.drawText(QRect(4, y, Left() - 8, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   QString("%1. %2").arg(row.camera).arg(row.name));
        p.fillRect(Left(), y + 3, right - Left(), kRowHeight - 6, QColor(48, 52, 62));
        for (const Stretch& s : row.stretches) {
            int a = XOf(s.fromMs), b = XOf(s.toMs);
            if (b < Left() || a > right)
                continue;
            a = std::max(a, Left());
            b = std::min(b, right);
            const QColor c = s.missing  ? QColor(190, 50, 50)
                             : s.motion ? QColor(40, 170, 80)
                                        : QColor(70, 130, 200);
            p.fillRect(a, y + 4, std::max(1, b - a), kRowHeight - 8, c);
        }
    }
    const int x = XOf(clock_);
    if (x >= Left() && x <= right) {
        p.setPen(QPen(QColor(255, 210, 0), 2));
        p.drawLine(x, 0, x, height());
    }
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    if (x < Left() || event->button() != Qt::LeftButton)
        return;
    const int row = RowAt(static_cast<int>(event->position().y()));
    emit momentClicked(MomentAt(x), row >= 0 ? rows_[row].camera : 0);
}

void TimelineWidget::wheelEvent(QWheelEvent* event) {
    const int x = static_cast<int>(event->position().x());
    if (x < Left())
        return;
    // Around the clock while it is in view (a pixel of the whole day is a minute and a half, too
    // coarse to aim at a short recording), else around the pointer.
    const int clockX = XOf(clock_);
    const int64_t at = (clockX >= Left() && clockX <= width() - 4 ? clock_ : MomentAt(x)) - day_;
    const int64_t span =
        event->angleDelta().y() > 0 ? std::max(kMinSpan, view_span_ / 2) : std::min(kDayMs, view_span_ * 2);
    const double share = static_cast<double>(at - view_from_) / static_cast<double>(view_span_);
    view_span_ = span;
    view_from_ =
        std::clamp<int64_t>(at - static_cast<int64_t>(share * static_cast<double>(span)), 0, kDayMs - span);
    update();
    event->accept();
}

}  // namespace kel

#pragma once
// A day of recordings at a glance: one row per camera that recorded that day, its recorded
// stretches drawn across the hours (a stretch with motion darker, a file that is gone red), the
// clock as a line. A click asks for that moment; the wheel zooms (around the clock when it is in
// view).

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QWidget>

namespace kel {

class TimelineWidget : public QWidget {
    Q_OBJECT
public:
    struct Stretch {
        int64_t fromMs = 0;
        int64_t toMs = 0;
        bool motion = false;
        bool missing = false;
    };
    struct Row {
        int camera = 0;
        QString name;
        bool shown = false;  // in a pane
        std::vector<Stretch> stretches;
    };

    explicit TimelineWidget(QWidget* parent = nullptr);

    void SetDay(int64_t dayStartMs, std::vector<Row> rows);
    void SetClock(int64_t ms);
    void SetMarks(int64_t fromMs, int64_t toMs);  // the stretch chosen for export; 0, 0: none
    int64_t DayStart() const { return day_; }
    const std::vector<Row>& Rows() const { return rows_; }
    // The moment under x, and back.
    int64_t MomentAt(int x) const;
    int XOf(int64_t ms) const;
    QSize sizeHint() const override;

signals:
    void momentClicked(qint64 ms, int camera);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int RowAt(int y) const;
    int Left() const { return 150; }

    int64_t day_ = 0;
    int64_t view_from_ = 0;  // the shown part of the day, relative to its start
    int64_t view_span_ = 86'400'000;
    int64_t clock_ = 0;
    int64_t mark_from_ = 0, mark_to_ = 0;
    std::vector<Row> rows_;
};

}  // namespace kel

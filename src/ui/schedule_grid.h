#pragma once
// The weekly schedule editor's grid ("Kalendarz"): 25 columns by 8 rows of 27-pixel cells, the
// hours 0..23 along the top, the days Monday..Sunday down the left. Each cell shows the chosen
// camera's value for that day and hour: white for no recording, the continuous or the motion
// picture for the others.
//
// Dragging over cells selects a rectangle, which takes the paint value when the button is
// released; a press on the corner cell gives the whole week of the chosen camera the paint value
// at once. Edits go to the working copy of the schedule the grid is given.
//
// Window thread only.

#include <QWidget>

#include "recording/schedule.h"

namespace kel {

class ScheduleGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCell = 27;
    static constexpr int kColumns = 25;
    static constexpr int kRows = 8;

    explicit ScheduleGrid(QWidget* parent = nullptr);

    // The working copy edited from now on; it outlives the grid's use of it.
    void SetTable(SchedulerTable* table);
    // The camera (1..16) whose week is shown and edited.
    void SetCamera(int camera);
    int Camera() const { return camera_; }
    // The value the next edit paints: 0 none, 1 continuous, 2 on motion.
    void SetPaintValue(uint8_t value) { paint_ = value; }
    uint8_t PaintValue() const { return paint_; }
    // The cell of a point, column 0..24 and row 0..7; (-1, -1) outside the grid.
    static QPoint CellAt(const QPoint& pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Fill(int fromHour, int toHour, int fromDay, int toDay);
    void PaintCell(QPainter& p, const QRect& box, uint8_t value, bool selected) const;

    SchedulerTable* table_ = nullptr;
    int camera_ = 1;
    uint8_t paint_ = kNoRecording;  // the last choice, for as long as the grid lives
    bool selecting_ = false;
    QPoint anchor_;  // cells of the rectangle being dragged (columns and rows from 1)
    QPoint current_;
};

}  // namespace kel

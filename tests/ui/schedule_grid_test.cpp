// The schedule grid: a dragged rectangle takes the paint value, the corner cell the whole week of
// the camera shown, the headers nothing; and each value shows as its own picture.

#include "ui/schedule_grid.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace kel {
namespace {

// The centre of cell (column, row).
QPoint Centre(int column, int row) {
    return QPoint(column * ScheduleGrid::kCell + 13, row * ScheduleGrid::kCell + 13);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Drag(ScheduleGrid& grid, QPoint from, QPoint to) {
    Mouse(&grid, QEvent::MouseButtonPress, from);
    Mouse(&grid, QEvent::MouseMove, to);
    Mouse(&grid, QEvent::MouseButtonRelease, to);
}

// The cells of camera n holding `value`.
int Count(const SchedulerTable& table, int camera, uint8_t value) {
    int n = 0;
    for (int day = 1; day <= 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            n += table[ScheduleIndex(camera, day, hour)] == value;
    return n;
}

TEST(ScheduleGridTest, DragsAndTheCornerCellPaintTheWeekOfTheCameraShown) {
    SchedulerTable table{};
    ScheduleGrid grid;
    EXPECT_EQ(grid.size(), QSize(25 * 27 + 1, 8 * 27 + 1));
    grid.SetTable(&table);
    grid.SetCamera(3);
    EXPECT_EQ(ScheduleGrid::CellAt(QPoint(27 * 24 + 26, 27 * 7 + 26)), QPoint(24, 7));
    EXPECT_EQ(ScheduleGrid::CellAt(QPoint(27 * 25, 0)), QPoint(-1, -1));

    // Tuesday..Thursday, 2 h..5 h, dragged either way.
    grid.SetPaintValue(kContinuous);
    Drag(grid, Centre(3, 2), Centre(6, 4));
    EXPECT_EQ(Count(table, 3, kContinuous), 12);
    EXPECT_EQ(table[ScheduleIndex(3, 2, 2)], kContinuous);
    EXPECT_EQ(table[ScheduleIndex(3, 4, 5)], kContinuous);
    EXPECT_EQ(table[ScheduleIndex(3, 5, 5)], kNoRecording);
    grid.SetPaintValue(kOnMotion);
    Drag(grid, Centre(6, 4), Centre(3, 2));
    EXPECT_EQ(Count(table, 3, kOnMotion), 12);
    EXPECT_EQ(grid.PaintValue(), kOnMotion) << "the paint value stays chosen";

    // Past the grid's edge the rectangle stops at Sunday 23 h.
    grid.SetPaintValue(kContinuous);
    Drag(grid, Centre(24, 7), QPoint(2000, 2000));
    EXPECT_EQ(table[ScheduleIndex(3, 7, 23)], kContinuous);

    // The headers select nothing; the corner fills the camera's week at once, and only its week.
    table[ScheduleIndex(4, 1, 0)] = kOnMotion;
    Drag(grid, Centre(5, 0), Centre(8, 3));
    Drag(grid, Centre(0, 3), Centre(8, 3));
    EXPECT_EQ(Count(table, 3, kContinuous), 1);
    Mouse(&grid, QEvent::MouseButtonPress, Centre(0, 0));
    EXPECT_EQ(Count(table, 3, kContinuous), 168);
    Mouse(&grid, QEvent::MouseButtonRelease, Centre(0, 0));
    EXPECT_EQ(Count(table, 3, kContinuous), 168);
    EXPECT_EQ(table[ScheduleIndex(4, 1, 0)], kOnMotion) << "another camera keeps its week";
    EXPECT_EQ(Count(table, 2, kNoRecording), 168);
}

TEST(ScheduleGridTest, EachValueHasItsPicture) {
    SchedulerTable table{};
    table[ScheduleIndex(1, 1, 0)] = kContinuous;
    table[ScheduleIndex(1, 1, 1)] = kOnMotion;
    ScheduleGrid grid;
    grid.SetTable(&table);
    const QImage shot = grid.grab().toImage();
    auto at = [&](int column, int row, int dx, int dy) {
        return QColor(shot.pixel(column * 27 + 13 + dx, row * 27 + 13 + dy));
    };
    EXPECT_EQ(at(3, 1, 0, 0), QColor(Qt::white)) << "no recording: white";
    EXPECT_EQ(at(1, 1, 0, 0), QColor(0xd0, 0x5a, 0x4e)) << "continuous: the red dot";
    EXPECT_EQ(at(2, 1, 0, 5), QColor(0xf0, 0xb2, 0x3a)) << "motion: the amber sign";
    EXPECT_NE(at(1, 0, 0, 0), QColor(Qt::white)) << "the hour header";
}

}  // namespace
}  // namespace kel

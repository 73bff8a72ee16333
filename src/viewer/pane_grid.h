#pragma once
// The viewer's pictures: one to four panes (one whole, two side by side, up to four in a square),
// each its camera's picture kept in proportion, with the camera's name and the picture's own date
// and time over it, or the reason there is no picture. A click chooses the lead pane.

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

namespace kel {

class PaneGrid : public QWidget {
    Q_OBJECT
public:
    struct View {
        QString title;
        QString stamp;
        QString note;
        QImage image;
    };

    explicit PaneGrid(QWidget* parent = nullptr);
    void SetViews(std::vector<View> views);
    const std::vector<View>& Views() const { return views_; }
    // Pane i's rectangle at the current size.
    QRect PaneRect(int i) const;

signals:
    void paneClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::vector<View> views_;
};

}  // namespace kel

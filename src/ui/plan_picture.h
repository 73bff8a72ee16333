#pragma once
// The site-plan editor's picture (`Image2`): shows the plan with the placed camera icons 1:1 from
// its top-left corner and reports presses in the picture's own coordinates.
//
// Window thread only.

#include <QImage>
#include <QWidget>

namespace kel {

class PlanPicture : public QWidget {
    Q_OBJECT
public:
    explicit PlanPicture(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

signals:
    void pressed(QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

}  // namespace kel

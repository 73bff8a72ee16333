#pragma once
// A picture button: four pictures, one per state, copied as plain rectangles. The button always
// takes the size of the picture it shows, so a skin decides the geometry of its buttons.
//
//   PicIdle   normal
//   PicUp     pointer over the enabled button, not pressed   (empty: PicIdle)
//   PicDown   pressed with the pointer over it               (empty: PicIdle)
//   PicDsbld  disabled                                       (empty: PicIdle)
//
// Without a picture for its state the button draws its own flat dark face with its text, at
// kDefaultSize, so dialogs stay usable before a skin is loaded.
//
// Window thread only, like every widget.

#include <QAbstractButton>
#include <QPixmap>

namespace kel {

class TEzRgnBtn : public QAbstractButton {
    Q_OBJECT

public:
    enum class Face { Idle, Up, Down, Disabled };

    static constexpr QSize kDefaultSize{75, 25};

    explicit TEzRgnBtn(QWidget* parent = nullptr);
    TEzRgnBtn(const QString& text, QWidget* parent);

    void SetPicIdle(const QPixmap& pic);
    void SetPicUp(const QPixmap& pic);
    void SetPicDown(const QPixmap& pic);
    void SetPicDsbld(const QPixmap& pic);

    const QPixmap& PicIdle() const { return idle_; }
    const QPixmap& PicUp() const { return up_; }
    const QPixmap& PicDown() const { return down_; }
    const QPixmap& PicDsbld() const { return dsbld_; }

    // The state the button is drawn in now.
    Face CurrentFace() const;
    // The picture drawn for the current state after the fall-backs; null for the default look.
    const QPixmap& ShownPicture() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void FitSize();
    void PaintDefaultFace(QPainter& p) const;

    QPixmap idle_;
    QPixmap up_;
    QPixmap down_;
    QPixmap dsbld_;
    // Our own flag rather than underMouse(): it follows exactly the enter and leave events we get.
    bool hover_ = false;
};

}  // namespace kel

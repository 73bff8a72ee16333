#include "ui/ez_rgn_btn.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kel {

namespace {

// The default look: calm, dark and flat, readable on the dark skins.
const QColor kFaceIdle(0x2b, 0x30, 0x37);
const QColor kFaceUp(0x3a, 0x41, 0x4b);
const QColor kFaceDown(0x1d, 0x20, 0x25);
const QColor kBorder(0x55, 0x5d, 0x68);
const QColor kText(0xd8, 0xdd, 0xe3);
const QColor kTextDisabled(0x7a, 0x80, 0x88);

}  // namespace

TEzRgnBtn::TEzRgnBtn(QWidget* parent) : TEzRgnBtn(QString(), parent) {}

TEzRgnBtn::TEzRgnBtn(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    // The face changes with the pressed state, and so may the size; QAbstractButton emits these
    // signals for the pointer leaving and re-entering a held button as well.
    connect(this, &QAbstractButton::pressed, this, &TEzRgnBtn::FitSize);
    connect(this, &QAbstractButton::released, this, &TEzRgnBtn::FitSize);
    FitSize();
}

void TEzRgnBtn::SetPicIdle(const QPixmap& pic) {
    idle_ = pic;
    FitSize();
}

void TEzRgnBtn::SetPicUp(const QPixmap& pic) {
    up_ = pic;
    FitSize();
}

void TEzRgnBtn::SetPicDown(const QPixmap& pic) {
    down_ = pic;
    FitSize();
}

void TEzRgnBtn::SetPicDsbld(const QPixmap& pic) {
    dsbld_ = pic;
    FitSize();
}

TEzRgnBtn::Face TEzRgnBtn::CurrentFace() const {
    if (!isEnabled())
        return Face::Disabled;
    // isDown() is false while a held button has the pointer outside it: that shows the idle face.
    if (isDown())
        return Face::Down;
    return hover_ ? Face::Up : Face::Idle;
}

const QPixmap& TEzRgnBtn::ShownPicture() const {
    const QPixmap* own = &idle_;
    switch (CurrentFace()) {
    case Face::Up:
        own = &up_;
        break;
    case Face::Down:
        own = &down_;
        break;
    case Face::Disabled:
        own = &dsbld_;
        break;
    case Face::Idle:
        break;
    }
    return own->isNull() ? idle_ : *own;
}

QSize TEzRgnBtn::sizeHint() const {
    const QPixmap& pic = ShownPicture();
    // deviceIndependentSize keeps a high-DPI skin picture at its logical size.
    return pic.isNull() ? kDefaultSize : pic.deviceIndependentSize().toSize();
}

void TEzRgnBtn::FitSize() {
    setFixedSize(sizeHint());
    update();
}

void TEzRgnBtn::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& pic = ShownPicture();
    if (pic.isNull())
        PaintDefaultFace(p);
    else
        p.drawPixmap(0, 0, pic);
}

void TEzRgnBtn::PaintDefaultFace(QPainter& p) const {
    QColor face = kFaceIdle;
    if (CurrentFace() == Face::Up)
        face = kFaceUp;
    else if (CurrentFace() == Face::Down)
        face = kFaceDown;
    p.fillRect(rect(), face);
    p.setPen(kBorder);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(isEnabled() ? kText : kTextDisabled);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}

void TEzRgnBtn::enterEvent(QEnterEvent* e) {
    hover_ = true;
    FitSize();
    QAbstractButton::enterEvent(e);
}

void TEzRgnBtn::leaveEvent(QEvent* e) {
    hover_ = false;
    FitSize();
    QAbstractButton::leaveEvent(e);
}

void TEzRgnBtn::mouseMoveEvent(QMouseEvent* e) {
    // While a button is held the pointer is grabbed and no leave event comes: follow it here, so
    // a held button with the pointer outside shows the idle face rather than PicUp.
    hover_ = hitButton(e->position().toPoint());
    QAbstractButton::mouseMoveEvent(e);
    FitSize();
}

void TEzRgnBtn::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange)
        FitSize();
    QAbstractButton::changeEvent(e);
}

}  // namespace kel

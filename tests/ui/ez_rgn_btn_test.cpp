#include "ui/ez_rgn_btn.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

namespace kel {
namespace {

QPixmap Filled(QSize size, QColor colour) {
    QPixmap pic(size);
    pic.fill(colour);
    return pic;
}

void Enter(QWidget* w) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(w, &e);
}

void Leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Four pictures of four sizes, so the size alone tells which one is shown.
struct FourPictureButton : ::testing::Test {
    void SetUp() override {
        btn.SetPicIdle(Filled({40, 20}, Qt::darkGray));
        btn.SetPicUp(Filled({41, 21}, Qt::gray));
        btn.SetPicDown(Filled({42, 22}, Qt::black));
        btn.SetPicDsbld(Filled({43, 23}, Qt::lightGray));
        btn.show();
    }
    TEzRgnBtn btn;
};

TEST_F(FourPictureButton, FollowsPointerAndPressWithItsSizeAndSignals) {
    int pressed = 0, released = 0, clicked = 0;
    QObject::connect(&btn, &QAbstractButton::pressed, [&] { ++pressed; });
    QObject::connect(&btn, &QAbstractButton::released, [&] { ++released; });
    QObject::connect(&btn, &QAbstractButton::clicked, [&] { ++clicked; });
    EXPECT_EQ(btn.size(), QSize(40, 20));

    Enter(&btn);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Up);
    EXPECT_EQ(btn.size(), QSize(41, 21));

    Mouse(&btn, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Down);
    EXPECT_EQ(btn.size(), QSize(42, 22));
    EXPECT_EQ(pressed, 1);

    Mouse(&btn, QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Up);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(clicked, 1);

    Leave(&btn);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Idle);
    EXPECT_EQ(btn.size(), QSize(40, 20));

    btn.setEnabled(false);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Disabled);
    EXPECT_EQ(btn.size(), QSize(43, 23));
}

TEST_F(FourPictureButton, HeldButtonWithPointerOutsideShowsIdleAndDoesNotClick) {
    int clicked = 0;
    QObject::connect(&btn, &QAbstractButton::clicked, [&] { ++clicked; });
    Enter(&btn);
    Mouse(&btn, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    Mouse(&btn, QEvent::MouseMove, {200, 200}, Qt::LeftButton);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Idle);
    EXPECT_EQ(btn.size(), QSize(40, 20));

    Mouse(&btn, QEvent::MouseMove, {5, 5}, Qt::LeftButton);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Down);

    Mouse(&btn, QEvent::MouseMove, {200, 200}, Qt::LeftButton);
    Mouse(&btn, QEvent::MouseButtonRelease, {200, 200}, Qt::NoButton);
    EXPECT_EQ(clicked, 0);
}

TEST(EzRgnBtn, EmptyPicturesFallBackToIdle) {
    TEzRgnBtn btn;
    btn.SetPicIdle(Filled({30, 12}, Qt::blue));
    btn.show();
    const qint64 idleKey = btn.PicIdle().cacheKey();

    Enter(&btn);
    EXPECT_EQ(btn.ShownPicture().cacheKey(), idleKey);
    Mouse(&btn, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton);
    EXPECT_EQ(btn.CurrentFace(), TEzRgnBtn::Face::Down);
    EXPECT_EQ(btn.ShownPicture().cacheKey(), idleKey);
    Mouse(&btn, QEvent::MouseButtonRelease, {3, 3}, Qt::NoButton);
    btn.setEnabled(false);
    EXPECT_EQ(btn.ShownPicture().cacheKey(), idleKey);
    EXPECT_EQ(btn.size(), QSize(30, 12));
}

TEST(EzRgnBtn, PictureIsCopiedAsAPlainRectangle) {
    // The top-left pixel would be the transparent colour of the other paint modes; here it must
    // be drawn like every other pixel.
    QPixmap pic = Filled({20, 10}, Qt::red);
    {
        QPainter p(&pic);
        p.fillRect(0, 0, 1, 1, Qt::green);
    }
    TEzRgnBtn btn;
    btn.SetPicIdle(pic);
    const QImage shot = btn.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(20, 10));
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(10, 5), QColor(Qt::red));
}

TEST(EzRgnBtn, WithoutPicturesDrawsItsOwnDarkFaceAtTheDefaultSize) {
    TEzRgnBtn btn(QStringLiteral("OK"), nullptr);
    EXPECT_TRUE(btn.ShownPicture().isNull());
    EXPECT_EQ(btn.size(), TEzRgnBtn::kDefaultSize);
    const QImage shot = btn.grab().toImage();
    EXPECT_LT(shot.pixelColor(3, 3).lightness(), 80);

    // A picture given later takes over the size.
    btn.SetPicIdle(Filled({50, 30}, Qt::white));
    EXPECT_EQ(btn.size(), QSize(50, 30));
}

}  // namespace
}  // namespace kel

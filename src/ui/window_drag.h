#pragma once
// Dragging a borderless window by its own bars: a left press on a handle starts the window
// system's move where the window system offers one, and otherwise the window follows the pointer
// until the button is released. The window's owner hears when a move starts and when it has ended
// (to pause the display thread meanwhile and to keep the new place).
//
// Window thread only.

#include <QObject>
#include <QPoint>
#include <functional>
#include <initializer_list>

class QWidget;

namespace kel {

class WindowDrag : public QObject {
    Q_OBJECT
public:
    // `handles` are the window's children a press on which drags it.
    WindowDrag(QWidget* window, std::initializer_list<QWidget*> handles, std::function<void()> started,
               std::function<void()> ended);

    bool Active() const { return active_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Start(const QPoint& globalPos);
    void End();

    QWidget* const window_;
    const std::function<void()> started_;
    const std::function<void()> ended_;
    bool active_ = false;
    bool system_ = false;  // the window system moves the window
    QPoint grab_;          // the pointer's offset in the window, for our own move
};

}  // namespace kel

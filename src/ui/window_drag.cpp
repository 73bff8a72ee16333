#include "ui/window_drag.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace kel {

WindowDrag::WindowDrag(QWidget* window, std::initializer_list<QWidget*> handles,
                       std::function<void()> started, std::function<void()> ended)
    : QObject(window), window_(window), started_(std::move(started)), ended_(std::move(ended)) {
    for (QWidget* handle : handles)
        handle->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (active_ && system_) {
        // The window system has the pointer during its move; the first pointer event that comes
        // back to us ends it.
        if (type == QEvent::MouseButtonRelease || type == QEvent::NonClientAreaMouseButtonRelease ||
            type == QEvent::Enter ||
            (type == QEvent::MouseMove && QGuiApplication::mouseButtons() == Qt::NoButton))
            End();
        return false;
    }
    switch (type) {
    case QEvent::MouseButtonPress:
        if (auto* mouse = static_cast<QMouseEvent*>(event); mouse->button() == Qt::LeftButton)
            Start(mouse->globalPosition().toPoint());
        return true;
    case QEvent::MouseMove:
        if (active_)
            window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grab_);
        return true;
    case QEvent::MouseButtonRelease:
        End();
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

void WindowDrag::Start(const QPoint& globalPos) {
    if (active_)
        return;
    active_ = true;
    system_ = false;
    grab_ = globalPos - window_->pos();
    started_();
    QWindow* handle = window_->windowHandle();
    if (QGuiApplication::platformName() != QLatin1String("offscreen") && handle &&
        handle->startSystemMove()) {
        system_ = true;
        qApp->installEventFilter(this);
    }
}

void WindowDrag::End() {
    if (!active_)
        return;
    if (system_)
        qApp->removeEventFilter(this);
    active_ = system_ = false;
    ended_();
}

}  // namespace kel

#pragma once
// Helpers for driving widgets on the offscreen platform without a real pointer or keyboard.

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <functional>

namespace kel::test {

// Sends a key press (and its release) to `w`, as the keyboard would deliver it to the focus.
inline void PressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

// Runs `step` once the modal loop that the caller is about to enter has started.
inline void WhenModal(std::function<void()> step) {
    QTimer::singleShot(0, qApp, std::move(step));
}

} // namespace kel::test

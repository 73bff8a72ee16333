#pragma once
// Helpers for driving widgets on the offscreen platform without a real pointer or keyboard.

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace kel::test {

// Sends a key press (and its release) to `w`, as the keyboard would deliver it to the focus.
inline void PressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

// Runs `step` once the modal loop that the caller is about to enter has started. A step that
// leaves a modal dialog open is a failure, and the dialog is closed so the test ends, not hangs.
inline void WhenModal(std::function<void()> step) {
    QTimer::singleShot(0, qApp, [step = std::move(step)] {
        step();
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "a modal dialog was left open";
            open->done(-1);
        }
    });
}

}  // namespace kel::test

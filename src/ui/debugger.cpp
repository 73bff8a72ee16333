#include "ui/debugger.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QThread>
#include <QWindow>

namespace kel {

TDebugger::TDebugger(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), Memo(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Debugger"));
    setFixedSize(kClientSize);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setGeometry(kMemoRect);
    Memo->setReadOnly(true);
    // Appended lines are never undone; an undo history would only double the memory they take.
    Memo->setUndoRedoEnabled(false);
    // The newest lines only: a station runs for months, and clients connecting by the thousand
    // would otherwise grow the box without end.
    Memo->setMaximumBlockCount(kMaxLines);
    installEventFilter(this);
    Memo->installEventFilter(this);
    queue_.SetWake([this] { QMetaObject::invokeMethod(this, "DrainLines", Qt::QueuedConnection); });
}

void TDebugger::AddLine(std::string_view text) {
    // The view into the caller's text dies with the call: copy it before it crosses threads.
    QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == thread()) {
        AppendLine(line);
        return;
    }
    // Queued for the window thread; jobs run in the order they were posted, and
    // pending ones go with the window.
    queue_.Post([this, line = std::move(line)] { AppendLine(line); });
}

void TDebugger::DrainLines() {
    queue_.RunPending();
}

void TDebugger::AppendLine(const QString& line) {
    Memo->appendPlainText(line);
}

void TDebugger::Toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    show();
    raise();
}

bool TDebugger::MemoKeyDown(const QKeyEvent& e) {
    if (e.key() != Qt::Key_D || !(e.modifiers() & Qt::ControlModifier))
        return false;
    Toggle();
    return true;
}

bool TDebugger::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && (watched == this || watched == Memo)) {
        if (MemoKeyDown(static_cast<const QKeyEvent&>(*e)))
            return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TDebugger::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TDebugger::FormShow() {
    // The hint was given at creation; should anything have cleared it, restore it on the native
    // window, which (unlike setWindowFlags on the widget) neither hides nor moves the window.
    if (!windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        overrideWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
        if (QWindow* w = windowHandle())
            w->setFlags(w->flags() | Qt::WindowStaysOnTopHint);
    }
    raise();
}

}  // namespace kel

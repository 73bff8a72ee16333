#pragma once
// The debug window: a hidden tool window collecting progress lines in a read-only text box, the
// newest kMaxLines of them. Ctrl+D hides it when visible and shows it otherwise.
//
// AddLine may be called from any thread; lines from other threads are copied and queued for the
// window thread (a queued call runs them), so only the window thread touches the text box. Lines from
// one thread arrive in the order they were added.

#include <QWidget>
#include <string_view>

#include "core/debug_lines.h"
#include "platform/window_queue.h"

class QKeyEvent;
class QPlainTextEdit;

namespace kel {

class TDebugger : public QWidget, public DebugLines {
    Q_OBJECT

public:
    static constexpr QSize kClientSize{436, 338};
    static constexpr QRect kMemoRect{8, 8, 417, 321};
    static constexpr int kMaxLines = 2000;

    explicit TDebugger(QWidget* parent = nullptr);

    // Any thread.
    void AddLine(std::string_view text) override;

    // Window thread only from here on.

    // Hidden when visible, else shown on top of the other windows (the main window's Ctrl+D).
    void Toggle();
    // Ctrl+D: Toggle. True when the key was handled.
    bool MemoKeyDown(const QKeyEvent& e);
    // Keeps the window above the others without moving or resizing it.
    void FormShow();

    QPlainTextEdit* Memo;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // Lines queued by other threads, on the window thread (called by name from the queue's wake-up).
    Q_INVOKABLE void DrainLines();
    void AppendLine(const QString& line);

    WindowQueue queue_;  // lines from other threads
};

}  // namespace kel

#pragma once
// The main window's video area (`w_Tlo`): the widget right of the control panel and below the
// bars, at (250, 41), or over the whole screen in full screen, that shows the renderer's
// finished pictures 1:1.
//
// It is the renderer's sink. The display thread hands each picture over and returns at once; the
// widget keeps the newest and repaints from the window thread. Pictures for the other view modes
// are kept for the windows that show them. Presses and pointer moves go to the main window,
// in the coordinates of the picture shown.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "display/video_sink.h"
#include "platform/guarded.h"

namespace kel {

class VideoArea : public QWidget, public VideoSink {
    Q_OBJECT
public:
    explicit VideoArea(QWidget* parent);

    // Display thread.
    void Present(PresentTarget target, const QImage& picture, const QRegion& changed) override;

    // Window thread: the picture shown, the main window's or the full screen's.
    void ShowTarget(PresentTarget target);
    PresentTarget ShownTarget() const { return static_cast<PresentTarget>(shown_.load()); }
    // The newest picture for `target` (null before the first).
    QImage Picture(PresentTarget target) const;
    // Pictures presented so far, for every target.
    uint64_t Presented() const { return presented_.load(std::memory_order_relaxed); }

signals:
    void pressed(Qt::MouseButton button, bool shift, QPoint pos, QPoint globalPos);
    void moved(QPoint pos);
    void released(Qt::MouseButton button, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr int kTargets = 4;
    // The repaint the display thread asked for, on the window thread.
    Q_INVOKABLE void Repaint();

    mutable Mutex mutex_;
    QImage pictures_[kTargets] KEL_GUARDED_BY(mutex_);  // index = PresentTarget
    // Where the shown target's pictures changed since the last repaint asked for; empty: anywhere.
    QRegion changed_ KEL_GUARDED_BY(mutex_);
    bool changed_whole_ KEL_GUARDED_BY(mutex_) = false;
    std::atomic<int> shown_{static_cast<int>(PresentTarget::MainWindow)};
    std::atomic<bool> repaint_asked_{false};
    std::atomic<uint64_t> presented_{0};
};

}  // namespace kel

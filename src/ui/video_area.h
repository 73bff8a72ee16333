#pragma once
// The main window's video area: the widget right of the control panel and below the bars, at
// (250, 41), that shows the renderer's finished pictures 1:1.
//
// It is the renderer's sink. The display thread hands each picture over and returns at once; the
// widget keeps the newest and repaints from the window thread. Pictures for the other view modes
// are kept for the windows that show them.

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "display/video_sink.h"

namespace kel {

class VideoArea : public QWidget, public VideoSink {
    Q_OBJECT
public:
    explicit VideoArea(QWidget* parent);

    // Display thread.
    void Present(PresentTarget target, const QImage& picture) override;

    // Window thread: the newest picture for `target` (null before the first).
    QImage Picture(PresentTarget target) const;
    // Pictures presented so far, for every target.
    uint64_t Presented() const { return presented_.load(std::memory_order_relaxed); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kTargets = 4;
    static constexpr int kRepaintCheckMs = 20;

    mutable std::mutex mutex_;
    QImage pictures_[kTargets];  // Guarded by mutex_; index = PresentTarget
    std::atomic<bool> repaint_asked_{false};
    std::atomic<uint64_t> presented_{0};
};

}  // namespace kel

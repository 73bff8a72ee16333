#pragma once
// Where finished pictures go: the widget of the current view mode. The renderer hands each picture
// over already at the size it is shown at; the window side only paints it.
//
// Present is called on the display thread and must return at once: it keeps the picture (QImage
// shares its bytes, the renderer never writes a picture it has handed over) and asks the window
// thread to repaint. So neither thread ever waits for the other's work.

#include <QImage>
#include <QRegion>

namespace kel {

enum class PresentTarget {
    MainWindow,     // the main window's video area, 1:1
    SmartView,      // the SmartView window's picture
    FullScreen,     // the whole screen
    ConfigPreview,  // the configuration dialog's camera preview
};

class VideoSink {
public:
    virtual ~VideoSink() = default;
    // Display thread. `changed` is where the picture differs from the one presented before for
    // the same target; empty: anywhere.
    virtual void Present(PresentTarget target, const QImage& picture, const QRegion& changed) = 0;
};

}  // namespace kel

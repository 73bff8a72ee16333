#pragma once
// The text drawn over a camera tile: the camera's name at the top left, the date and time of its
// last frame at the bottom left, "REC" at the top right while it records.
//
// The font follows the tile's width: up to 192 pixels 8 points, up to 256 10 points, up to 385 11
// points, wider 22 points, all bold. Positions are computed from the point size s itself, as the
// layouts were designed: the stamp s + round(0.9 s) above the tile's bottom, "REC" 4 s left of its
// right edge. A free sans-serif face stands for the bitmap face the design used; sizes are
// pixels at 96 dpi, so the text takes the room it was designed for.
//
// Without the shadow switch each text stands on a black box as wide as the text and a line high;
// with it, the text is drawn in black one pixel down and right first, over the picture. "REC"
// always has its black shadow. A name or stamp wider than its box is drawn smaller so that it
// fits whole; every text is clipped to its box.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <array>
#include <unordered_map>

#include "display/rect.h"

class QPainter;

namespace kel {

struct TileTextStyle {
    QColor color;
    bool names = false;   // name and stamp shown
    bool shadow = false;  // shadow instead of black boxes
    bool rec = false;     // the recording marker shown for recording cameras
};

class TileText {
public:
    static constexpr const char* kFamily = "DejaVu Sans";

    TileText();
    // 8, 10, 11 or 22.
    static int PointSize(int tileWidth);
    // The font's pixel size at 96 dpi.
    static int PixelSize(int points);
    // Where the texts of a tile go (before their one-pixel shadow offset).
    static QRect NameBox(const Rect& tile);
    static QRect StampBox(const Rect& tile, int points);
    static QRect RecBox(const Rect& tile, int points);

    // The face a name or stamp of `points` is drawn in: smaller when `text` would not fit `width`.
    QFont FittedFont(int points, const QString& text, int width) const;
    // Draws the tile's texts with `painter`, which is active on the back surface.
    void Draw(QPainter& painter, const Rect& tile, const QString& name, const QString& stamp, bool recording,
              const TileTextStyle& style) const;

private:
    const QFont& FontFor(int points) const;
    void Text(QPainter& painter, const QRect& box, const QString& text, const QColor& color,
              bool opaque) const;

    std::array<QFont, 4> fonts_;  // 8, 10, 11 and 22 points
    // Pixel sizes that make a text fit its box, by point size and text; the stamps change every
    // second, so each text is measured once, not on every pass. Display thread only.
    mutable std::unordered_map<QString, int> fitted_[4];
    // Texts drawn once, by font size, colour, ground and text, into small images with their black
    // box or on transparent ground: a tile drawn again (a new picture) lays the image over it
    // instead of rasterising the glyphs again. Display thread only.
    mutable std::unordered_map<QString, QImage> drawn_;
};

}  // namespace kel

#include "display/tile_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "display/rounding.h"

namespace kel {

namespace {
constexpr int kPoints[4] = {8, 10, 11, 22};
constexpr size_t kFittedTexts = 256;  // per size; a day's stamps come and go
}  // namespace

TileText::TileText() {
    for (size_t i = 0; i < fonts_.size(); ++i) {
        QFont font(kFamily);
        font.setPixelSize(PixelSize(kPoints[i]));
        font.setBold(true);
        font.setStyleHint(QFont::SansSerif);
        fonts_[i] = font;
    }
}

int TileText::PointSize(int tileWidth) {
    if (tileWidth <= 192)
        return 8;
    if (tileWidth <= 256)
        return 10;
    if (tileWidth <= 385)
        return 11;
    return 22;
}

int TileText::PixelSize(int points) {
    return RoundEven(static_cast<long double>(points) * 96 / 72);
}

QRect TileText::NameBox(const Rect& tile) {
    return QRect(tile.left + 5, tile.top + 5, 200, 40);
}

QRect TileText::StampBox(const Rect& tile, int points) {
    int top = tile.bottom - points - RoundEven(0.9L * points);
    return QRect(tile.left + 5, top, 250, 40);
}

QRect TileText::RecBox(const Rect& tile, int points) {
    return QRect(tile.right - 4 * points, tile.top + 5, 250, 40);
}

const QFont& TileText::FontFor(int points) const {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (kPoints[i] == points)
            return fonts_[i];
    return fonts_.back();
}

QFont TileText::FittedFont(int points, const QString& text, int width) const {
    size_t i = 0;
    while (i + 1 < fonts_.size() && kPoints[i] != points)
        ++i;
    const QFont& font = fonts_[i];
    auto& cache = fitted_[i];
    auto found = cache.find(text);
    if (found == cache.end()) {
        if (cache.size() > kFittedTexts)
            cache.clear();
        int pixels = font.pixelSize();
        const int advance = QFontMetrics(font).horizontalAdvance(text);
        if (advance > width)
            pixels = std::max(1, pixels * width / advance);
        found = cache.emplace(text, pixels).first;
    }
    if (found->second == font.pixelSize())
        return font;
    QFont smaller = font;
    smaller.setPixelSize(found->second);
    return smaller;
}

void TileText::Text(QPainter& painter, const QRect& box, const QString& text, const QColor& color,
                    bool opaque) const {
    if (text.isEmpty())
        return;
    if (drawn_.size() > kFittedTexts)
        drawn_.clear();
    const QFont& font = painter.font();
    const QString key = QString::number(font.pixelSize()) + '|' + QString::number(color.rgb(), 16) +
                        (opaque ? "|b|" : "|t|") + text;
    auto found = drawn_.find(key);
    if (found == drawn_.end()) {
        // As wide as the text and a line high, with room for what the glyphs reach beyond.
        const QFontMetrics fm(font);
        const int advance = fm.horizontalAdvance(text), margin = font.pixelSize() / 2 + 2;
        QImage image(advance + margin, fm.height() + margin, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);  // the fonts are sized in pixels: no resolution to match
        QPainter on(&image);
        if (opaque)
            on.fillRect(QRect(0, 0, advance, fm.height()), Qt::black);
        on.setFont(font);
        on.setPen(color);
        on.drawText(QPoint(0, fm.ascent()), text);
        on.end();
        found = drawn_.emplace(key, std::move(image)).first;
    }
    const QImage& image = found->second;
    if (box.contains(QRect(box.topLeft(), image.size()))) {
        painter.drawImage(box.topLeft(), image);
        return;
    }
    painter.save();
    painter.setClipRect(box);
    painter.drawImage(box.topLeft(), image);
    painter.restore();
}

void TileText::Draw(QPainter& painter, const Rect& tile, const QString& name, const QString& stamp,
                    bool recording, const TileTextStyle& style) const {
    const int s = PointSize(tile.Width());
    painter.setFont(FontFor(s));
    const bool opaque = !style.shadow;
    const QPoint shadow(1, 1);
    if (style.names) {
        QRect nameBox = NameBox(tile), stampBox = StampBox(tile, s);
        // Most texts fit: the painter's font is changed only for one that does not.
        const int pixels = FontFor(s).pixelSize();
        const QFont stampFont = FittedFont(s, stamp, stampBox.width());
        const QFont nameFont = FittedFont(s, name, nameBox.width());
        if (stampFont.pixelSize() != pixels)
            painter.setFont(stampFont);
        if (style.shadow)
            Text(painter, stampBox.translated(shadow), stamp, Qt::black, false);
        Text(painter, stampBox, stamp, style.color, opaque);
        if (nameFont.pixelSize() != painter.font().pixelSize())
            painter.setFont(nameFont);
        if (style.shadow)
            Text(painter, nameBox.translated(shadow), name, Qt::black, false);
        Text(painter, nameBox, name, style.color, opaque);
        if (painter.font().pixelSize() != pixels)
            painter.setFont(FontFor(s));
    }
    if (style.rec && recording) {
        QRect recBox = RecBox(tile, s);
        Text(painter, recBox.translated(shadow), QStringLiteral("REC"), Qt::black, opaque);
        Text(painter, recBox, QStringLiteral("REC"), style.color, opaque);
    }
}

}  // namespace kel

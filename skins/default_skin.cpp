// Draws the Default skin for the three application widths, and the program's icon:
//
//   kel_default_skin OUTPUT_FOLDER      writes OUTPUT_FOLDER/<width>/*.bmp for 1024, 1152 and 1280
//   kel_default_skin --icon FILE.png [SIZE]   writes the SIZE x SIZE icon (128 by default) with a
//                                            transparent background
//
// The video area: the background, the three status panels, the two symbols, the site plan and
// the camera icons with and without motion. The console: the title and command bars, the left
// control panel's backgrounds, every key in its idle, hovered, pressed and disabled looks, and
// the small SmartView window. A dark, calm theme: slate greys, steel for what the pointer is on,
// amber for motion and for an armed zoom. Everything is drawn from code so the skin builds with
// the program and fits each width's geometry.

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* kFamily = "DejaVu Sans";

struct Theme {
    QColor deep{0x0d, 0x11, 0x16};
    QColor base{0x16, 0x1b, 0x22};
    QColor raised{0x1e, 0x25, 0x2f};
    QColor line{0x2b, 0x34, 0x40};
    QColor muted{0x5d, 0x6b, 0x7b};
    QColor text{0xd6, 0xdd, 0xe5};
    QColor steel{0x6f, 0x9b, 0xc4};
    QColor amber{0xf0, 0xb2, 0x3a};
    QColor red{0xd0, 0x5a, 0x4e};
};
const Theme kTheme;

QFont Font(int pixels, bool bold = true) {
    QFont f(kFamily);
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// The largest bold font up to `pixels` in which `text` fits `width`.
QFont FittingFont(const QString& text, int pixels, int width) {
    QFont f = Font(pixels);
    while (pixels > 10 && QFontMetrics(f).horizontalAdvance(text) > width)
        f = Font(--pixels);
    return f;
}

QImage Canvas(int w, int h, const QColor& fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

bool Save(const QImage& image, const QString& folder, const QString& name) {
    QString path = folder + "/" + name;
    if (!image.save(path, "BMP")) {
        std::fprintf(stderr, "kel_default_skin: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// --- Background of the video area ---

QImage Background(int w, int h, int usedHeight) {
    QImage image = Canvas(w, h, kTheme.deep);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kTheme.deep);
    g.setColorAt(1, QColor(0x10, 0x15, 0x1b));
    p.fillRect(image.rect(), g);
    // The strip below the camera tiles carries a quiet caption.
    const int strip = usedHeight + 1;
    if (h - strip > 24) {
        p.setPen(kTheme.line);
        p.drawLine(12, strip + 8, w - 12, strip + 8);
        p.setFont(Font(13));
        p.setPen(kTheme.muted);
        QRect caption(12, strip + 14, w - 24, 22);
        p.drawText(caption, Qt::AlignRight | Qt::AlignVCenter, "KEL  ·  System Cyfrowej Rejestracji Obrazu");
        p.setFont(Font(11, false));
        p.setPen(kTheme.line.lighter(140));
        p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, "PODGLĄD NA ŻYWO");
    }
    return image;
}

// --- Status panels: 352 x 288, stretched to every tile size ---

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

void CameraOffGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    QPen pen(c, r.width() * 0.09, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    QRectF ring = r.adjusted(r.width() * 0.12, r.height() * 0.12, -r.width() * 0.12, -r.height() * 0.12);
    p.drawArc(ring, 120 * 16, 300 * 16);
    p.drawLine(QPointF(r.center().x(), r.top() + r.height() * 0.02), QPointF(r.center().x(), r.center().y()));
}

void NoSignalGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    // A camera with a stroke through it.
    const qreal u = r.width() / 10;
    QPainterPath body;
    body.addRoundedRect(QRectF(r.left() + u * 0.6, r.top() + u * 3, u * 6, u * 4.4), u * 0.8, u * 0.8);
    QPainterPath lens;
    lens.moveTo(r.left() + u * 6.6, r.top() + u * 4.4);
    lens.lineTo(r.left() + u * 9.4, r.top() + u * 3.2);
    lens.lineTo(r.left() + u * 9.4, r.top() + u * 6.8);
    lens.lineTo(r.left() + u * 6.6, r.top() + u * 5.6);
    lens.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body.united(lens));
    p.setPen(QPen(kTheme.base, u * 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.left() + u, r.top() + u * 1.4), QPointF(r.right() - u, r.bottom() - u * 1.4));
    p.setPen(QPen(c, u * 0.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.left() + u, r.top() + u * 1.4), QPointF(r.right() - u, r.bottom() - u * 1.4));
}

void LockGlyph(QPainter& p, const QRectF& r, const QColor& c) {
    const qreal u = r.width() / 10;
    p.setPen(QPen(c, u * 1.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(r.left() + u * 2.8, r.top() + u * 0.8, u * 4.4, u * 5.2), 0, 180 * 16);
    p.drawLine(QPointF(r.left() + u * 2.8, r.top() + u * 3.4),
               QPointF(r.left() + u * 2.8, r.top() + u * 4.6));
    p.drawLine(QPointF(r.left() + u * 7.2, r.top() + u * 3.4),
               QPointF(r.left() + u * 7.2, r.top() + u * 4.6));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(r.left() + u * 1.6, r.top() + u * 4.4, u * 6.8, u * 5.2), u * 0.8, u * 0.8);
    p.setBrush(kTheme.base);
    p.drawEllipse(QPointF(r.center().x(), r.top() + u * 6.4), u * 0.75, u * 0.75);
    p.drawRect(QRectF(r.center().x() - u * 0.3, r.top() + u * 6.6, u * 0.6, u * 1.8));
}

QImage Panel(const QString& title, const QString& note, const QColor& accent, const Glyph& glyph) {
    const int w = 352, h = 288;
    QImage image = Canvas(w, h, kTheme.base);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(w / 2.0, h * 0.38, w * 0.75);
    glow.setColorAt(0, kTheme.raised);
    glow.setColorAt(1, kTheme.deep);
    p.fillRect(image.rect(), glow);
    p.setPen(QPen(kTheme.line, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    // A thin accent bar along the top says at a glance which state this is.
    p.fillRect(QRect(0, 0, w, 5), accent);
    glyph(p, QRectF(w / 2.0 - 40, 52, 80, 80), accent);
    p.setPen(kTheme.text);
    p.setFont(FittingFont(title, 30, w - 44));
    p.drawText(QRect(0, 150, w, 44), Qt::AlignCenter, title);
    p.setPen(kTheme.muted.lighter(125));
    p.setFont(Font(17, false));
    p.drawText(QRect(0, 198, w, 30), Qt::AlignCenter, note);
    return image;
}

// --- Symbols (part of the skin, not drawn on screen) ---

QImage Symbol(const QString& text, const QColor& accent) {
    QImage image = Canvas(52, 20, kTheme.deep);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(9, 10), 5, 5);
    p.setPen(kTheme.text);
    p.setFont(Font(12));
    p.drawText(QRect(18, 0, 34, 20), Qt::AlignVCenter | Qt::AlignLeft, text);
    return image;
}

// --- Site plan: a ground floor with its yard, in the plan editor's proportions ---

struct Room {
    double x, y, w, h;  // fractions of the plan
    const char* name;
};

constexpr Room kRooms[] = {
    {0.10, 0.12, 0.22, 0.26, "Recepcja"},    {0.32, 0.12, 0.20, 0.26, "Biuro"},
    {0.52, 0.12, 0.14, 0.26, "Serwerownia"}, {0.10, 0.46, 0.56, 0.24, "Hala produkcyjna"},
    {0.66, 0.12, 0.24, 0.58, "Magazyn"},
};

void Grid(QPainter& p, const QRect& r) {
    p.setPen(QPen(QColor(0x16, 0x20, 0x2c), 1));
    for (int x = r.left(); x < r.right(); x += 24)
        p.drawLine(x, r.top(), x, r.bottom());
    for (int y = r.top(); y < r.bottom(); y += 24)
        p.drawLine(r.left(), y, r.right(), y);
}

void Yard(QPainter& p, int w, int h) {
    // Parking bays along the bottom left, the road and the gate at the bottom right.
    p.setPen(QPen(kTheme.line.lighter(130), 2));
    const double top = 0.80 * h, bay = 0.045 * w;
    for (int i = 0; i <= 8; ++i)
        p.drawLine(QPointF(0.10 * w + i * bay, top), QPointF(0.10 * w + i * bay, 0.93 * h));
    p.drawLine(QPointF(0.10 * w, top), QPointF(0.10 * w + 8 * bay, top));
    p.fillRect(QRectF(0.55 * w, 0.76 * h, 0.45 * w, 0.12 * h), QColor(0x14, 0x1a, 0x22));
    p.setPen(QPen(kTheme.muted, 2, Qt::DashLine));
    p.drawLine(QPointF(0.55 * w, 0.82 * h), QPointF(w, 0.82 * h));
    // The fence around the site, broken by the gate.
    p.setPen(QPen(kTheme.steel.darker(160), 2, Qt::DotLine));
    p.drawPolyline(
        QPolygonF({QPointF(0.96 * w, 0.76 * h), QPointF(0.96 * w, 0.04 * h), QPointF(0.04 * w, 0.04 * h),
                   QPointF(0.04 * w, 0.96 * h), QPointF(0.96 * w, 0.96 * h), QPointF(0.96 * w, 0.88 * h)}));
    p.setPen(QPen(kTheme.amber.darker(130), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0.96 * w, 0.77 * h), QPointF(0.96 * w, 0.87 * h));
}

// A door: a gap in a wall with the leaf's swing drawn as a quarter circle. (x, y) is where the
// gap starts on the wall, `len` its length, all as fractions; `swing` +1 or -1 picks the side.
// Openings wider than 6 % are gates.
struct Door {
    double x, y, len;
    bool horizontal;
    int swing;
};

constexpr Door kDoors[] = {
    {0.17, 0.38, 0.04, true, -1}, {0.40, 0.38, 0.04, true, -1}, {0.56, 0.38, 0.03, true, -1},
    {0.30, 0.46, 0.05, true, 1},  {0.66, 0.40, 0.05, false, 1}, {0.66, 0.56, 0.07, false, -1},
    {0.10, 0.20, 0.06, false, 1}, {0.16, 0.70, 0.08, true, 1},  {0.74, 0.70, 0.10, true, 1},
};

void Doors(QPainter& p, int w, int h) {
    const QColor floor(0x18, 0x22, 0x2e), leaf = kTheme.steel.darker(140);
    for (const Door& d : kDoors) {
        const QPointF a(d.x * w, d.y * h);
        const double len = d.horizontal ? d.len * w : d.len * h;
        const QPointF b = d.horizontal ? a + QPointF(len, 0) : a + QPointF(0, len);
        p.setPen(QPen(floor, 5, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(a + (d.horizontal ? QPointF(1, 0) : QPointF(0, 1)),
                   b - (d.horizontal ? QPointF(1, 0) : QPointF(0, 1)));
        if (d.len > 0.06) {
            // A wide opening is a rolling gate: a dashed line across it.
            p.setPen(QPen(leaf, 1.5, Qt::DashLine));
            p.drawLine(a, b);
            continue;
        }
        p.setPen(QPen(leaf, 1.2));
        p.setBrush(Qt::NoBrush);
        const QRectF circle(a.x() - len, a.y() - len, 2 * len, 2 * len);
        if (d.horizontal) {
            p.drawArc(circle, 0, d.swing > 0 ? -90 * 16 : 90 * 16);
            p.drawLine(a, a + QPointF(0, d.swing * len));
        } else {
            p.drawArc(circle, -90 * 16, d.swing > 0 ? 90 * 16 : -90 * 16);
            p.drawLine(a, a + QPointF(d.swing * len, 0));
        }
    }
}

void Building(QPainter& p, int w, int h) {
    const QColor wall = kTheme.steel.darker(115);
    p.setBrush(QColor(0x18, 0x22, 0x2e));
    p.setPen(QPen(wall, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(QRectF(0.10 * w, 0.12 * h, 0.80 * w, 0.58 * h));
    p.setPen(QPen(wall, 2));
    p.setBrush(Qt::NoBrush);
    for (const Room& r : kRooms)
        p.drawRect(QRectF(r.x * w, r.y * h, r.w * w, r.h * h));
    // The corridor between the offices and the hall.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1b, 0x27, 0x34));
    p.drawRect(QRectF(0.10 * w + 2, 0.38 * h + 1, 0.56 * w - 3, 0.08 * h - 2));
    Doors(p, w, h);
}

void Labels(QPainter& p, int w, int h) {
    p.setPen(kTheme.text.darker(120));
    p.setFont(Font(std::max(11, w / 60)));
    for (const Room& r : kRooms)
        p.drawText(QRectF(r.x * w, r.y * h, r.w * w, r.h * h), Qt::AlignCenter | Qt::TextWordWrap, r.name);
    p.setPen(kTheme.muted.lighter(115));
    p.setFont(Font(std::max(10, w / 72), false));
    p.drawText(QRectF(0.10 * w, 0.38 * h, 0.56 * w, 0.08 * h), Qt::AlignCenter, "Korytarz");
    p.drawText(QRectF(0.10 * w, 0.93 * h, 0.36 * w, 0.03 * h), Qt::AlignCenter, "Parking");
    p.drawText(QRectF(0.55 * w, 0.88 * h, 0.38 * w, 0.05 * h), Qt::AlignRight | Qt::AlignVCenter,
               "Brama wjazdowa");
    p.drawText(QRectF(0.00 * w, 0.22 * h, 0.09 * w, 0.06 * h), Qt::AlignCenter | Qt::TextWordWrap,
               "Wejście główne");
}

void TitleBlock(QPainter& p, int w, int h) {
    // North arrow and the plan's name.
    const QPointF n(0.92 * w, 0.085 * h);
    const qreal s = h * 0.022;
    QPainterPath arrow;
    arrow.moveTo(n + QPointF(0, -s * 1.6));
    arrow.lineTo(n + QPointF(s * 0.7, s));
    arrow.lineTo(n + QPointF(0, s * 0.4));
    arrow.lineTo(n + QPointF(-s * 0.7, s));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kTheme.text.darker(130));
    p.drawPath(arrow);
    p.setPen(kTheme.muted.lighter(120));
    p.setFont(Font(std::max(10, w / 80)));
    p.drawText(QRectF(n.x() - s * 2, n.y() - s * 3.4, s * 4, s * 1.6), Qt::AlignCenter, "N");
    p.setFont(Font(std::max(11, w / 64)));
    p.setPen(kTheme.text.darker(125));
    p.drawText(QRectF(0.05 * w, 0.005 * h, 0.6 * w, 0.035 * h), Qt::AlignLeft | Qt::AlignVCenter,
               "PLAN OBIEKTU  ·  PARTER");
}

QImage SitePlan(int w, int h) {
    QImage image = Canvas(w, h, QColor(0x10, 0x16, 0x1e));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Grid(p, image.rect());
    Yard(p, w, h);
    Building(p, w, h);
    Labels(p, w, h);
    TitleBlock(p, w, h);
    return image;
}

// --- Camera icons for the plan: 50 x 50, the number large; amber when the camera sees motion ---

QImage CameraIcon(int number, bool motion) {
    const int size = 50;
    QImage image = Canvas(size, size, motion ? QColor(0x3a, 0x2a, 0x08) : kTheme.deep);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, motion ? kTheme.amber.lighter(115) : QColor(0x2a, 0x36, 0x46));
    g.setColorAt(1, motion ? kTheme.amber.darker(120) : QColor(0x1a, 0x22, 0x2d));
    p.setPen(QPen(motion ? QColor(0xff, 0xe0, 0x8a) : kTheme.steel, 2));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, size - 3, size - 3), 7, 7);
    const QColor ink = motion ? QColor(0x24, 0x1a, 0x05) : kTheme.text;
    // A small camera at the top.
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(14, 7, 15, 10), 2, 2);
    QPolygonF lens({QPointF(29, 10), QPointF(36, 7), QPointF(36, 17), QPointF(29, 14)});
    p.drawPolygon(lens);
    p.setPen(ink);
    p.setFont(Font(number >= 10 ? 20 : 22));
    p.drawText(QRect(0, 17, size, 30), Qt::AlignCenter, QString::number(number));
    return image;
}

// --- The console: window chrome, the control panel and its keys ---
//
// Every key is drawn on the colour of what it sits on, so its rounded corners blend into the
// panel. Idle keys are raised, hovered ones lighter with a steel rim, pressed ones sunk and
// dark, disabled ones flat and dim.

struct Console {
    QColor panel = kTheme.base;           // the control panel's body
    QColor edge{0x09, 0x0c, 0x10};        // the panel's seam against the video area
    QColor well{0x0d, 0x11, 0x16};        // recesses: the clock's display, the PTZ pad
    QColor wellRim{0x29, 0x32, 0x3d};     // their edge
    QColor commandBar{0x0f, 0x13, 0x18};  // grey labels read on it
    QColor caption{0x6c, 0x7a, 0x8a};     // section names
    QColor chromeInk{0xa9, 0xb4, 0xc0};   // title bar pictograms
};
const Console kConsole;

constexpr int kPanelWidth = 250;

enum class Look { Idle, Hover, Pressed, Disabled, Lit };

struct KeyColors {
    QColor top, bottom, border, sheen, ink;
};

KeyColors ColorsOf(Look look) {
    switch (look) {
    case Look::Hover:
        return {QColor(0x36, 0x48, 0x5e), QColor(0x27, 0x35, 0x46), kTheme.steel, QColor(0x55, 0x6f, 0x8d),
                QColor(0xff, 0xff, 0xff)};
    case Look::Pressed:
        return {QColor(0x0a, 0x0d, 0x11), QColor(0x13, 0x18, 0x1f), QColor(0x05, 0x07, 0x0a),
                QColor(0x04, 0x06, 0x08), kTheme.steel.lighter(125)};
    case Look::Disabled:
        return {QColor(0x1a, 0x20, 0x28), QColor(0x1a, 0x20, 0x28), QColor(0x24, 0x2c, 0x36),
                QColor(0x1a, 0x20, 0x28), QColor(0x3e, 0x48, 0x55)};
    case Look::Lit:
        return {QColor(0x45, 0x6e, 0x98), QColor(0x2d, 0x4e, 0x71), QColor(0xa4, 0xc8, 0xea),
                QColor(0x78, 0xa0, 0xc8), QColor(0xff, 0xff, 0xff)};
    case Look::Idle:
        break;
    }
    return {QColor(0x2a, 0x33, 0x3f), QColor(0x1d, 0x24, 0x2e), QColor(0x36, 0x41, 0x4f),
            QColor(0x3a, 0x46, 0x55), QColor(0xc9, 0xd2, 0xdc)};
}

void KeyBody(QPainter& p, const QRectF& r, Look look) {
    const KeyColors c = ColorsOf(look);
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, c.top);
    g.setColorAt(1, c.bottom);
    p.setPen(QPen(c.border, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    // A raised key catches the light along its top edge; a pressed one is in shadow there.
    const bool sunk = look == Look::Pressed;
    p.setPen(QPen(c.sheen, sunk ? 2 : 1));
    const qreal y = r.top() + (sunk ? 2 : 1.5);
    p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

// A key on `surround`; `ink` overrides the look's own colour for the pictogram.
QImage Key(QSize size, const QColor& surround, Look look, const Glyph& glyph, QColor ink = QColor()) {
    QImage image = Canvas(size.width(), size.height(), surround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, size.width(), size.height());
    KeyBody(p, r, look);
    if (look == Look::Pressed)
        p.translate(0, 1);  // the face sinks with the key
    glyph(p, r, ink.isValid() ? ink : ColorsOf(look).ink);
    return image;
}

// Pictograms are laid out around the key's centre pixel, so strokes land on whole pixels.
QPointF Centre(const QRectF& r) {
    return QPointF(std::floor(r.center().x()), std::floor(r.center().y()));
}

void Fill(QPainter& p, const QPainterPath& path, const QColor& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(path);
}

// --- Camera keys: the number ---

Glyph NumberGlyph(int number) {
    return [number](QPainter& p, const QRectF& r, const QColor& ink) {
        p.setPen(ink);
        p.setFont(Font(17));
        p.drawText(r.adjusted(0, 0, 0, -1), Qt::AlignCenter, QString::number(number));
    };
}

// --- Layout keys: the screen split into tiles ---

struct Tile {
    int col, row, span;
};

// The tiles of a layout of `count` pictures, on a grid of `grid` x `grid` cells.
std::vector<Tile> LayoutTiles(int count, int& grid) {
    std::vector<Tile> tiles;
    if (count == 8) {
        grid = 4;
        tiles.push_back({0, 0, 3});
        for (int i = 0; i < 3; ++i)
            tiles.push_back({3, i, 1});
        for (int i = 0; i < 4; ++i)
            tiles.push_back({i, 3, 1});
        return tiles;
    }
    if (count == 13) {
        grid = 4;
        tiles.push_back({1, 1, 2});
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 4; ++col)
                if (row == 0 || row == 3 || col == 0 || col == 3)
                    tiles.push_back({col, row, 1});
        return tiles;
    }
    grid = static_cast<int>(std::lround(std::sqrt(count)));
    for (int row = 0; row < grid; ++row)
        for (int col = 0; col < grid; ++col)
            tiles.push_back({col, row, 1});
    return tiles;
}

Glyph LayoutGlyph(int count) {
    return [count](QPainter& p, const QRectF& r, const QColor& ink) {
        // A 4:3 screen of 27 x 19 pixels: 4 x 4 cells of 6 x 4 with one-pixel gaps.
        const int w = 27, h = 19;
        const QPointF c = Centre(r);
        const int x0 = static_cast<int>(c.x()) - 13, y0 = static_cast<int>(c.y()) - 9;
        int grid = 1;
        const auto edge = [&grid](int i, int length) {
            return static_cast<int>(std::lround(i * (length + 1.0) / grid));
        };
        for (const Tile& t : LayoutTiles(count, grid)) {
            const int left = edge(t.col, w), right = edge(t.col + t.span, w) - 1;
            const int top = edge(t.row, h), bottom = edge(t.row + t.span, h) - 1;
            p.fillRect(QRect(x0 + left, y0 + top, right - left, bottom - top), ink);
        }
    };
}

// --- Sequence, zoom and the lower panel's tools ---

void CycleGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    const qreal radius = 8.5;
    const QRectF ring(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    for (int half = 0; half < 2; ++half) {
        const qreal start = 25 + half * 180, span = 120;  // degrees, anticlockwise
        p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(ring, static_cast<int>(start * 16), static_cast<int>(span * 16));
        const qreal a = (start + span) * M_PI / 180;
        const QPointF at = c + QPointF(radius * std::cos(a), -radius * std::sin(a));
        const QPointF along(-std::sin(a), -std::cos(a)), out(std::cos(a), -std::sin(a));
        QPainterPath head;
        head.addPolygon(QPolygonF({at + along * 5, at - along + out * 4.2, at - along - out * 4.2}));
        head.closeSubpath();
        Fill(p, head, ink);
    }
}

// A magnifying glass with `sign` +1 (plus), -1 (minus) or 0 in the lens.
void Magnifier(QPainter& p, QPointF lens, qreal radius, int sign, const QColor& ink) {
    const qreal stroke = radius >= 8 ? 2.5 : 2;
    p.setPen(QPen(ink, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(lens, radius, radius);
    const QPointF diagonal(M_SQRT1_2, M_SQRT1_2);
    p.setPen(QPen(ink, stroke + 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(lens + diagonal * (radius + stroke), lens + diagonal * (radius * 1.85 + stroke));
    const qreal arm = std::round(radius * 0.55);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::FlatCap));
    if (sign != 0)
        p.drawLine(lens - QPointF(arm, 0), lens + QPointF(arm, 0));
    if (sign > 0)
        p.drawLine(lens - QPointF(0, arm), lens + QPointF(0, arm));
}

void ZoomGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    Magnifier(p, Centre(r) - QPointF(3, 3), 7, +1, ink);
}

void PhotoGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    QPainterPath body;
    body.addRoundedRect(QRectF(c.x() - 13, c.y() - 7, 26, 18), 3, 3);
    QPainterPath hump;
    hump.addRoundedRect(QRectF(c.x() - 7, c.y() - 10, 10, 5), 1.5, 1.5);
    QPainterPath camera = body.united(hump);
    camera.setFillRule(Qt::OddEvenFill);
    const QPointF lens = c + QPointF(0, 2);
    camera.addEllipse(lens, 6.5, 6.5);
    camera.addEllipse(lens, 4, 4);
    camera.addRect(QRectF(c.x() + 7, c.y() - 5, 3, 2));
    Fill(p, camera, ink);
}

void FilmGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    const qreal x = c.x() - 13, y = c.y() - 10;
    QPainterPath film;
    film.setFillRule(Qt::OddEvenFill);
    film.addRoundedRect(QRectF(x, y, 26, 20), 2, 2);
    film.addRect(QRectF(x + 5, y + 2, 16, 16));
    for (int i = 0; i < 4; ++i) {
        film.addRect(QRectF(x + 2, y + 3 + i * 4, 2, 2));
        film.addRect(QRectF(x + 22, y + 3 + i * 4, 2, 2));
    }
    film.addPolygon(
        QPolygonF({QPointF(c.x() - 3, c.y() - 5), QPointF(c.x() + 5, c.y()), QPointF(c.x() - 3, c.y() + 5)}));
    film.closeSubpath();
    Fill(p, film, ink);
}

void GearGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    QPainterPath gear;
    gear.addEllipse(c, 7.5, 7.5);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.2, -11, 4.4, 6), 0.8, 0.8);
        gear = gear.united(QTransform().translate(c.x(), c.y()).rotate(i * 45 + 22.5).map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(c, 3.2, 3.2);
    Fill(p, gear.subtracted(hole), ink);
}

void PlanGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    // A floor plan: outer walls, two inner walls with door gaps, and a camera in one room.
    const QPointF c = Centre(r);
    const int x = static_cast<int>(c.x()) - 12, y = static_cast<int>(c.y()) - 9;
    p.fillRect(QRect(x, y, 24, 2), ink);
    p.fillRect(QRect(x, y + 16, 24, 2), ink);
    p.fillRect(QRect(x, y, 2, 18), ink);
    p.fillRect(QRect(x + 22, y, 2, 18), ink);
    p.fillRect(QRect(x + 10, y, 2, 10), ink);
    p.fillRect(QRect(x + 10, y + 8, 4, 2), ink);
    p.fillRect(QRect(x + 18, y + 8, 4, 2), ink);
    p.setPen(Qt::NoPen);
    p.setBrush(kTheme.amber);
    p.drawEllipse(QPointF(x + 16.5, y + 12.5), 2.5, 2.5);
}

// --- The PTZ pad's arrows ---

template <int dx, int dy>
void ArrowGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r), along(dx, dy), across(dy, dx);
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF({c + along * 6, c - along * 5 + across * 10, c - along * 5 - across * 10}));
    arrow.closeSubpath();
    Fill(p, arrow, ink);
}

void ZoomInGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    Magnifier(p, Centre(r) - QPointF(2, 2), 8, +1, ink);
}

void ZoomOutGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    Magnifier(p, Centre(r) - QPointF(2, 2), 8, -1, ink);
}

// --- Window chrome: title bars and their small buttons ---

void TitleFill(QPainter& p, int w, int h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0x23, 0x2b, 0x36));
    g.setColorAt(1, QColor(0x16, 0x1c, 0x24));
    p.fillRect(QRect(0, 0, w, h), g);
    p.fillRect(QRect(0, 0, w, 1), QColor(0x2e, 0x38, 0x45));
    p.fillRect(QRect(0, h - 1, w, 1), kConsole.edge);
}

// The product's mark: a camera lens seen head-on.
void LensMark(QPainter& p, QPointF c, qreal r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QLinearGradient ring(c.x(), c.y() - r, c.x(), c.y() + r);
    ring.setColorAt(0, kTheme.steel.lighter(135));
    ring.setColorAt(1, kTheme.steel.darker(165));
    p.setBrush(ring);
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(0x07, 0x0a, 0x0e));
    p.drawEllipse(c, r * 0.8, r * 0.8);
    QRadialGradient iris(c - QPointF(r * 0.15, r * 0.2), r * 0.7);
    iris.setColorAt(0, QColor(0x4d, 0x7c, 0xaa));
    iris.setColorAt(1, QColor(0x12, 0x1d, 0x2a));
    p.setBrush(iris);
    p.drawEllipse(c, r * 0.64, r * 0.64);
    p.setBrush(QColor(0x05, 0x07, 0x0a));
    p.drawEllipse(c, r * 0.26, r * 0.26);
    p.setBrush(QColor(255, 255, 255, 210));
    p.drawEllipse(c + QPointF(-r * 0.28, -r * 0.3), r * 0.13, r * 0.13);
    p.restore();
}

// A title: the mark, "KEL" and the rest of the line in a quieter grey.
void Title(QPainter& p, int h, int pixels, const QString& rest) {
    const qreal r = (h - 6) / 2.0;
    LensMark(p, QPointF(4 + r + 1, h / 2.0 - 0.5), r);
    QFont bold = Font(pixels), plain = Font(pixels, false);
    bold.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    const int x = static_cast<int>(2 * r) + 11;
    const QRect line(x, 0, 400, h - 1);
    p.setFont(bold);
    p.setPen(kTheme.text);
    p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, "KEL");
    p.setFont(plain);
    p.setPen(kTheme.muted.lighter(140));
    p.drawText(line.adjusted(QFontMetrics(bold).horizontalAdvance("KEL"), 0, 0, 0),
               Qt::AlignLeft | Qt::AlignVCenter, rest);
}

QImage TitleBar(int w, int h, int pixels, const QString& rest) {
    QImage image = Canvas(w, h, kConsole.panel);
    QPainter p(&image);
    TitleFill(p, w, h);
    p.setRenderHint(QPainter::Antialiasing);
    Title(p, h, pixels, rest);
    return image;
}

void CloseGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(4.5, 4.5));
    p.drawLine(c + QPointF(-3.5, 4.5), c + QPointF(4.5, -3.5));
}

void MaximizeGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(c.x() - 3.5, c.y() - 3.5, 8, 8));
    p.fillRect(QRectF(c.x() - 4, c.y() - 3, 9, 1), ink);
}

void MinimizeGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    p.fillRect(QRectF(c.x() - 4, c.y() + 3, 9, 2), ink);
}

void SmallWindowGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    // A screen with a small picture in its lower right corner.
    const QPointF c = Centre(r);
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(c.x() - 5.5, c.y() - 3.5, 11, 8));
    p.fillRect(QRectF(c.x(), c.y() + 1, 4, 3), ink);
}

void CameraListGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    const QPointF c = Centre(r);
    for (int i = -1; i <= 1; ++i)
        p.fillRect(QRectF(c.x() - 5, c.y() - 1 + i * 3, 6, 1), ink);
    QPainterPath chevron;
    chevron.addPolygon(QPolygonF(
        {QPointF(c.x() + 2, c.y() - 1), QPointF(c.x() + 7, c.y() - 1), QPointF(c.x() + 4.5, c.y() + 2)}));
    chevron.closeSubpath();
    Fill(p, chevron, ink);
}

void RestoreGlyph(QPainter& p, const QRectF& r, const QColor& ink) {
    // The main window behind, the small one in front.
    const QPointF c = Centre(r);
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(c.x() - 4.5, c.y() - 1.5, 7, 6));
    p.fillRect(QRectF(c.x() - 4, c.y() - 1, 7, 1), ink);
    p.drawPolyline(QPolygonF({QPointF(c.x() - 1.5, c.y() - 2), QPointF(c.x() - 1.5, c.y() - 4.5),
                              QPointF(c.x() + 5.5, c.y() - 4.5), QPointF(c.x() + 5.5, c.y() + 1.5),
                              QPointF(c.x() + 3, c.y() + 1.5)}));
}

// A title bar button: plain on the bar; on hover a lit square behind a white pictogram.
QImage ChromeButton(QSize size, bool hover, const QColor& hoverFill, const Glyph& glyph) {
    const int w = size.width(), h = size.height();
    QImage image = Canvas(w, h, kConsole.panel);
    QPainter p(&image);
    TitleFill(p, w, h);
    p.setRenderHint(QPainter::Antialiasing);
    if (hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(hoverFill);
        p.drawRoundedRect(QRectF(1, 2, w - 2, h - 4), 3, 3);
    }
    glyph(p, QRectF(0, 0, w, h), hover ? QColor(0xff, 0xff, 0xff) : kConsole.chromeInk);
    return image;
}

QImage CommandBar(int w) {
    QImage image = Canvas(w, 20, kConsole.commandBar);
    QPainter p(&image);
    p.fillRect(QRect(0, 19, w, 1), QColor(0x24, 0x2c, 0x37));
    return image;
}

// --- The control panel's backgrounds ---

QImage PanelCanvas(int h) {
    QImage image = Canvas(kPanelWidth, h, kConsole.panel);
    QPainter p(&image);
    p.fillRect(QRect(kPanelWidth - 1, 0, 1, h), kConsole.edge);
    return image;
}

// A section's name set upright in the panel's left margin, in a bracket along the section.
void RailCaption(QPainter& p, const QString& text, int top, int bottom) {
    const qreal x = 15.5;
    QFont f = Font(9);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    const qreal half = QFontMetrics(f).horizontalAdvance(text) / 2.0 + 6;
    const qreal mid = std::round((top + bottom) / 2.0);
    p.save();
    p.setPen(QPen(kTheme.line, 1));
    p.drawLine(QPointF(x, top + 0.5), QPointF(x, mid - half));
    p.drawLine(QPointF(x, mid + half), QPointF(x, bottom - 0.5));
    p.drawLine(QPointF(x, top + 0.5), QPointF(x + 5, top + 0.5));
    p.drawLine(QPointF(x, bottom - 0.5), QPointF(x + 5, bottom - 0.5));
    p.translate(x + 0.5, mid);
    p.rotate(-90);
    p.setFont(f);
    p.setPen(kConsole.caption);
    p.drawText(QRectF(-half, -7, 2 * half, 14), Qt::AlignCenter, text);
    p.restore();
}

QImage LogoPanel() {
    QImage image = PanelCanvas(97);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 97);
    g.setColorAt(0, kTheme.raised);
    g.setColorAt(1, kConsole.panel);
    p.fillRect(QRect(0, 0, kPanelWidth - 1, 97), g);
    LensMark(p, QPointF(50, 40), 27);
    QFont word = Font(44);
    word.setLetterSpacing(QFont::AbsoluteSpacing, 5);
    p.setFont(word);
    p.setPen(kTheme.text);
    p.drawText(QRect(92, 12, 150, 50), Qt::AlignLeft | Qt::AlignVCenter, "KEL");
    // A steel rule under the word, as long as the letters.
    const int rule = QFontMetrics(word).tightBoundingRect("KEL").width() + 10;
    p.fillRect(QRect(95, 64, rule, 2), kTheme.steel);
    p.setPen(kTheme.muted.lighter(140));
    QFont small = Font(10, false);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    p.setFont(small);
    p.drawText(QRect(0, 76, kPanelWidth - 1, 16), Qt::AlignCenter, "System Cyfrowej Rejestracji Obrazu");
    return image;
}

void ClockGlyph(QPainter& p, QPointF c, qreal r) {
    p.setPen(QPen(kTheme.steel, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(kTheme.steel.darker(130), 1.5, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 12; i += 3) {
        const qreal a = i * M_PI / 6;
        const QPointF d(std::sin(a), -std::cos(a));
        p.drawLine(c + d * (r - 5), c + d * (r - 2.5));
    }
    p.setPen(QPen(kTheme.text, 2, Qt::SolidLine, Qt::RoundCap));
    const auto hand = [c](qreal hours, qreal length) {
        return c + QPointF(std::sin(hours * M_PI / 6), -std::cos(hours * M_PI / 6)) * length;
    };
    p.drawLine(c, hand(10, r * 0.5));
    p.setPen(QPen(kTheme.text, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, hand(2, r * 0.72));
    p.setPen(Qt::NoPen);
    p.setBrush(kTheme.amber);
    p.drawEllipse(c, 1.8, 1.8);
}

void DriveGlyph(QPainter& p, QPointF c) {
    p.setPen(QPen(kTheme.muted.lighter(120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(c.x() - 7.5, c.y() - 4.5, 15, 9), 1.5, 1.5);
    p.drawLine(QPointF(c.x() - 7.5, c.y() + 1.5), QPointF(c.x() + 7.5, c.y() + 1.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6c, 0xc0, 0x7a));
    p.drawEllipse(QPointF(c.x() + 4.5, c.y() + 3), 1, 1);
}

void InfoGlyph(QPainter& p, QPointF c) {
    p.setPen(QPen(kTheme.muted.lighter(120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 6.5, 6.5);
    p.fillRect(QRectF(c.x() - 0.5, c.y() - 1, 2, 5), kTheme.muted.lighter(130));
    p.fillRect(QRectF(c.x() - 0.5, c.y() - 4, 2, 2), kTheme.muted.lighter(130));
}

// Behind the time, the drive usage and the version: a recessed display, its text area uniform.
QImage ClockPanel() {
    QImage image = PanelCanvas(125);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kConsole.wellRim, 1));
    p.setBrush(kConsole.well);
    p.drawRoundedRect(QRectF(8.5, 14.5, 233, 101), 6, 6);
    p.setPen(QPen(QColor(0x05, 0x07, 0x09), 1));
    p.drawLine(QPointF(13, 15.5), QPointF(237, 15.5));
    ClockGlyph(p, QPointF(36, 41), 14);
    DriveGlyph(p, QPointF(37, 69.5));
    InfoGlyph(p, QPointF(37, 93.5));
    return image;
}

// Behind the layout keys (rows at 10 and 50) and the camera keys (rows at 105 to 225).
QImage KeysPanel() {
    QImage image = PanelCanvas(271);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    RailCaption(p, "WIDOK", 10, 86);
    RailCaption(p, "KAMERY", 105, 261);
    p.fillRect(QRect(35, 95, 177, 1), kTheme.line);
    return image;
}

// The PTZ pad's keys, placed from the pad's top left corner.
struct PadKey {
    const char* name;
    QRect rect;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
};

constexpr QPoint kPadOrigin(37, 0);  // plus the pad's height offset, at the larger width
const PadKey kPadKeys[] = {
    {"up", QRect(44, 0, 88, 40), ArrowGlyph<0, -1>},     {"left", QRect(0, 40, 44, 76), ArrowGlyph<-1, 0>},
    {"right", QRect(132, 40, 44, 76), ArrowGlyph<1, 0>}, {"down", QRect(44, 116, 88, 40), ArrowGlyph<0, 1>},
    {"zoomin", QRect(44, 40, 88, 40), ZoomInGlyph},      {"zoomout", QRect(44, 80, 88, 36), ZoomOutGlyph},
};

// Behind the PTZ pad and the four tools (a row at 162): the pad sits in a rounded well.
QImage PtzPanel(int h, int padTop) {
    QImage image = PanelCanvas(h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pad(kPadOrigin.x(), padTop, 176, 156);
    p.setPen(QPen(kConsole.wellRim, 1));
    p.setBrush(kConsole.well);
    p.drawRoundedRect(pad.adjusted(0.5, 0.5, -0.5, -0.5), 44, 40);
    RailCaption(p, "PTZ", padTop + 4, padTop + 152);
    return image;
}

// --- The small SmartView window ---

QImage SmartVideoFrame() {
    QImage image = Canvas(259, 191, QColor(0, 0, 0));
    QPainter p(&image);
    p.setPen(kTheme.line);
    p.drawRect(0, 0, 258, 190);
    p.setPen(kConsole.edge);
    p.drawRect(1, 1, 256, 188);
    return image;
}

// --- The program's icon ---

QImage AppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 128.0;
    QLinearGradient g(0, 4 * s, 0, 124 * s);
    g.setColorAt(0, QColor(0x2a, 0x33, 0x40));
    g.setColorAt(1, QColor(0x10, 0x14, 0x1a));
    p.setPen(QPen(QColor(0x3c, 0x48, 0x58), 3 * s));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(5 * s, 5 * s, 118 * s, 118 * s), 26 * s, 26 * s);
    LensMark(p, QPointF(64 * s, 64 * s), 46 * s);
    return image;
}

// --- Writing the console's pictures ---

struct Variant {
    const char* suffix;
    Look look;
};

bool SaveKeys(const QString& folder, const QString& stem, QSize size, const QColor& surround,
              std::initializer_list<Variant> variants, const Glyph& glyph) {
    for (const Variant& v : variants)
        if (!Save(Key(size, surround, v.look, glyph), folder, stem + v.suffix + ".bmp"))
            return false;
    return true;
}

bool WriteLeftKeys(const QString& folder) {
    const QSize size(42, 36);
    const QColor& on = kConsole.panel;
    bool ok = true;
    for (int n = 1; ok && n <= 16; ++n)
        ok = SaveKeys(folder, QString("btn%1").arg(n, 2, 10, QChar('0')), size, on,
                      {{"_std", Look::Idle}, {"_on", Look::Hover}}, NumberGlyph(n));
    for (int count : {1, 4, 8, 9, 13, 16})
        ok = ok && SaveKeys(folder, QString("func%1").arg(count, 2, 10, QChar('0')), size, on,
                            {{"_std", Look::Idle}, {"_on", Look::Hover}, {"_off", Look::Disabled}},
                            LayoutGlyph(count));
    ok = ok && SaveKeys(folder, "funcswitch", size, on,
                        {{"_std", Look::Idle}, {"_on", Look::Hover}, {"_off", Look::Disabled}}, CycleGlyph);
    ok =
        ok && SaveKeys(folder, "funczoom", size, on, {{"_std", Look::Idle}, {"_on", Look::Hover}}, ZoomGlyph);
    // Pressed is also how the key shows that zoom is armed: the lens turns amber.
    ok = ok && Save(Key(size, on, Look::Pressed, ZoomGlyph, kTheme.amber), folder, "funczoom_down.bmp");
    return ok;
}

struct ToolKey {
    const char* idle;
    const char* hover;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
};

const ToolKey kToolKeys[] = {
    {"funcrec_std", "funcrec_on", PhotoGlyph},
    {"btn_view", "btn_view_on", FilmGlyph},
    {"btn_tools", "btn_tools_on", GearGlyph},
    {"btn_web", "btn_web_on", PlanGlyph},
};

bool WriteLowerKeys(const QString& folder, bool litArrows) {
    bool ok = true;
    for (const ToolKey& k : kToolKeys)
        ok =
            ok &&
            Save(Key(QSize(44, 40), kConsole.panel, Look::Idle, k.glyph), folder, QString(k.idle) + ".bmp") &&
            Save(Key(QSize(44, 40), kConsole.panel, Look::Hover, k.glyph), folder, QString(k.hover) + ".bmp");
    for (const PadKey& k : kPadKeys) {
        ok = ok && SaveKeys(folder, QString("ptz_") + k.name, k.rect.size(), kConsole.well,
                            {{"_std", Look::Idle}, {"_down", Look::Pressed}}, k.glyph);
        // The second set of arrows: idle, and lit while the camera turns.
        if (litArrows && k.glyph != ZoomInGlyph && k.glyph != ZoomOutGlyph)
            ok = ok && SaveKeys(folder, k.name, k.rect.size(), kConsole.well,
                                {{"_off", Look::Idle}, {"_on", Look::Lit}}, k.glyph);
    }
    return ok;
}

struct ChromeKey {
    const char* name;
    QSize size;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
    QColor hoverFill;
};

bool WriteChrome(const QString& folder, int width) {
    const QColor lit(0x34, 0x4b, 0x66), danger = kTheme.red;
    const ChromeKey keys[] = {
        {"btn_close", QSize(16, 21), CloseGlyph, danger},
        {"btn_maximize", QSize(16, 21), MaximizeGlyph, lit},
        {"btn_minimize", QSize(16, 21), MinimizeGlyph, lit},
        {"btn_smart", QSize(16, 21), SmallWindowGlyph, lit},
        {"btn_smart_select", QSize(18, 18), CameraListGlyph, lit},
        {"btn_smart_main", QSize(18, 18), RestoreGlyph, lit},
        {"btn_smart_close", QSize(18, 18), CloseGlyph, danger},
    };
    bool ok =
        Save(TitleBar(width, 21, 11, "  ·  System Cyfrowej Rejestracji Obrazu"), folder, "w_title_bar.bmp") &&
        Save(CommandBar(width), folder, "w_command_bar.bmp") &&
        Save(TitleBar(259, 18, 10, " SmartView"), folder, "w_smart_title_bar.bmp") &&
        Save(SmartVideoFrame(), folder, "w_smart_video.bmp");
    for (const ChromeKey& k : keys)
        ok = ok &&
             Save(ChromeButton(k.size, false, k.hoverFill, k.glyph), folder, QString(k.name) + ".bmp") &&
             Save(ChromeButton(k.size, true, k.hoverFill, k.glyph), folder, QString(k.name) + "_on.bmp");
    return ok;
}

// The main window's and the small window's pictures for an application of width x height.
bool WriteConsole(const QString& folder, int width, int height) {
    // Below 1280 the pad sits at the top of the lower panel; at 1280 under the tools.
    const int padTop = width >= 1280 ? 234 : 0;
    return WriteChrome(folder, width) && Save(LogoPanel(), folder, "w_logo.bmp") &&
           Save(ClockPanel(), folder, "w_clock.bmp") && Save(KeysPanel(), folder, "w_keys.bmp") &&
           Save(PtzPanel(height - 534, padTop), folder, "w_ptz.bmp") && WriteLeftKeys(folder) &&
           WriteLowerKeys(folder, width == 1152);
}

// --- One width's folder ---

struct Size {
    int width, height;
};

int UsedHeight(int backWidth) {
    return static_cast<int>(std::nearbyint((backWidth - 3) * 576.0 / 704.0));
}

bool WriteWidth(const QString& root, Size app) {
    const int bw = app.width - 250, bh = app.height - 41;
    QString folder = root + "/" + QString::number(app.width);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "kel_default_skin: cannot create %s\n", qPrintable(folder));
        return false;
    }
    bool ok = Save(Background(bw, bh, UsedHeight(bw)), folder, "w_background.bmp");
    ok = ok && Save(Panel("BRAK SYGNAŁU", "Brak obrazu na wejściu kamery", kTheme.amber, NoSignalGlyph),
                    folder, "panel_nosignal.bmp");
    ok = ok && Save(Panel("KAMERA WYŁĄCZONA", "Kamera nieaktywna w konfiguracji", kTheme.muted.lighter(130),
                          CameraOffGlyph),
                    folder, "panel_nocam.bmp");
    ok = ok && Save(Panel("BRAK UPRAWNIEŃ", "Zaloguj się, aby zobaczyć obraz", kTheme.red, LockGlyph), folder,
                    "panel_noallowed.bmp");
    ok = ok && Save(Symbol("REC", kTheme.red), folder, "2harm_rec.bmp");
    ok = ok && Save(Symbol("DET", kTheme.amber), folder, "2harm_detekcja.bmp");
    // The plan fills the video area less its margins (2 left, 10 right, 10 top and bottom).
    ok = ok && Save(SitePlan(bw - 12, bh - 20), folder, "screen.bmp");
    for (int n = 1; ok && n <= 16; ++n) {
        ok = Save(CameraIcon(n, false), folder, QString("camera_%1.bmp").arg(n)) &&
             Save(CameraIcon(n, true), folder, QString("camera_%1_yellow.bmp").arg(n));
    }
    return ok && WriteConsole(folder, app.width, app.height);
}

}  // namespace

int main(int argc, char** argv) {
    // --icon FILE.png [SIZE]: the program's icon, SIZE x SIZE (128 by default).
    const bool icon = (argc == 3 || argc == 4) && std::string(argv[1]) == "--icon";
    const int size = icon && argc == 4 ? std::atoi(argv[3]) : 128;
    if ((argc != 2 && !icon) || size < 16 || size > 1024) {
        std::fprintf(stderr, "usage: kel_default_skin OUTPUT_FOLDER\n"
                             "       kel_default_skin --icon FILE.png [SIZE]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (icon) {
        const QString path = QString::fromLocal8Bit(argv[2]);
        if (!AppIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "kel_default_skin: cannot write %s\n", qPrintable(path));
            return 1;
        }
        return 0;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (Size s : {Size{1024, 768}, Size{1152, 864}, Size{1280, 1024}})
        if (!WriteWidth(root, s))
            return 1;
    return 0;
}

// Draws the Default skin's video-area bitmaps for the three application widths:
//
//   kel_default_skin OUTPUT_FOLDER      writes OUTPUT_FOLDER/<width>/*.bmp for 1024, 1152 and 1280
//
// The background, the three status panels, the two symbols, the site plan and the camera icons
// with and without motion. A dark, calm theme: slate greys, one muted accent per panel, amber
// for motion. Everything is drawn from code so the skin builds with the program and scales to
// each width's video area.

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
#include <functional>
#include <string>

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
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kel_default_skin OUTPUT_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (Size s : {Size{1024, 768}, Size{1152, 864}, Size{1280, 1024}})
        if (!WriteWidth(root, s))
            return 1;
    return 0;
}

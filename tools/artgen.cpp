// Draws the program's artwork and writes the resource files, each at 1x and
// at 2x (name@2x.jpg) for high-density screens:
//   glyphs/LCD0..24.jpg    large display digits, 30 x 52
//   glyphs/LCDS0..24.jpg   small display digits, 16 x 26 (LCDS14 26 x 26)
//   panel/imgPanel.jpg     the meter: case, display window, keys and legends
//   panel/<element>.jpg    one picture per display symbol and label
// Digits are seven-segment LCD digits drawn from the same segment definitions
// as the display decoder's glyph tables.  Element places come from
// ui/panellayout.h, the table the panel window is built from.
// Usage: kv3917-artgen <resources folder> [--preview <out.png>]
//   --preview also writes the whole panel with every symbol lit (and the
//   same at 2x as <out>@2x.png), for looking at the artwork.

#include "live/glyphtables.h"
#include "ui/panellayout.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

namespace layout = kv::panellayout;

constexpr int Scales[] = {1, 2};
constexpr int PictureQuality = 100; // symbols and digits: no visible ringing
constexpr int BackgroundQuality = 95;

// The liquid crystal: a grey-green reflector, near-black segments, and the
// faint shadow every segment casts on the reflector.
const QColor LcdBack(188, 198, 170);
const QColor LcdShadow(165, 175, 149);
const QColor LcdInk(30, 36, 32);
constexpr double ShadowOffset = 0.9;

const QString FontFamily = QStringLiteral("DejaVu Sans");

QRectF RectOf(const layout::Place &p) { return QRectF(p.left, p.top, p.width, p.height); }

// Fills a shape in liquid-crystal ink over its shadow.
void Lcd(QPainter &p, const QPainterPath &shape)
{
    p.fillPath(shape.translated(ShadowOffset, ShadowOffset), LcdShadow);
    p.fillPath(shape, LcdInk);
}

// Text as a shape whose ink is `height` high, fitted into `box` (squeezed
// sideways when too wide) and aligned in it.
QPainterPath TextShape(const QString &text, const QRectF &box, double height, Qt::Alignment align,
                       int weight = QFont::Bold, double maxWidth = -1)
{
    QFont font(FontFamily);
    font.setPixelSize(100);
    font.setWeight(static_cast<QFont::Weight>(weight));
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF ink = path.boundingRect();
    double sy = height / ink.height();
    double sx = sy;
    const double limit = maxWidth > 0 ? maxWidth : box.width();
    if (ink.width() * sx > limit)
        sx = limit / ink.width();
    QTransform t;
    t.scale(sx, sy);
    t.translate(-ink.left(), -ink.top());
    path = t.map(path);
    const QRectF r = path.boundingRect();
    double x = box.left() + (box.width() - r.width()) / 2;
    if (align & Qt::AlignLeft)
        x = box.left();
    else if (align & Qt::AlignRight)
        x = box.right() - r.width();
    double y = box.top() + (box.height() - r.height()) / 2;
    if (align & Qt::AlignTop)
        y = box.top();
    else if (align & Qt::AlignBottom)
        y = box.bottom() - r.height();
    return path.translated(x, y);
}

// ---- seven-segment digits -----------------------------------------------------

// The glyphs that have a picture; every other glyph is a blank digit.  The
// minus sign (17) and the L (18) exist in the large set only.
std::uint8_t PictureSegments(int glyph, bool small)
{
    using namespace kv;
    if (glyph <= 9 || (!small && (glyph == 17 || glyph == 18)))
        return GlyphSegments(glyph);
    if (small && glyph == 21)
        return SegC | SegE | SegG; // n
    if (small && glyph == 22)
        return SegE | SegG; // r
    return 0;
}

// A hexagonal segment along the centre line a-b, `w` thick, ends pulled in
// by `gap`.
QPolygonF Segment(QPointF a, QPointF b, double w, double gap)
{
    const QPointF d = b - a;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const double h = w / 2;
    a += u * gap;
    b -= u * gap;
    return QPolygonF({a, a + u * h + n * h, b - u * h + n * h, b, b - u * h - n * h, a + u * h - n * h});
}

struct DigitGeometry {
    double stroke, slant, left, right, top, bottom, gap;
};

QPainterPath DigitShape(std::uint8_t segments, const DigitGeometry &g)
{
    // Centre lines of the segments; the digit leans right like the meter's.
    const double top = g.top + g.stroke / 2, bottom = g.bottom - g.stroke / 2;
    const double xl = g.left + g.stroke / 2, xr = g.right - g.stroke / 2 - g.slant;
    const double mid = (top + bottom) / 2;
    const QPointF tl(xl + g.slant, top), tr(xr + g.slant, top);
    const QPointF ml(xl + g.slant / 2, mid), mr(xr + g.slant / 2, mid);
    const QPointF bl(xl, bottom), br(xr, bottom);

    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    const auto add = [&](std::uint8_t bit, QPointF a, QPointF b) {
        if (segments & bit)
            shape.addPolygon(Segment(a, b, g.stroke, g.gap));
    };
    using namespace kv;
    add(SegA, tl, tr);
    add(SegB, tr, mr);
    add(SegC, mr, br);
    add(SegD, bl, br);
    add(SegE, ml, bl);
    add(SegF, tl, ml);
    add(SegG, ml, mr);
    return shape;
}

const DigitGeometry LargeGeometry{4.4, 3.6, 4.0, 28.0, 3.0, 48.5, 0.55};
const DigitGeometry SmallGeometry{2.5, 2.0, 2.0, 15.0, 1.5, 24.5, 0.4};

// ---- pictures -------------------------------------------------------------------

using Drawer = std::function<void(QPainter &, const QRectF &)>;

QImage Render(int width, int height, int scale, const QColor &ground, const Drawer &draw)
{
    QImage image(width * scale, height * scale, QImage::Format_RGB32);
    image.fill(ground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p, QRectF(0, 0, width, height));
    return image;
}

bool Save(const QImage &image, const QDir &dir, const QString &name, int scale, int quality)
{
    const QString file = scale == 1 ? name + QStringLiteral(".jpg") : name + QStringLiteral("@%1x.jpg").arg(scale);
    return image.save(dir.filePath(file), "JPEG", quality);
}

// ---- display symbols ------------------------------------------------------------

void DrawText(QPainter &p, const QRectF &r, const QString &text, double height,
              Qt::Alignment align = Qt::AlignCenter)
{
    Lcd(p, TextShape(text, r.adjusted(0.5, 0.5, -1.5, -1.5), height, align));
}

void DrawDegree(QPainter &p, const QRectF &r, const QString &letter)
{
    QPainterPath ring;
    const QPointF c(r.left() + 5, r.top() + 5);
    ring.addEllipse(c, 3.6, 3.6);
    ring.addEllipse(c, 1.9, 1.9);
    ring.setFillRule(Qt::OddEvenFill);
    QPainterPath shape = TextShape(letter, QRectF(r.left() + 10, r.top() + 1, r.width() - 11, r.height() - 2),
                                   r.height() - 3.5, Qt::AlignLeft | Qt::AlignVCenter);
    shape.addPath(ring);
    Lcd(p, shape);
}

void DrawBattery(QPainter &p, const QRectF &r, int bars)
{
    QPainterPath shape;
    shape.setFillRule(Qt::OddEvenFill);
    const QRectF body(r.left() + 1, r.top() + 1, r.width() - 5, r.height() - 3);
    shape.addRoundedRect(body, 1.5, 1.5);
    shape.addRect(body.adjusted(1.6, 1.6, -1.6, -1.6));
    shape.addRect(QRectF(body.right(), body.top() + 2.8, 2.2, body.height() - 5.6)); // terminal
    const double barWidth = (body.width() - 3.2 - 2 * 1.2) / 3;
    for (int i = 0; i < bars; ++i)
        shape.addRect(QRectF(body.left() + 1.6 + 0.8 + i * (barWidth + 0.4), body.top() + 2.4, barWidth - 0.8,
                             body.height() - 4.8));
    Lcd(p, shape);
}

void DrawBluetooth(QPainter &p, const QRectF &r)
{
    // The rune: a vertical stroke with two arrow heads to the right.
    const double x = r.center().x() - 0.5, top = r.top() + 2, bottom = r.bottom() - 2, w = 4.2;
    const double q = (bottom - top) / 4;
    QPainterPath line;
    line.moveTo(x - w, top + q);
    line.lineTo(x + w, bottom - q);
    line.lineTo(x, bottom);
    line.lineTo(x, top);
    line.lineTo(x + w, top + q);
    line.lineTo(x - w, bottom - q);
    QPainterPathStroker stroker;
    stroker.setWidth(1.7);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setCapStyle(Qt::FlatCap);
    Lcd(p, stroker.createStroke(line).simplified());
}

void DrawLinkWaves(QPainter &p, const QRectF &r)
{
    // A transmitter: a dot with two arcs of radio waves.
    QPainterPath waves;
    const QPointF c(r.left() + 3, r.center().y());
    QPainterPath arcs;
    for (double radius : {6.0, 11.0}) {
        QPainterPath arc;
        const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
        arc.arcMoveTo(box, 48);
        arc.arcTo(box, 48, -96);
        arcs.addPath(arc);
    }
    QPainterPathStroker stroker;
    stroker.setWidth(1.8);
    stroker.setCapStyle(Qt::FlatCap);
    waves = stroker.createStroke(arcs);
    waves.addEllipse(c, 2.0, 2.0);
    Lcd(p, waves.simplified());
}

void DrawBell(QPainter &p, const QRectF &r)
{
    QPainterPath bell;
    const double cx = r.center().x(), top = r.top() + 2.5, bottom = r.bottom() - 4;
    bell.moveTo(cx, top);
    bell.cubicTo(cx + 5.5, top, cx + 5, bottom - 5, cx + 7, bottom);
    bell.lineTo(cx - 7, bottom);
    bell.cubicTo(cx - 5, bottom - 5, cx - 5.5, top, cx, top);
    bell.addEllipse(QPointF(cx, bottom + 1.8), 1.8, 1.8);
    bell.addEllipse(QPointF(cx, top - 0.6), 1.2, 1.2);
    bell.setFillRule(Qt::WindingFill);
    Lcd(p, bell.simplified());
}

void DrawRec(QPainter &p, const QRectF &r)
{
    QPainterPath shape = TextShape(QStringLiteral("REC"), QRectF(r.left() + 12, r.top() + 1, r.width() - 13, r.height() - 2),
                                   r.height() - 4.5, Qt::AlignLeft | Qt::AlignVCenter);
    shape.addEllipse(QPointF(r.left() + 5.5, r.center().y()), 4.2, 4.2);
    Lcd(p, shape);
}

void DrawAutoOff(QPainter &p, const QRectF &r)
{
    // "APO" in a frame, as the meter marks automatic power-off.
    QPainterPath frame;
    frame.setFillRule(Qt::OddEvenFill);
    const QRectF box = r.adjusted(0.5, 0.5, -1.5, -1.5);
    frame.addRoundedRect(box, 2, 2);
    frame.addRoundedRect(box.adjusted(1.2, 1.2, -1.2, -1.2), 1.2, 1.2);
    QPainterPath shape = TextShape(QStringLiteral("APO"), box.adjusted(3, 2.5, -3, -2.5), box.height() - 5.5,
                                   Qt::AlignCenter);
    shape.addPath(frame);
    Lcd(p, shape);
}

void DrawPoint(QPainter &p, const QRectF &r)
{
    QPainterPath dot;
    dot.addRoundedRect(QRectF(r.left() + 0.5, r.bottom() - 4.8, 3.6, 3.6), 0.8, 0.8);
    Lcd(p, dot);
}

void DrawMinus(QPainter &p, const QRectF &r)
{
    QPainterPath bar;
    const double y = r.center().y() - 0.5;
    bar.addPolygon(Segment(QPointF(r.left() + 1, y), QPointF(r.right() - 2, y), 4.2, 0.2));
    Lcd(p, bar);
}

std::map<std::string, Drawer> SymbolDrawers()
{
    std::map<std::string, Drawer> d;
    const auto text = [](const QString &t, double height, Qt::Alignment align = Qt::AlignCenter) {
        return [t, height, align](QPainter &p, const QRectF &r) { DrawText(p, r, t, height, align); };
    };
    d["RH_P"] = DrawPoint;
    d["T1_P"] = DrawPoint;
    d["T2_P"] = DrawPoint;
    d["T1_minus"] = DrawMinus;
    d["T2_minus"] = DrawMinus;
    d["imgT1C"] = [](QPainter &p, const QRectF &r) { DrawDegree(p, r, QStringLiteral("C")); };
    d["imgT1F"] = [](QPainter &p, const QRectF &r) { DrawDegree(p, r, QStringLiteral("F")); };
    d["imgT2C"] = d["imgT1C"];
    d["imgT2F"] = d["imgT1F"];
    d["imgType"] = text(QStringLiteral("TYPE"), 8.5);
    d["imgK"] = text(QStringLiteral("K"), 8.5);
    d["imgJ"] = text(QStringLiteral("J"), 8.5);
    d["imgE"] = text(QStringLiteral("E"), 8.5);
    d["imgT"] = text(QStringLiteral("T"), 8.5);
    d["imgHOLD"] = text(QStringLiteral("HOLD"), 9, Qt::AlignLeft | Qt::AlignVCenter);
    d["imgMEM"] = text(QStringLiteral("MEM"), 9, Qt::AlignLeft | Qt::AlignVCenter);
    d["imgRecall"] = text(QStringLiteral("RECALL"), 9, Qt::AlignLeft | Qt::AlignVCenter);
    d["imgAutoOff"] = DrawAutoOff;
    d["imgREC"] = DrawRec;
    d["imgFULL"] = text(QStringLiteral("FULL"), 9, Qt::AlignLeft | Qt::AlignVCenter);
    d["imgAlarm"] = DrawBell;
    for (int bars = 0; bars <= 3; ++bars)
        d["imgBat" + std::to_string(bars)] = [bars](QPainter &p, const QRectF &r) { DrawBattery(p, r, bars); };
    d["imgblutooth"] = DrawBluetooth;
    d["ingBlutoothLink"] = DrawLinkWaves;
    return d;
}

// Labels in the display's lettering.  The two-word labels stand in two
// lines, right-aligned against the digits.
void DrawLabel(QPainter &p, const QRectF &r, const QString &text)
{
    const int space = text.indexOf(QLatin1Char(' '));
    if (space > 0) {
        const double line = (r.height() - 2) / 2;
        QPainterPath shape = TextShape(text.left(space), QRectF(r.left(), r.top() + 0.5, r.width() - 1.5, line),
                                       line - 2.6, Qt::AlignRight | Qt::AlignVCenter);
        shape.addPath(TextShape(text.mid(space + 1), QRectF(r.left(), r.top() + 1 + line, r.width() - 1.5, line),
                                line - 2.6, Qt::AlignRight | Qt::AlignVCenter));
        Lcd(p, shape);
        return;
    }
    double height = r.height() - 5;
    Qt::Alignment align = Qt::AlignCenter;
    if (text == QLatin1String("%"))
        height = r.height() - 6;
    else if (text == QLatin1String("T1") || text == QLatin1String("T2"))
        align = Qt::AlignLeft | Qt::AlignVCenter, height = r.height() - 6;
    else if (text == QLatin1String("K") && r.width() > 12)
        align = Qt::AlignLeft | Qt::AlignVCenter, height = r.height() - 5.5;
    else if (r.width() <= 12)
        height = 8.5; // the thermocouple letters
    else if (text == QLatin1String("Hi") || text == QLatin1String("Lo"))
        height = r.height() - 4.5;
    else
        height = 9;
    QRectF box = r.adjusted(0.5, 0.5, -1.5, -1.5);
    if (text == QLatin1String("K") && r.width() > 12)
        box.adjust(10, 0, 0, 0); // in line with the C and F of the degree symbols
    Lcd(p, TextShape(text, box, height, align));
}

// ---- the meter ----------------------------------------------------------------------

using Key = layout::KeyCap;

QPainterPath CapShape(const Key &k, double grow = 0)
{
    QPainterPath path;
    const QRectF r(k.centreX - k.width / 2 - grow, k.centreY - k.height / 2 - grow, k.width + 2 * grow,
                   k.height + 2 * grow);
    if (k.round)
        path.addEllipse(r);
    else
        path.addRoundedRect(r, layout::KeyCapCornerRadius + grow, layout::KeyCapCornerRadius + grow);
    return path;
}

void Legend(QPainter &p, const QPainterPath &shape, const QColor &colour)
{
    p.fillPath(shape.translated(0, 0.7), QColor(0, 0, 0, 90)); // engraved
    p.fillPath(shape, colour);
}

void DrawPowerSymbol(QPainter &p, QPointF c, double radius, const QColor &colour)
{
    QPainterPath arc;
    const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    arc.arcMoveTo(box, 120);
    arc.arcTo(box, 120, 300);
    arc.moveTo(c.x(), c.y() - radius - 1.5);
    arc.lineTo(c.x(), c.y() - 1);
    QPainterPathStroker stroker;
    stroker.setWidth(2.1);
    stroker.setCapStyle(Qt::RoundCap);
    Legend(p, stroker.createStroke(arc), colour);
}

void DrawLampSymbol(QPainter &p, QPointF c, const QColor &colour)
{
    // A sun: the back light.
    QPainterPath rays;
    for (int i = 0; i < 8; ++i) {
        const double a = i * 3.14159265358979 / 4;
        rays.moveTo(c + QPointF(std::cos(a), std::sin(a)) * 6.4);
        rays.lineTo(c + QPointF(std::cos(a), std::sin(a)) * 9.0);
    }
    QPainterPathStroker stroker;
    stroker.setWidth(1.6);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath shape = stroker.createStroke(rays);
    shape.addEllipse(c, 4.2, 4.2);
    Legend(p, shape.simplified(), colour);
}

void DrawKey(QPainter &p, const Key &k)
{
    const bool power = std::string(k.name) == "btnClose";
    // The hole in the face plate and the cap's shadow in it.
    p.fillPath(CapShape(k, 2.6), QColor(120, 126, 133));
    p.fillPath(CapShape(k, 1.6).translated(0, 0.4), QColor(60, 64, 70));
    p.fillPath(CapShape(k, 1.0).translated(0, 1.3), QColor(20, 22, 25, 150));

    const QRectF box = CapShape(k).boundingRect();
    QLinearGradient body(box.topLeft(), box.bottomLeft());
    if (power) {
        body.setColorAt(0, QColor(232, 96, 70));
        body.setColorAt(1, QColor(164, 44, 28));
    } else {
        body.setColorAt(0, QColor(98, 105, 114));
        body.setColorAt(1, QColor(46, 50, 56));
    }
    p.fillPath(CapShape(k), body);
    // The flat top of the cap with a soft sheen.
    const QPainterPath top = CapShape(k, -2.2).translated(0, -0.6);
    QLinearGradient face(box.topLeft(), box.bottomLeft());
    if (power) {
        face.setColorAt(0, QColor(240, 118, 92));
        face.setColorAt(0.5, QColor(214, 74, 52));
        face.setColorAt(1, QColor(192, 58, 40));
    } else {
        face.setColorAt(0, QColor(112, 119, 128));
        face.setColorAt(0.5, QColor(78, 84, 92));
        face.setColorAt(1, QColor(64, 69, 76));
    }
    p.fillPath(top, face);
    p.save();
    p.setClipPath(top);
    QRadialGradient sheen(QPointF(box.center().x(), box.top()), box.width() * 0.7);
    sheen.setColorAt(0, QColor(255, 255, 255, 60));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(box, sheen);
    p.restore();

    const QColor ink(244, 244, 240);
    const QPointF c = box.center();
    const std::string name = k.name;
    const auto legend = [&](const QString &text, double height, QPointF at, double width = 30) {
        Legend(p, TextShape(text, QRectF(at.x() - width / 2, at.y() - height / 2 - 1, width, height + 2), height,
                            Qt::AlignCenter),
               ink);
    };
    if (power) {
        DrawPowerSymbol(p, c + QPointF(0, 0.5), 6.5, ink);
    } else if (name == "btnBackLight") {
        DrawLampSymbol(p, c, QColor(250, 226, 120));
    } else if (name == "btnHOLD") {
        legend(QStringLiteral("HOLD"), 7, c, 28);
    } else if (name == "btnMMA") {
        legend(QStringLiteral("MAX/MIN"), 6.4, c + QPointF(0, -5), 34);
        legend(QStringLiteral("AVG"), 6.4, c + QPointF(0, 5), 34);
    } else if (name == "btnCF") {
        legend(QStringLiteral("°C/°F"), 8, c, 32);
    } else if (name == "btnRec") {
        QPainterPath dot;
        dot.addEllipse(c + QPointF(0, -6.5), 3.4, 3.4);
        Legend(p, dot, QColor(236, 64, 48));
        legend(QStringLiteral("REC"), 7, c + QPointF(0, 4.5), 26);
    } else if (name == "btnRecall") {
        legend(QStringLiteral("RECALL"), 6.6, c, 34);
    } else if (name == "btnMem") {
        legend(QStringLiteral("MEM"), 7, c, 30);
    }
}

void DrawMeter(QPainter &p)
{
    p.fillRect(QRectF(0, 0, layout::PictureWidth, layout::PictureHeight), Qt::white);

    // The rubber case, rounded and shaded from its edges.
    const QRectF outer(1.5, 1.5, 309, 709.5);
    QPainterPath casePath;
    casePath.addRoundedRect(outer, 38, 38);
    QLinearGradient caseShade(outer.topLeft(), outer.topRight());
    caseShade.setColorAt(0.0, QColor(40, 45, 52));
    caseShade.setColorAt(0.06, QColor(74, 81, 90));
    caseShade.setColorAt(0.5, QColor(60, 66, 74));
    caseShade.setColorAt(0.94, QColor(50, 55, 62));
    caseShade.setColorAt(1.0, QColor(30, 33, 38));
    p.fillPath(casePath, caseShade);
    p.setPen(QPen(QColor(18, 20, 23), 1.2));
    p.drawPath(casePath);
    p.setPen(QPen(QColor(255, 255, 255, 36), 1.2));
    p.drawRoundedRect(outer.adjusted(2, 2, -2, -2), 36, 36);
    p.setPen(Qt::NoPen);

    // Grip ridges on the sides of the case.
    for (int i = 0; i < 9; ++i) {
        const double y = 470 + i * 14;
        for (double x : {4.0, 302.0}) {
            p.fillRect(QRectF(x, y, 5, 2.2), QColor(26, 29, 33));
            p.fillRect(QRectF(x, y + 2.2, 5, 1.0), QColor(96, 104, 114));
        }
    }

    // The face plate.
    const QRectF plate(12, 12, 288, 687);
    QPainterPath platePath;
    platePath.addRoundedRect(plate, 28, 28);
    p.fillPath(platePath.translated(0, 1.5), QColor(20, 22, 25, 120));
    QLinearGradient plateShade(plate.topLeft(), plate.bottomLeft());
    plateShade.setColorAt(0, QColor(232, 234, 236));
    plateShade.setColorAt(0.55, QColor(216, 219, 223));
    plateShade.setColorAt(1, QColor(196, 200, 205));
    p.fillPath(platePath, plateShade);
    p.setPen(QPen(QColor(120, 126, 134), 1.0));
    p.drawPath(platePath);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.0));
    p.drawRoundedRect(plate.adjusted(1.2, 1.2, -1.2, -1.2), 27, 27);
    p.setPen(Qt::NoPen);

    // Maker's strip above the display.
    const QColor print(44, 50, 58);
    p.fillPath(TextShape(QStringLiteral("KV3917"), QRectF(38, 22, 90, 16), 13, Qt::AlignLeft | Qt::AlignVCenter,
                         QFont::Black),
               print);
    p.fillPath(TextShape(QStringLiteral("THERMO-HYGROMETER"), QRectF(150, 22, 124, 8), 6.2,
                         Qt::AlignRight | Qt::AlignVCenter),
               print);
    p.fillPath(TextShape(QStringLiteral("DATA LOGGER"), QRectF(150, 32, 124, 8), 6.2,
                         Qt::AlignRight | Qt::AlignVCenter),
               QColor(196, 70, 40));
    // A status lamp beside the maker's name.
    QRadialGradient lamp(QPointF(134, 29), 3.5);
    lamp.setColorAt(0, QColor(120, 200, 255));
    lamp.setColorAt(0.7, QColor(30, 110, 190));
    lamp.setColorAt(1, QColor(20, 60, 110));
    p.setBrush(QColor(150, 156, 164));
    p.drawEllipse(QPointF(134, 30), 4.4, 4.4);
    p.setBrush(lamp);
    p.drawEllipse(QPointF(134, 30), 3.2, 3.2);
    p.setBrush(Qt::NoBrush);

    // The display frame: a dark glossy bezel round the liquid crystal.
    const QRectF lcd = RectOf(layout::LcdWindow);
    const QRectF bezel = lcd.adjusted(-11, -10, 11, 10);
    QPainterPath bezelPath;
    bezelPath.addRoundedRect(bezel, 14, 14);
    p.fillPath(bezelPath.translated(0, 1), QColor(255, 255, 255, 160));
    QLinearGradient bezelShade(bezel.topLeft(), bezel.bottomLeft());
    bezelShade.setColorAt(0, QColor(58, 63, 70));
    bezelShade.setColorAt(0.5, QColor(32, 35, 40));
    bezelShade.setColorAt(1, QColor(22, 24, 28));
    p.fillPath(bezelPath, bezelShade);
    p.setPen(QPen(QColor(110, 118, 128), 0.9));
    p.drawRoundedRect(bezel.adjusted(0.8, 0.8, -0.8, -0.8), 13, 13);
    p.setPen(Qt::NoPen);
    // Printed captions on the bezel.
    const QColor bezelPrint(190, 196, 204);
    p.fillPath(TextShape(QStringLiteral("RH  ·  T1  ·  T2"), QRectF(bezel.left(), bezel.bottom() - 8.8, bezel.width(), 7),
                         5.4, Qt::AlignCenter),
               bezelPrint);

    // The liquid crystal: flat under every symbol, shaded only at its edges
    // where the frame overhangs it.
    QPainterPath lcdPath;
    lcdPath.addRoundedRect(lcd, 4, 4);
    p.fillPath(lcdPath, LcdBack);
    p.save();
    p.setClipPath(lcdPath);
    const double shade = layout::LcdMargin - 1.5;
    QLinearGradient topEdge(lcd.topLeft(), lcd.topLeft() + QPointF(0, shade));
    topEdge.setColorAt(0, QColor(40, 48, 36, 120));
    topEdge.setColorAt(1, QColor(40, 48, 36, 0));
    p.fillRect(QRectF(lcd.left(), lcd.top(), lcd.width(), shade), topEdge);
    QLinearGradient leftEdge(lcd.topLeft(), lcd.topLeft() + QPointF(shade, 0));
    leftEdge.setColorAt(0, QColor(40, 48, 36, 90));
    leftEdge.setColorAt(1, QColor(40, 48, 36, 0));
    p.fillRect(QRectF(lcd.left(), lcd.top(), shade, lcd.height()), leftEdge);
    QLinearGradient rightEdge(lcd.topRight(), lcd.topRight() - QPointF(3, 0));
    rightEdge.setColorAt(0, QColor(40, 48, 36, 60));
    rightEdge.setColorAt(1, QColor(40, 48, 36, 0));
    p.fillRect(QRectF(lcd.right() - 3, lcd.top(), 3, lcd.height()), rightEdge);
    QLinearGradient bottomEdge(lcd.bottomLeft(), lcd.bottomLeft() - QPointF(0, 3));
    bottomEdge.setColorAt(0, QColor(255, 255, 255, 50));
    bottomEdge.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(lcd.left(), lcd.bottom() - 3, lcd.width(), 3), bottomEdge);
    p.restore();

    // Keys.
    for (const Key &k : layout::KeyCaps)
        DrawKey(p, k);

    // Printed under the keys.
    p.fillPath(TextShape(QStringLiteral("4 CHANNEL THERMOMETER"), QRectF(40, 672, 234, 8), 6.4, Qt::AlignCenter),
               print);
    p.fillPath(TextShape(QStringLiteral("RH  ·  T1  ·  T2 (TC K J E T N R S)"), QRectF(40, 684, 234, 7), 5.4,
                         Qt::AlignCenter),
               QColor(96, 104, 114));
}

// ---- writing ------------------------------------------------------------------------

bool WriteGlyphs(const QDir &dir)
{
    bool ok = true;
    for (int g = 0; g < kv::GlyphCount; ++g) {
        const std::uint8_t large = PictureSegments(g, false);
        const std::uint8_t small = PictureSegments(g, true);
        const int smallWidth = g == 14 ? 26 : layout::SmallDigitWidth;
        for (int s : Scales) {
            ok &= Save(Render(layout::LargeDigitWidth, layout::LargeDigitHeight, s, LcdBack,
                              [&](QPainter &p, const QRectF &) { Lcd(p, DigitShape(large, LargeGeometry)); }),
                       dir, QStringLiteral("LCD%1").arg(g), s, PictureQuality);
            ok &= Save(Render(smallWidth, layout::SmallDigitHeight, s, LcdBack,
                              [&](QPainter &p, const QRectF &) { Lcd(p, DigitShape(small, SmallGeometry)); }),
                       dir, QStringLiteral("LCDS%1").arg(g), s, PictureQuality);
        }
    }
    return ok;
}

bool WritePanel(const QDir &dir)
{
    bool ok = true;
    const auto drawers = SymbolDrawers();
    for (int s : Scales) {
        ok &= Save(Render(layout::PictureWidth, layout::PictureHeight, s, Qt::white,
                          [](QPainter &p, const QRectF &) { DrawMeter(p); }),
                   dir, QStringLiteral("imgPanel"), s, BackgroundQuality);
        for (const auto &place : layout::Pictures) {
            const auto found = drawers.find(place.name);
            if (found == drawers.end()) {
                std::fprintf(stderr, "kv3917-artgen: no drawing for %s\n", place.name);
                return false;
            }
            ok &= Save(Render(place.width, place.height, s, LcdBack, found->second), dir,
                       QString::fromLatin1(place.name), s, PictureQuality);
        }
        for (const auto &label : layout::Labels) {
            const QString text = QString::fromLatin1(label.text);
            ok &= Save(Render(label.place.width, label.place.height, s, LcdBack,
                              [&](QPainter &p, const QRectF &r) { DrawLabel(p, r, text); }),
                       dir, QString::fromLatin1(label.place.name), s, PictureQuality);
        }
    }
    return ok;
}

// The whole panel with every symbol lit and "88.88" on the lines.
bool WritePreview(const QDir &resources, const QString &out)
{
    bool ok = true;
    for (int s : Scales) {
        const QString suffix = s == 1 ? QString() : QStringLiteral("@%1x").arg(s);
        const auto load = [&](const QString &name) {
            QImage image(resources.filePath(name + suffix + QStringLiteral(".jpg")));
            image.setDevicePixelRatio(s);
            return image;
        };
        QImage canvas(layout::ClientWidth * s, layout::ClientHeight * s, QImage::Format_RGB32);
        canvas.setDevicePixelRatio(s);
        QPainter p(&canvas);
        p.drawImage(0, 0, load(QStringLiteral("panel/imgPanel")));
        const int digits[12] = {16, 8, 8, 8, 17, 1, 8, 8, 16, 8, 8, 8};
        for (std::size_t i = 0; i < layout::LargeDigits.size(); ++i)
            p.drawImage(layout::LargeDigits[i].left, layout::LargeDigits[i].top,
                        load(QStringLiteral("glyphs/LCD%1").arg(digits[i])));
        p.drawImage(layout::SmallDigits[0].left, layout::SmallDigits[0].top, load(QStringLiteral("glyphs/LCDS0")));
        p.drawImage(layout::SmallDigits[1].left, layout::SmallDigits[1].top, load(QStringLiteral("glyphs/LCDS7")));
        for (const auto &place : layout::Pictures)
            if (std::string(place.name).rfind("imgBat", 0) != 0 || std::string(place.name) == "imgBat3")
                p.drawImage(place.left, place.top, load(QStringLiteral("panel/") + QString::fromLatin1(place.name)));
        for (const auto &label : layout::Labels)
            p.drawImage(label.place.left, label.place.top,
                        load(QStringLiteral("panel/") + QString::fromLatin1(label.place.name)));
        p.end();
        QString file = out;
        if (s != 1)
            file.insert(file.lastIndexOf(QLatin1Char('.')), suffix);
        ok &= canvas.save(file);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--preview")) {
        std::fprintf(stderr, "usage: kv3917-artgen <resources folder> [--preview <out.png>]\n");
        return 64;
    }
    QDir resources(QString::fromLocal8Bit(argv[1]));
    for (const char *sub : {"glyphs", "panel"}) {
        if (!resources.mkpath(QLatin1String(sub))) {
            std::fprintf(stderr, "kv3917-artgen: cannot create %s/%s\n", argv[1], sub);
            return 1;
        }
    }
    if (!WriteGlyphs(QDir(resources.filePath(QStringLiteral("glyphs"))))) {
        std::fprintf(stderr, "kv3917-artgen: writing the glyph pictures failed\n");
        return 1;
    }
    if (!WritePanel(QDir(resources.filePath(QStringLiteral("panel"))))) {
        std::fprintf(stderr, "kv3917-artgen: writing the panel pictures failed\n");
        return 1;
    }
    if (argc == 4 && !WritePreview(resources, QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "kv3917-artgen: writing the preview failed\n");
        return 1;
    }
    return 0;
}

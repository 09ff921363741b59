// Draws the program's artwork and writes the resource files:
//   glyphs/LCD0..24.png   large display digits, 30 x 52
//   glyphs/LCDS0..24.png  small display digits, 16 x 26 (LCDS14 26 x 26)
// Digits are seven-segment LCD digits drawn from the same segment
// definitions as the display decoder's glyph tables.
// Usage: kv3917-artgen <resources folder>

#include "live/glyphtables.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>

namespace {

const QColor Background(255, 255, 255);
const QColor SegmentOn(24, 28, 24);

// The glyphs that have a picture; every other glyph is a blank digit.
std::uint8_t PictureSegments(int glyph, bool small)
{
    using namespace kv;
    if (glyph <= 9 || glyph == 17 || glyph == 18)
        return GlyphSegments(glyph);
    if (small && glyph == 21)
        return SegC | SegE | SegG; // n
    if (small && glyph == 22)
        return SegE | SegG; // r
    return 0;
}

// A hexagonal LCD segment between two points.
QPolygonF Segment(QPointF a, QPointF b, double w)
{
    const QPointF d = b - a;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const double h = w / 2;
    return QPolygonF({a + u * 0.6, a + u * h + n * h, b - u * h + n * h, b - u * 0.6, b - u * h - n * h,
                      a + u * h - n * h});
}

QImage DrawDigit(int width, int height, std::uint8_t segments)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(SegmentOn);

    const double w = std::max(2.0, width * 0.16);      // stroke width
    const double slant = width * 0.08;                 // italic lean of LCD digits
    const double left = w * 0.7 + slant, right = width - w * 0.7;
    const double top = w * 0.7, bottom = height - w * 0.7, mid = height / 2.0;
    const auto at = [&](double x, double y) { return QPointF(x - slant * (y / height) * 1.0 + slant * 0.0, y); };
    const double gap = w * 0.15;

    const QPointF tl = at(left, top), tr = at(right, top);
    const QPointF ml = at(left - slant * 0.5, mid), mr = at(right - slant * 0.5, mid);
    const QPointF bl = at(left - slant, bottom), br = at(right - slant, bottom);

    using namespace kv;
    if (segments & SegA) p.drawPolygon(Segment(tl + QPointF(gap, 0), tr - QPointF(gap, 0), w));
    if (segments & SegB) p.drawPolygon(Segment(tr + QPointF(0, gap), mr - QPointF(0, gap), w));
    if (segments & SegC) p.drawPolygon(Segment(mr + QPointF(0, gap), br - QPointF(0, gap), w));
    if (segments & SegD) p.drawPolygon(Segment(bl + QPointF(gap, 0), br - QPointF(gap, 0), w));
    if (segments & SegE) p.drawPolygon(Segment(ml + QPointF(0, gap), bl - QPointF(0, gap), w));
    if (segments & SegF) p.drawPolygon(Segment(tl + QPointF(0, gap), ml - QPointF(0, gap), w));
    if (segments & SegG) p.drawPolygon(Segment(ml + QPointF(gap, 0), mr - QPointF(gap, 0), w));
    return image;
}

bool WriteGlyphs(const QDir &dir)
{
    bool ok = true;
    for (int g = 0; g < kv::GlyphCount; ++g) {
        ok &= DrawDigit(30, 52, PictureSegments(g, false)).save(dir.filePath(QStringLiteral("LCD%1.png").arg(g)));
        const int width = g == 14 ? 26 : 16;
        ok &= DrawDigit(width, 26, PictureSegments(g, true)).save(dir.filePath(QStringLiteral("LCDS%1.png").arg(g)));
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kv3917-artgen <resources folder>\n");
        return 64;
    }
    QDir resources(QString::fromLocal8Bit(argv[1]));
    if (!resources.mkpath(QStringLiteral("glyphs"))) {
        std::fprintf(stderr, "kv3917-artgen: cannot create %s/glyphs\n", argv[1]);
        return 1;
    }
    QDir glyphs(resources.filePath(QStringLiteral("glyphs")));
    if (!WriteGlyphs(glyphs)) {
        std::fprintf(stderr, "kv3917-artgen: writing the glyph pictures failed\n");
        return 1;
    }
    return 0;
}

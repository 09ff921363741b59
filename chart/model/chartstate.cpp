#include "chart/model/chartstate.h"

#include "chart/model/chartenums.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <set>

namespace kv {

namespace {

// Default subset colours, used until a caller sets its own.
constexpr std::array<QRgb, 8> DefaultSubsetColors = {
    0xffffff00, 0xff0000ff, 0xffff0000, 0xff00ff00, 0xffff00ff, 0xff00ffff, 0xffffffff, 0xffff8000,
};

constexpr char Signature[8] = {'K', 'V', 'C', 'H', 'A', 'R', 'T', '\x1a'};
constexpr quint16 FormatVersion = 1;

// Section tags, in the order they are written.
constexpr quint32 Tag(const char (&t)[5])
{
    return quint32(quint8(t[0])) | quint32(quint8(t[1])) << 8 | quint32(quint8(t[2])) << 16 |
           quint32(quint8(t[3])) << 24;
}
constexpr quint32 TagData = Tag("DATA");
constexpr quint32 TagSeries = Tag("SERS");
constexpr quint32 TagAxes = Tag("AXES");
constexpr quint32 TagLook = Tag("LOOK");
constexpr quint32 TagAnnotations = Tag("ANNO");
constexpr quint32 TagVertLines = Tag("VLIN");
constexpr quint32 TagTable = Tag("TABL");
constexpr std::array<quint32, 7> RequiredTags = {TagData, TagSeries, TagAxes, TagLook,
                                                  TagAnnotations, TagVertLines, TagTable};

// Encodings of a subset's arrays in the DATA section.
constexpr quint8 XRaw = 0;          // Points doubles
constexpr quint8 XSameAsFirst = 1;  // identical to subset 0's X
constexpr quint8 YFloat = 0;        // Points floats (every value exactly a float)
constexpr quint8 YDouble = 1;       // Points doubles

// Bits of the LOOK section's flag word.
enum LookFlag : quint32 {
    FlagAllowPopup = 1u << 0,
    FlagNoHelp = 1u << 1,
    FlagAllowBar = 1u << 2,
    FlagAllowCustomization = 1u << 3,
    FlagAllowExporting = 1u << 4,
    FlagAxisPage = 1u << 5,
    FlagFontPage = 1u << 6,
    FlagPage1 = 1u << 7,
    FlagPage2 = 1u << 8,
    FlagSubsetsPage = 1u << 9,
    FlagDataHotSpots = 1u << 10,
    FlagGraphAnnotHotSpots = 1u << 11,
    FlagShowLegend = 1u << 12,
    KnownLookFlags = (1u << 13) - 1,
};

QString TagName(quint32 tag)
{
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = char((tag >> (8 * i)) & 0xff);
        name += (c >= 0x20 && c < 0x7f) ? QChar(c) : QChar('?');
    }
    return name;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool FloatExact(double v)
{
    const double back = static_cast<float>(v);
    return SameBits(v, back);
}

bool SameArray(const QVector<double> &a, const QVector<double> &b)
{
    if (a.size() != b.size())
        return false;
    if (a.constData() == b.constData())
        return true;
    return std::memcmp(a.constData(), b.constData(), sizeof(double) * size_t(a.size())) == 0;
}

class Writer
{
public:
    explicit Writer(QByteArray *out) : m_out(out) {}
    void u8(quint8 v) { m_out->append(char(v)); }
    void u16(quint16 v) { raw(qToLittleEndian(v)); }
    void u32(quint32 v) { raw(qToLittleEndian(v)); }
    void i32(qint32 v) { raw(qToLittleEndian(v)); }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        raw(qToLittleEndian(bits));
    }
    void f64s(const double *values, qsizetype n)
    {
        const qsizetype at = m_out->size();
        m_out->resize(at + n * 8);
        char *p = m_out->data() + at;
        for (qsizetype i = 0; i < n; ++i, p += 8) {
            quint64 bits;
            std::memcpy(&bits, &values[i], sizeof bits);
            qToLittleEndian(bits, p);
        }
    }
    void f32s(const double *values, qsizetype n)
    {
        const qsizetype at = m_out->size();
        m_out->resize(at + n * 4);
        char *p = m_out->data() + at;
        for (qsizetype i = 0; i < n; ++i, p += 4) {
            const float f = static_cast<float>(values[i]);
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            qToLittleEndian(bits, p);
        }
    }
    void str(const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        u32(quint32(utf8.size()));
        m_out->append(utf8);
    }
    void font(const ChartFont &f)
    {
        str(f.family);
        f64(f.pointSize);
        u8(quint8((f.bold ? 1 : 0) | (f.italic ? 2 : 0)));
    }
    // Starts a section; end() fills in its size.
    void begin(quint32 tag)
    {
        u32(tag);
        m_sectionAt = m_out->size();
        u32(0);
    }
    void end()
    {
        const quint32 size = quint32(m_out->size() - m_sectionAt - 4);
        qToLittleEndian(size, m_out->data() + m_sectionAt);
    }

private:
    template<typename T> void raw(T v) { m_out->append(reinterpret_cast<const char *>(&v), sizeof v); }
    QByteArray *m_out;
    qsizetype m_sectionAt = 0;
};

// Bounds-checked reader; the first failure sticks and keeps its message.
class Reader
{
public:
    Reader(const char *data, qsizetype size, QString context)
        : m_p(data), m_left(size), m_context(std::move(context)) {}

    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    qsizetype left() const { return m_left; }
    void fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = m_context + QStringLiteral(": ") + what;
    }
    bool need(qsizetype n)
    {
        if (!ok())
            return false;
        if (n < 0 || n > m_left) {
            fail(QStringLiteral("truncated (needs %1 more bytes, %2 left)").arg(n).arg(m_left));
            return false;
        }
        return true;
    }
    quint8 u8()
    {
        if (!need(1))
            return 0;
        const quint8 v = quint8(*m_p);
        skip(1);
        return v;
    }
    // A little-endian integer of type T.
    template <typename T>
    T little()
    {
        if (!need(qsizetype(sizeof(T))))
            return 0;
        const T v = qFromLittleEndian<T>(m_p);
        skip(qsizetype(sizeof(T)));
        return v;
    }
    quint16 u16() { return little<quint16>(); }
    quint32 u32() { return little<quint32>(); }
    qint32 i32() { return qint32(u32()); }
    double f64()
    {
        const quint64 bits = little<quint64>();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A double that must be finite.
    double finite(const char *what)
    {
        const double v = f64();
        if (ok() && !std::isfinite(v))
            fail(QStringLiteral("%1 is not a finite number").arg(QLatin1String(what)));
        return v;
    }
    bool flag(const char *what)
    {
        const quint8 v = u8();
        if (ok() && v > 1)
            fail(QStringLiteral("%1 is %2, expected 0 or 1").arg(QLatin1String(what)).arg(v));
        return v == 1;
    }
    // An integer that must lie in [lo, hi].
    int ranged(qint64 value, qint64 lo, qint64 hi, const char *what)
    {
        if (ok() && (value < lo || value > hi))
            fail(QStringLiteral("%1 is %2, outside %3..%4").arg(QLatin1String(what)).arg(value).arg(lo).arg(hi));
        return ok() ? int(value) : int(lo);
    }
    QString str()
    {
        const quint32 n = u32();
        if (!need(qsizetype(n)))
            return {};
        const QString s = QString::fromUtf8(m_p, qsizetype(n));
        skip(n);
        return s;
    }
    ChartFont font()
    {
        ChartFont f;
        f.family = str();
        f.pointSize = finite("font size");
        if (ok() && (f.pointSize < MinFontPointSize || f.pointSize > MaxFontPointSize))
            fail(QStringLiteral("font size %1 is outside %2..%3").arg(f.pointSize).arg(MinFontPointSize).arg(MaxFontPointSize));
        const quint8 style = u8();
        if (ok() && style > 3)
            fail(QStringLiteral("font style %1 is unknown").arg(style));
        f.bold = style & 1;
        f.italic = style & 2;
        return f;
    }
    void f64s(double *out, qsizetype n)
    {
        if (!need(n * 8))
            return;
        for (qsizetype i = 0; i < n; ++i, m_p += 8) {
            const quint64 bits = qFromLittleEndian<quint64>(m_p);
            std::memcpy(&out[i], &bits, sizeof bits);
        }
        m_left -= n * 8;
    }
    void f32s(double *out, qsizetype n)
    {
        if (!need(n * 4))
            return;
        for (qsizetype i = 0; i < n; ++i, m_p += 4) {
            const quint32 bits = qFromLittleEndian<quint32>(m_p);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            out[i] = f;
        }
        m_left -= n * 4;
    }
    void skipBytes(qsizetype n)
    {
        if (need(n))
            skip(n);
    }
    void expectEnd()
    {
        if (ok() && m_left != 0)
            fail(QStringLiteral("%1 bytes more than its content").arg(m_left));
    }

private:
    void skip(qsizetype n)
    {
        m_p += n;
        m_left -= n;
    }
    const char *m_p;
    qsizetype m_left;
    QString m_context;
    QString m_error;
};

// ---- sections: writing

void WriteData(Writer &w, const ChartState &s)
{
    w.begin(TagData);
    const int subsets = int(s.subsets.size());
    w.u32(quint32(subsets));
    w.u32(quint32(s.points));
    w.f64(s.nullDataValueY);
    w.f64(s.lineGapThreshold);
    for (int i = 0; i < subsets; ++i) {
        const SubsetState &sub = s.subsets[size_t(i)];
        if (i > 0 && SameArray(sub.x, s.subsets[0].x)) {
            w.u8(XSameAsFirst);
        } else {
            w.u8(XRaw);
            w.f64s(sub.x.constData(), sub.x.size());
        }
        bool floats = true;
        for (double v : sub.y) {
            if (!FloatExact(v)) {
                floats = false;
                break;
            }
        }
        w.u8(floats ? YFloat : YDouble);
        if (floats)
            w.f32s(sub.y.constData(), sub.y.size());
        else
            w.f64s(sub.y.constData(), sub.y.size());
    }
    w.end();
}

void WriteSeries(Writer &w, const ChartState &s)
{
    w.begin(TagSeries);
    w.u32(quint32(s.subsets.size()));
    for (const SubsetState &sub : s.subsets) {
        w.str(sub.label);
        w.u32(sub.color);
        w.u8(quint8(sub.lineType));
    }
    w.u8(s.randomSubsetsUsed ? 1 : 0);
    w.u32(quint32(s.randomSubsetsToGraph.size()));
    for (int v : s.randomSubsetsToGraph)
        w.i32(v);
    w.u32(quint32(s.multiAxesSubsets.size()));
    for (int v : s.multiAxesSubsets)
        w.i32(v);
    w.u32(quint32(s.multiAxesProportions.size()));
    for (double v : s.multiAxesProportions)
        w.f64(v);
    w.i32(s.workingAxis);
    w.end();
}

void WriteAxes(Writer &w, const ChartState &s)
{
    w.begin(TagAxes);
    w.u8(quint8(s.manualScaleControlX));
    w.f64(s.manualMinX);
    w.f64(s.manualMaxX);
    w.u8(quint8(s.dateTimeMode));
    w.u8(s.usingXDataII ? 1 : 0);
    w.str(s.xAxisLabel);
    w.u8(quint8(s.gridLineControl));
    w.u8(quint8(s.gridStyle));
    w.u8(quint8(s.allowZooming));
    w.u8(s.scrollingHorzZoom ? 1 : 0);
    w.u8(s.scrollingVertZoom ? 1 : 0);
    w.u32(quint32(s.yAxes.size()));
    for (const YAxisState &a : s.yAxes) {
        w.u8(quint8(a.manualScaleControl));
        w.f64(a.manualMin);
        w.f64(a.manualMax);
        w.str(a.label);
    }
    w.end();
}

void WriteLook(Writer &w, const ChartState &s)
{
    w.begin(TagLook);
    w.str(s.mainTitle);
    w.str(s.subTitle);
    w.font(s.mainTitleFont);
    w.font(s.subTitleFont);
    w.font(s.labelFont);
    w.u32(s.graphForeColor);
    w.u32(s.graphBackColor);
    w.u32(s.deskColor);
    w.u32(s.textColor);
    w.u8(quint8(s.plottingMethod));
    w.u8(quint8(s.legendLocation));
    w.u8(quint8(s.dataPrecision));
    w.u8(quint8(s.allowDataLabels));
    w.i32(s.arrowCursor);
    w.u8(quint8(s.defOrientation));
    quint32 flags = 0;
    const std::pair<bool, LookFlag> bits[] = {
        {s.allowPopup, FlagAllowPopup},        {s.noHelp, FlagNoHelp},
        {s.allowBar, FlagAllowBar},            {s.allowCustomization, FlagAllowCustomization},
        {s.allowExporting, FlagAllowExporting}, {s.allowAxisPage, FlagAxisPage},
        {s.allowFontPage, FlagFontPage},       {s.allowPage1, FlagPage1},
        {s.allowPage2, FlagPage2},             {s.allowSubsetsPage, FlagSubsetsPage},
        {s.allowDataHotSpots, FlagDataHotSpots}, {s.allowGraphAnnotHotSpots, FlagGraphAnnotHotSpots},
        {s.showLegend, FlagShowLegend},
    };
    for (const auto &b : bits)
        if (b.first)
            flags |= b.second;
    w.u32(flags);
    w.end();
}

void WriteAnnotations(Writer &w, const ChartState &s)
{
    w.begin(TagAnnotations);
    w.u8(s.showAnnotations ? 1 : 0);
    w.u16(quint16(s.annotationTextSize));
    w.u32(quint32(s.annotations.size()));
    for (const auto &[index, a] : s.annotations) {
        w.i32(index);
        w.u8(quint8(a.type));
        w.f64(a.x);
        w.f64(a.y);
        w.u32(a.color);
        w.str(a.text);
    }
    w.end();
}

void WriteVertLines(Writer &w, const ChartState &s)
{
    w.begin(TagVertLines);
    w.u8(s.showVertLines ? 1 : 0);
    w.u8(s.vertLinesHot ? 1 : 0);
    w.u16(quint16(s.lineAnnotationTextSize));
    w.u32(quint32(s.vertLines.size()));
    for (const auto &[index, v] : s.vertLines) {
        w.i32(index);
        w.f64(v.x);
        w.u32(v.color);
        w.u8(quint8(v.lineType));
        w.str(v.text);
    }
    w.end();
}

void WriteTable(Writer &w, const ChartState &s)
{
    const TableAnnotationState &t = s.table;
    w.begin(TagTable);
    w.u8(t.shown ? 1 : 0);
    w.u16(quint16(t.rows));
    w.u16(quint16(t.columns));
    for (int i = 0; i < t.rows * t.columns; ++i) {
        w.str(t.texts.value(i));
        w.u32(t.colors.value(i));
    }
    w.i32(t.x);
    w.i32(t.y);
    w.u8(quint8(t.location));
    w.u8(quint8(t.moveable));
    w.u32(t.backColor);
    w.u8(quint8(t.border));
    w.u16(quint16(t.textSize));
    w.u8(t.headerRow ? 1 : 0);
    w.u8(t.headerColumn ? 1 : 0);
    w.end();
}

// ---- sections: reading (into a state that already holds the defaults)

void ReadData(Reader &r, ChartState &s)
{
    const quint32 subsets = r.u32();
    const quint32 points = r.u32();
    s.nullDataValueY = r.f64();
    s.lineGapThreshold = r.f64();
    if (!r.ok())
        return;
    r.ranged(subsets, 0, MaxChartSubsets, "subset count");
    r.ranged(points, 0, MaxChartPoints, "point count");
    if (r.ok() && qint64(subsets) * points > MaxChartCells)
        r.fail(QStringLiteral("%1 subsets of %2 points exceed the chart's limit").arg(subsets).arg(points));
    if (!r.ok())
        return; // the counts are bounded from here on, so the sizes below cannot overflow
    // Every subset needs at least its two encoding bytes and 4 bytes per Y
    // value, subset 0 another 8 per X value: refuse counts the bytes cannot
    // hold before allocating anything.
    const qint64 minimum = subsets == 0 ? 0 : qint64(subsets) * (2 + 4 * qint64(points)) + 8 * qint64(points);
    if (minimum > r.left())
        r.fail(QStringLiteral("claims %1 subsets of %2 points, more than its %3 bytes can hold")
                   .arg(subsets).arg(points).arg(r.left()));
    if (!r.ok())
        return;
    s.points = int(points);
    s.subsets.assign(subsets, SubsetState());
    for (quint32 i = 0; i < subsets && r.ok(); ++i) {
        SubsetState &sub = s.subsets[i];
        const quint8 xEncoding = r.u8();
        if (xEncoding == XSameAsFirst && i > 0) {
            sub.x = s.subsets[0].x;
        } else if (xEncoding == XRaw) {
            if (!r.need(qsizetype(points) * 8))
                return;
            sub.x.resize(points);
            r.f64s(sub.x.data(), points);
            // X values are date-times: a NaN or an infinity is no time.
            for (quint32 p = 0; p < points; ++p) {
                if (!std::isfinite(sub.x[p])) {
                    r.fail(QStringLiteral("X value %1 of subset %2 is not a finite number").arg(p).arg(i));
                    return;
                }
            }
        } else {
            r.fail(QStringLiteral("subset %1 has an unknown X encoding %2").arg(i).arg(xEncoding));
            return;
        }
        const quint8 yEncoding = r.u8();
        const qsizetype width = yEncoding == YFloat ? 4 : yEncoding == YDouble ? 8 : 0;
        if (width == 0) {
            r.fail(QStringLiteral("subset %1 has an unknown Y encoding %2").arg(i).arg(yEncoding));
            return;
        }
        if (!r.need(qsizetype(points) * width))
            return;
        sub.y.resize(points);
        if (width == 4)
            r.f32s(sub.y.data(), points);
        else
            r.f64s(sub.y.data(), points);
    }
    r.expectEnd();
}

void ReadSeries(Reader &r, ChartState &s)
{
    const quint32 count = r.u32();
    if (r.ok() && count != s.subsets.size())
        r.fail(QStringLiteral("describes %1 subsets but the data has %2").arg(count).arg(s.subsets.size()));
    for (quint32 i = 0; i < count && r.ok(); ++i) {
        SubsetState &sub = s.subsets[i];
        sub.label = r.str();
        sub.color = r.u32();
        sub.lineType = r.ranged(r.u8(), sgThinSolid, sgThickSolid, "line type");
    }
    s.randomSubsetsUsed = r.flag("subset list flag");
    const quint32 shown = r.u32();
    if (r.ok() && qint64(shown) * 4 > r.left())
        r.fail(QStringLiteral("subset list of %1 entries is longer than the section").arg(shown));
    if (r.ok() && shown > quint32(MaxChartSubsets))
        r.fail(QStringLiteral("subset list of %1 entries exceeds %2").arg(shown).arg(MaxChartSubsets));
    s.randomSubsetsToGraph.clear();
    for (quint32 i = 0; i < shown && r.ok(); ++i)
        s.randomSubsetsToGraph.append(r.ranged(r.i32(), -1, MaxChartSubsets - 1, "shown subset"));
    const quint32 axes = r.u32();
    if (r.ok() && axes > quint32(MaxChartAxes))
        r.fail(QStringLiteral("%1 stacked axes exceed %2").arg(axes).arg(MaxChartAxes));
    s.multiAxesSubsets.clear();
    for (quint32 i = 0; i < axes && r.ok(); ++i)
        s.multiAxesSubsets.append(r.ranged(r.i32(), 0, MaxChartSubsets, "subsets on an axis"));
    const quint32 proportions = r.u32();
    if (r.ok() && proportions > quint32(MaxChartAxes))
        r.fail(QStringLiteral("%1 axis proportions exceed %2").arg(proportions).arg(MaxChartAxes));
    s.multiAxesProportions.clear();
    for (quint32 i = 0; i < proportions && r.ok(); ++i) {
        const double p = r.finite("axis proportion");
        if (r.ok() && (p < 0.0 || p > 1.0))
            r.fail(QStringLiteral("axis proportion %1 is outside 0..1").arg(p));
        s.multiAxesProportions.append(p);
    }
    s.workingAxis = r.ranged(r.i32(), 0, MaxChartAxes - 1, "working axis");
    r.expectEnd();
}

void ReadAxes(Reader &r, ChartState &s)
{
    s.manualScaleControlX = r.ranged(r.u8(), sgNoManualScale, sgManualMinAndMax, "X scale control");
    s.manualMinX = r.finite("X minimum");
    s.manualMaxX = r.finite("X maximum");
    s.dateTimeMode = r.ranged(r.u8(), sgNoDateTime, sgVBDateTime, "date-time mode");
    s.usingXDataII = r.flag("X data flag");
    s.xAxisLabel = r.str();
    s.gridLineControl = r.ranged(r.u8(), sgYPlusXAxis, sgNoGrid, "grid lines");
    s.gridStyle = r.ranged(r.u8(), sgThin, sgDash, "grid style");
    s.allowZooming = r.ranged(r.u8(), sgNoZooming, sgHorzPlusVertZooming, "zoom style");
    s.scrollingHorzZoom = r.flag("horizontal scrolling flag");
    s.scrollingVertZoom = r.flag("vertical scrolling flag");
    const quint32 count = r.u32();
    if (r.ok() && (count < 1 || count > quint32(MaxChartAxes)))
        r.fail(QStringLiteral("%1 Y axes, expected 1..%2").arg(count).arg(MaxChartAxes));
    if (!r.ok())
        return;
    s.yAxes.assign(count, YAxisState());
    for (YAxisState &a : s.yAxes) {
        a.manualScaleControl = r.ranged(r.u8(), sgNoManualScale, sgManualMinAndMax, "Y scale control");
        a.manualMin = r.finite("Y minimum");
        a.manualMax = r.finite("Y maximum");
        a.label = r.str();
        if (!r.ok())
            return;
    }
    r.expectEnd();
}

void ReadLook(Reader &r, ChartState &s)
{
    s.mainTitle = r.str();
    s.subTitle = r.str();
    s.mainTitleFont = r.font();
    s.subTitleFont = r.font();
    s.labelFont = r.font();
    s.graphForeColor = r.u32();
    s.graphBackColor = r.u32();
    s.deskColor = r.u32();
    s.textColor = r.u32();
    s.plottingMethod = r.ranged(r.u8(), sgLine, sgBar, "plotting method");
    s.legendLocation = r.ranged(r.u8(), sgLegendTop, sgLegendBottom, "legend location");
    s.dataPrecision = r.ranged(r.u8(), sgNoDecimals, sgThreeDecimals, "data precision");
    s.allowDataLabels = r.ranged(r.u8(), sgNoDataLabels, sgDataValues, "data labels");
    s.arrowCursor = r.ranged(r.i32(), 0, 2, "arrow cursor");
    s.defOrientation = r.ranged(r.u8(), sgPortrait, sgLandscape, "print orientation");
    const quint32 flags = r.u32();
    if (r.ok() && (flags & ~quint32(KnownLookFlags)))
        r.fail(QStringLiteral("unknown flags 0x%1").arg(flags & ~quint32(KnownLookFlags), 0, 16));
    s.allowPopup = flags & FlagAllowPopup;
    s.noHelp = flags & FlagNoHelp;
    s.allowBar = flags & FlagAllowBar;
    s.allowCustomization = flags & FlagAllowCustomization;
    s.allowExporting = flags & FlagAllowExporting;
    s.allowAxisPage = flags & FlagAxisPage;
    s.allowFontPage = flags & FlagFontPage;
    s.allowPage1 = flags & FlagPage1;
    s.allowPage2 = flags & FlagPage2;
    s.allowSubsetsPage = flags & FlagSubsetsPage;
    s.allowDataHotSpots = flags & FlagDataHotSpots;
    s.allowGraphAnnotHotSpots = flags & FlagGraphAnnotHotSpots;
    s.showLegend = flags & FlagShowLegend;
    r.expectEnd();
}

void ReadAnnotations(Reader &r, ChartState &s)
{
    s.showAnnotations = r.flag("annotations shown flag");
    s.annotationTextSize = r.ranged(r.u16(), MinTextSize, MaxTextSize, "annotation text size");
    const quint32 count = r.u32();
    // Each entry takes at least 29 bytes.
    if (r.ok() && qint64(count) * 29 > r.left())
        r.fail(QStringLiteral("claims %1 annotations, more than its bytes can hold").arg(count));
    s.annotations.clear();
    int previous = -1;
    for (quint32 i = 0; i < count && r.ok(); ++i) {
        const int index = r.ranged(r.i32(), 0, MaxAnnotationIndex, "annotation index");
        if (r.ok() && index <= previous)
            r.fail(QStringLiteral("annotation index %1 repeated or out of order").arg(index));
        previous = index;
        GraphAnnotationState a;
        a.type = r.ranged(r.u8(), 0, GraphAnnotationTypeCount - 1, "annotation type");
        a.x = r.finite("annotation X");
        a.y = r.f64();
        a.color = r.u32();
        a.text = r.str();
        if (r.ok())
            s.annotations.emplace(index, a);
    }
    r.expectEnd();
}

void ReadVertLines(Reader &r, ChartState &s)
{
    s.showVertLines = r.flag("vertical lines shown flag");
    s.vertLinesHot = r.flag("vertical lines hot flag");
    s.lineAnnotationTextSize = r.ranged(r.u16(), MinTextSize, MaxTextSize, "line annotation text size");
    const quint32 count = r.u32();
    if (r.ok() && count > quint32(MaxVertLineIndex + 1))
        r.fail(QStringLiteral("%1 vertical lines exceed %2").arg(count).arg(MaxVertLineIndex + 1));
    s.vertLines.clear();
    int previous = -1;
    for (quint32 i = 0; i < count && r.ok(); ++i) {
        const int index = r.ranged(r.i32(), 0, MaxVertLineIndex, "vertical line index");
        if (r.ok() && index <= previous)
            r.fail(QStringLiteral("vertical line index %1 repeated or out of order").arg(index));
        previous = index;
        VertLineState v;
        v.x = r.finite("vertical line X");
        v.color = r.u32();
        v.lineType = r.ranged(r.u8(), sgThinSolid, sgThickSolid, "vertical line type");
        v.text = r.str();
        if (r.ok())
            s.vertLines.emplace(index, v);
    }
    r.expectEnd();
}

void ReadTable(Reader &r, ChartState &s)
{
    TableAnnotationState &t = s.table;
    t.shown = r.flag("table shown flag");
    t.rows = r.ranged(r.u16(), 0, MaxTableRows, "table rows");
    t.columns = r.ranged(r.u16(), 0, MaxTableColumns, "table columns");
    const int cells = t.rows * t.columns;
    if (r.ok() && qint64(cells) * 8 > r.left())
        r.fail(QStringLiteral("claims %1 table cells, more than its bytes can hold").arg(cells));
    if (!r.ok())
        return;
    t.texts.resize(cells);
    t.colors.resize(cells);
    for (int i = 0; i < cells && r.ok(); ++i) {
        t.texts[i] = r.str();
        t.colors[i] = r.u32();
    }
    t.x = r.i32();
    t.y = r.i32();
    const int location = r.u8();
    if (r.ok() && !(location <= sgTAInsideBottomRight || location == sgTAExplicit))
        r.fail(QStringLiteral("table location %1 is unknown").arg(location));
    t.location = location;
    t.moveable = r.ranged(r.u8(), sgTANotMoveable, sgTAMoveableNoHotSpots, "table moveable");
    t.backColor = r.u32();
    t.border = r.ranged(r.u8(), sgNoBorder, sgInset, "table border");
    t.textSize = r.ranged(r.u16(), MinTextSize, MaxTextSize, "table text size");
    t.headerRow = r.flag("table header row flag");
    t.headerColumn = r.flag("table header column flag");
    r.expectEnd();
}

// Cross-section checks that single sections cannot make.
bool CheckConsistency(const ChartState &s, QString *error)
{
    for (size_t i = 0; i < s.subsets.size(); ++i) {
        if (s.subsets[i].x.size() != s.points || s.subsets[i].y.size() != s.points) {
            *error = QStringLiteral("subset %1 does not hold %2 points").arg(i).arg(s.points);
            return false;
        }
    }
    if (s.workingAxis >= int(s.yAxes.size()) && s.workingAxis != 0) {
        *error = QStringLiteral("working axis %1 has no settings").arg(s.workingAxis);
        return false;
    }
    return true;
}

} // namespace

QFont ChartFont::toFont() const
{
    // No family: the application's font (the system's user interface font).
    QFont f;
    if (!family.isEmpty())
        f.setFamily(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

ChartFont ChartFont::fromFont(const QFont &font)
{
    ChartFont f;
    f.family = font.family();
    const double size = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    f.pointSize = qBound(MinFontPointSize, size, MaxFontPointSize);
    f.bold = font.bold();
    f.italic = font.italic();
    return f;
}

ChartState::ChartState()
{
    mainTitleFont.pointSize = 12;
    mainTitleFont.bold = true;
    subTitleFont.pointSize = 10;
    labelFont.pointSize = 9;
}

QString ChartState::defaultLabel(int s) { return QStringLiteral("Subset %1").arg(s + 1); }

QRgb ChartState::defaultColor(int s) { return DefaultSubsetColors[size_t(s) % DefaultSubsetColors.size()]; }

void ChartState::resize(int subsetCount, int pointCount)
{
    const int oldCount = int(subsets.size());
    subsets.resize(size_t(subsetCount));
    for (int s = 0; s < subsetCount; ++s) {
        SubsetState &sub = subsets[size_t(s)];
        if (s >= oldCount) {
            sub.label = defaultLabel(s);
            sub.color = defaultColor(s);
        }
        if (sub.x.size() != pointCount) {
            const int old = int(sub.x.size());
            sub.x.resize(pointCount);
            for (int p = old; p < pointCount; ++p)
                sub.x[p] = 0.0;
        }
        if (sub.y.size() != pointCount) {
            const int old = int(sub.y.size());
            sub.y.resize(pointCount);
            for (int p = old; p < pointCount; ++p)
                sub.y[p] = nullDataValueY;
        }
    }
    points = pointCount;
}

quint32 Crc32(const char *data, qsizetype size)
{
    // Slicing-by-4 tables, built once.
    static const auto tables = [] {
        std::array<std::array<quint32, 256>, 4> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (quint32 i = 0; i < 256; ++i)
            for (size_t k = 1; k < 4; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xff];
        return t;
    }();
    quint32 crc = 0xffffffffu;
    const auto *p = reinterpret_cast<const uchar *>(data);
    while (size >= 4) {
        crc ^= quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        crc = tables[3][crc & 0xff] ^ tables[2][(crc >> 8) & 0xff] ^ tables[1][(crc >> 16) & 0xff] ^
              tables[0][crc >> 24];
        p += 4;
        size -= 4;
    }
    while (size-- > 0)
        crc = tables[0][(crc ^ *p++) & 0xff] ^ (crc >> 8);
    return crc ^ 0xffffffffu;
}

QByteArray StoreChartState(const ChartState &state)
{
    qsizetype estimate = ChartStateHeaderSize + 4096;
    for (const SubsetState &sub : state.subsets)
        estimate += (sub.x.size() + sub.y.size()) * 8 + 64;
    QByteArray out;
    out.reserve(estimate);
    out.append(Signature, sizeof Signature);
    out.append(QByteArray(ChartStateHeaderSize - int(sizeof Signature), '\0'));
    Writer w(&out);
    WriteData(w, state);
    WriteSeries(w, state);
    WriteAxes(w, state);
    WriteLook(w, state);
    WriteAnnotations(w, state);
    WriteVertLines(w, state);
    WriteTable(w, state);

    const qsizetype body = out.size() - ChartStateHeaderSize;
    char *h = out.data();
    qToLittleEndian<quint16>(FormatVersion, h + 8);
    qToLittleEndian<quint16>(ChartStateHeaderSize, h + 10);
    qToLittleEndian<quint32>(quint32(body), h + 12);
    qToLittleEndian<quint32>(Crc32(h + ChartStateHeaderSize, body), h + ChartStateChecksumOffset);
    qToLittleEndian<quint32>(quint32(RequiredTags.size()), h + 20);
    return out;
}

bool LoadChartState(const QByteArray &block, ChartState *out, QString *error)
{
    QString localError;
    QString &err = error ? *error : localError;
    const char *h = block.constData();
    if (block.size() < qsizetype(sizeof Signature) || std::memcmp(h, Signature, sizeof Signature) != 0) {
        err = QStringLiteral("Not a chart state block (its signature is missing).");
        return false;
    }
    if (block.size() < ChartStateHeaderSize) {
        err = QStringLiteral("Chart state block is truncated: %1 bytes, its header alone needs %2.")
                  .arg(block.size()).arg(ChartStateHeaderSize);
        return false;
    }
    const quint16 version = qFromLittleEndian<quint16>(h + 8);
    const quint16 headerSize = qFromLittleEndian<quint16>(h + 10);
    const quint32 bodySize = qFromLittleEndian<quint32>(h + 12);
    const quint32 checksum = qFromLittleEndian<quint32>(h + ChartStateChecksumOffset);
    const quint32 sectionCount = qFromLittleEndian<quint32>(h + 20);
    if (version != FormatVersion) {
        err = QStringLiteral("Chart state block version %1 is not supported (this program reads version %2).")
                  .arg(version).arg(FormatVersion);
        return false;
    }
    if (headerSize != ChartStateHeaderSize) {
        err = QStringLiteral("Chart state block header size %1 is inconsistent.").arg(headerSize);
        return false;
    }
    const qsizetype present = block.size() - ChartStateHeaderSize;
    if (qint64(bodySize) > present) {
        err = QStringLiteral("Chart state block is truncated: its header promises %1 bytes, %2 are present.")
                  .arg(bodySize).arg(present);
        return false;
    }
    if (qint64(bodySize) < present) {
        err = QStringLiteral("Chart state block has %1 bytes after its end.").arg(present - bodySize);
        return false;
    }
    if (Crc32(h + ChartStateHeaderSize, bodySize) != checksum) {
        err = QStringLiteral("Chart state block is damaged (checksum mismatch).");
        return false;
    }

    ChartState s;
    s.subsets.clear();
    std::set<quint32> seen;
    Reader body(h + ChartStateHeaderSize, bodySize, QStringLiteral("Chart state block"));
    for (quint32 i = 0; i < sectionCount; ++i) {
        const quint32 tag = body.u32();
        const quint32 size = body.u32();
        if (!body.need(qsizetype(size))) {
            err = body.error();
            return false;
        }
        const char *payload = h + ChartStateHeaderSize + (bodySize - body.left());
        Reader r(payload, size, QStringLiteral("Chart state section %1").arg(TagName(tag)));
        if (!seen.insert(tag).second) {
            err = QStringLiteral("Chart state block has section %1 twice.").arg(TagName(tag));
            return false;
        }
        // DATA must come first: SERS depends on its subset count.
        if (tag != TagData && !seen.count(TagData)) {
            err = QStringLiteral("Chart state block has section %1 before its data.").arg(TagName(tag));
            return false;
        }
        switch (tag) {
        case TagData: ReadData(r, s); break;
        case TagSeries: ReadSeries(r, s); break;
        case TagAxes: ReadAxes(r, s); break;
        case TagLook: ReadLook(r, s); break;
        case TagAnnotations: ReadAnnotations(r, s); break;
        case TagVertLines: ReadVertLines(r, s); break;
        case TagTable: ReadTable(r, s); break;
        default: break; // a section of a later revision: skipped
        }
        if (!r.ok()) {
            err = r.error() + QLatin1Char('.');
            return false;
        }
        body.skipBytes(size);
    }
    body.expectEnd();
    if (!body.ok()) {
        err = body.error() + QLatin1Char('.');
        return false;
    }
    for (quint32 tag : RequiredTags) {
        if (!seen.count(tag)) {
            err = QStringLiteral("Chart state block lacks section %1.").arg(TagName(tag));
            return false;
        }
    }
    if (!CheckConsistency(s, &err))
        return false;
    *out = std::move(s);
    return true;
}

} // namespace kv

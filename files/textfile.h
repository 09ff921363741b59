#pragma once
// Graph lines of the text and comma-separated files: one line per point,
// date, time and the five channel values, joined by the separator, CR LF
// after every line.  UI-free: writes from plain arrays.

#include "realtime/statistics.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringEncoder>

#include <array>
#include <functional>
#include <vector>

class QIODevice;

namespace kv {

constexpr char TabSeparator = '\t';
constexpr char CommaSeparator = ',';

// Values above this are written " OL", below the lower bound " -OL".
constexpr float TextOverRangeLimit = 5000.0f;
constexpr float TextUnderRangeLimit = -390.0f;
const QString TextOverRange = QStringLiteral(" OL");
const QString TextUnderRange = QStringLiteral(" -OL");

// The user's settings for the texts of a file.
struct TextFileFormat {
    QChar separator = QLatin1Char(TabSeparator);
    QChar decimalPoint = QLatin1Char('.');
    QString dateFormat;
    QString timeFormat;
    QLocale locale;

    static TextFileFormat fromLocale(QChar separator, const QLocale &locale = QLocale());
};

// One value field of a graph line.
QString GraphValueField(float value, QChar decimalPoint);
void AppendGraphValueField(QString &out, float value, QChar decimalPoint);

// A time format as tokens, for formats of hours, minutes, seconds,
// milliseconds, AM/PM and literal text.  Formats with anything else, and
// locales with other digits than 0..9, are left to QLocale.
struct TimeFormatToken {
    char kind = 0;      // 0 literal, 'h', 'H', 'm', 's', 'z', 'a'
    int width = 0;      // digits (0: no leading zeros), or 1 upper / 0 lower for 'a'
    QString literal;
};
struct TimeFormatTokens {
    bool fast = false;          // false: QLocale reads and writes the format
    bool twelveHours = false;
    std::vector<TimeFormatToken> tokens;
};
TimeFormatTokens TokenizeTimeFormat(const QLocale &locale, const QString &format);

// Times of day as QLocale::toString(time, format) writes them, without its
// per-call locale look-ups (one call per exported line).
class TimeTextFormatter {
public:
    TimeTextFormatter(const QLocale &locale, const QString &format);
    void append(QString &out, const QTime &time) const;
    QString text(const QTime &time) const;

private:
    QLocale m_locale;
    QString m_format;
    TimeFormatTokens m_tokens;
};

// Builds graph lines; remembers the last date's text, since consecutive
// points nearly always fall on the same day.
class GraphLineBuilder {
public:
    explicit GraphLineBuilder(const TextFileFormat &format);
    // The line of one point without its line end.
    QString line(double dateTime, const std::array<float, GraphChannelCount> &values);
    void appendLine(QString &out, double dateTime, const std::array<float, GraphChannelCount> &values);

private:
    TextFileFormat m_format;
    TimeTextFormatter m_time;
    QDate m_lastDate;
    QString m_lastDateText;
};

// The columns of a chart to export: time stamps of subset 0 and the values
// of subsets 0..4 (nullptr: no such subset, written as the null value).
struct GraphTextColumns {
    const double *x = nullptr;
    std::array<const double *, GraphChannelCount> y{};
    int points = 0;
};

struct TextWriteResult {
    int lines = 0;
    bool cancelled = false;
    bool failed = false;
    QString error;          // the device's error text when failed
};

// Collects lines and writes them in blocks in the system's 8-bit encoding.
class TextBlockWriter {
public:
    explicit TextBlockWriter(QIODevice &out, TextWriteResult &result);
    // The text of the lines not written yet.
    QString &block() { return m_block; }
    // Ends a line (CR LF); writes the block once it is large.  False when
    // the device failed (the result says why).
    bool endLine();
    bool flush();

private:
    QIODevice &m_out;
    TextWriteResult &m_result;
    QStringEncoder m_encoder;
    QString m_block;
};

// Writes the lines of points from - 1 .. to - 1 (1-based range, clipped to
// the points present).  A point whose time stamp is exactly 0 ends the data.
// `afterLine` runs after every line written; returning false stops (cancel).
TextWriteResult WriteGraphText(QIODevice &out, const GraphTextColumns &columns, int from, int to,
                               const TextFileFormat &format, const std::function<bool()> &afterLine = {});

} // namespace kv

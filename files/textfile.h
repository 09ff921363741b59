#pragma once
// Graph lines of the text and comma-separated files: one line per point,
// date, time and the five channel values, joined by the separator, CR LF
// after every line.  UI-free: writes from plain arrays.

#include "graph/statistics.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <functional>

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

// Builds graph lines; remembers the last date's text, since consecutive
// points nearly always fall on the same day.
class GraphLineBuilder {
public:
    explicit GraphLineBuilder(const TextFileFormat &format);
    // The line of one point without its line end.
    QString line(double dateTime, const std::array<float, GraphChannelCount> &values);

private:
    TextFileFormat m_format;
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

struct GraphTextResult {
    int lines = 0;
    bool cancelled = false;
    bool failed = false;
    QString error;          // the device's error text when failed
};

// Writes the lines of points from - 1 .. to - 1 (1-based range, clipped to
// the points present).  A point whose time stamp is exactly 0 ends the data.
// `afterLine` runs after every line written; returning false stops (cancel).
GraphTextResult WriteGraphText(QIODevice &out, const GraphTextColumns &columns, int from, int to,
                               const TextFileFormat &format, const std::function<bool()> &afterLine = {});

} // namespace kv

#include "files/tabletograph.h"

#include "realtime/datetime.h"
#include "realtime/statistics.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <limits>

namespace kv {
namespace {

const QString OverRangeCell = QStringLiteral(" OL");
const QString UnderRangeCell = QStringLiteral(" -OL");
constexpr int GraphSeries = GraphChannelCount;
// Table columns of the five series and the value of a cell that is not a
// number: the three measured channels count it as over range, the two
// computed ones as no value.
constexpr int FirstValueColumn = 3;
struct SeriesMapping {
    float overRange;
    float underRange;
    float notANumber;
};
constexpr SeriesMapping SeriesMappings[GraphSeries] = {
    {OverRangeValue, UnderRangeValue, OverRangeValue},   // %RH
    {OverRangeValue, UnderRangeValue, OverRangeValue},   // T1
    {OverRangeValue, UnderRangeValue, OverRangeValue},   // T2
    {NoValue, NoValue, NoValue},                         // WET BULB
    {NoValue, NoValue, NoValue},                         // DEW POINT
};
// Mantissas of more digits than this are read by QLocale.
constexpr int FastNumberDigits = 17;
constexpr double MsPerDay = 86400.0 * 1000.0;

double DaysSinceEpoch(const QDate &date) { return double(QDate(1899, 12, 30).daysTo(date)); }

// Reads up to `maxDigits` ASCII digits at text[*pos]; false without any.
bool ReadDigits(QStringView text, qsizetype *pos, int maxDigits, int *value, int *digits = nullptr)
{
    int n = 0;
    int count = 0;
    while (*pos < text.size() && count < maxDigits) {
        const char16_t c = text[*pos].unicode();
        if (c < u'0' || c > u'9')
            break;
        n = n * 10 + (c - u'0');
        ++count;
        ++*pos;
    }
    *value = n;
    if (digits)
        *digits = count;
    return count > 0;
}

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// A plain decimal number: blanks, sign, digits, decimal point, digits,
// blanks.  False when the text is anything else (the caller asks QLocale).
bool ReadPlainNumber(QStringView text, QChar decimalPoint, double *value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    qint64 mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            if (++digits > FastNumberDigits)
                return false;
            mantissa = mantissa * 10 + (c - u'0');
            if (point)
                ++decimals;
        } else if (text[i] == decimalPoint && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n || digits == 0)
        return false;
    static constexpr double Powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9,
                                        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
    // Both operands exact: the quotient is the correctly rounded value.
    const double magnitude = double(mantissa) / Powers[decimals];
    *value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

// ---- date and time ----------------------------------------------------------------------

TableDateTimeReader::TableDateTimeReader(const QLocale &locale)
    : m_locale(locale), m_dateFormat(ShortDateFormat(locale)), m_timeFormat(LongTimeFormat(locale)),
      m_time(TokenizeTimeFormat(locale, m_timeFormat))
{
}

bool TableDateTimeReader::readTime(QStringView text, QTime *time) const
{
    if (m_time.fast) {
        int hour = 0, minute = 0, second = 0, ms = 0;
        int meridiem = -1;   // -1 none, 0 AM, 1 PM
        bool twelve = false;
        qsizetype pos = 0;
        bool ok = true;
        for (const TimeFormatToken &t : m_time.tokens) {
            switch (t.kind) {
            case 0:
                ok = text.mid(pos).startsWith(t.literal);
                pos += t.literal.size();
                break;
            case 'h':
                twelve = true;
                ok = ReadDigits(text, &pos, 2, &hour);
                break;
            case 'H':
                ok = ReadDigits(text, &pos, 2, &hour);
                break;
            case 'm':
                ok = ReadDigits(text, &pos, 2, &minute);
                break;
            case 's':
                ok = ReadDigits(text, &pos, 2, &second);
                break;
            case 'z': {
                int digits = 0;
                ok = ReadDigits(text, &pos, 3, &ms, &digits);
                for (; digits < 3; ++digits)
                    ms *= 10;
                break;
            }
            case 'a': {
                const QStringView rest = text.mid(pos);
                const QString am = m_locale.amText();
                const QString pm = m_locale.pmText();
                if (!am.isEmpty() && rest.startsWith(am, Qt::CaseInsensitive)) {
                    meridiem = 0;
                    pos += am.size();
                } else if (!pm.isEmpty() && rest.startsWith(pm, Qt::CaseInsensitive)) {
                    meridiem = 1;
                    pos += pm.size();
                } else {
                    ok = false;
                }
                break;
            }
            }
            if (!ok)
                break;
        }
        if (ok && pos == text.size()) {
            if (meridiem >= 0 && twelve) {
                if (hour < 1 || hour > 12)
                    ok = false;
                hour = hour % 12 + (meridiem == 1 ? 12 : 0);
            }
            const QTime t(hour, minute, second, ms);
            if (ok && t.isValid()) {
                *time = t;
                return true;
            }
        }
    }
    // Formats and texts the tokens do not cover.
    *time = m_locale.toTime(text.toString(), m_timeFormat);
    return time->isValid();
}

bool TableDateTimeReader::read(QStringView date, QStringView time, double *dateTime)
{
    if (!m_lastDateValid || date != m_lastDateText) {
        const QDate d = m_locale.toDate(date.toString(), m_dateFormat);
        if (!d.isValid())
            return false;
        m_lastDateText = date.toString();
        m_lastDate = DaysSinceEpoch(d);
        m_lastDateValid = true;
    }
    QTime t;
    if (!readTime(time, &t))
        return false;
    *dateTime = m_lastDate + t.msecsSinceStartOfDay() / MsPerDay;
    return true;
}

QString TableDateTimeReader::errorText(QStringView date, QStringView time)
{
    return QStringLiteral("'%1 %2' is not a valid date and time").arg(date, time);
}

// ---- values -----------------------------------------------------------------------------

float TableCellValue(QStringView cell, float overRange, float underRange, float notANumber, const QLocale &locale)
{
    if (cell == OverRangeCell)
        return overRange;
    if (cell == UnderRangeCell)
        return underRange;
    const QString point = locale.decimalPoint();
    double value = 0;
    if (!point.isEmpty() && ReadPlainNumber(cell, point.at(0), &value))
        return float(value);
    bool ok = false;
    value = locale.toDouble(cell.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return notANumber;
    // Beyond single precision: out of range.
    if (std::fabs(value) > double(std::numeric_limits<float>::max()))
        return value > 0 ? overRange : underRange;
    return float(value);
}

// ---- conversion -------------------------------------------------------------------------

TableGraphRange TableGraphExtent(const TextTable &table, const QLocale &locale)
{
    TableGraphRange range;
    if (table.isEmpty() || table.field(0, 1).isEmpty())
        return range;
    range.points = table.rows();
    TableDateTimeReader reader(locale);
    const int last = table.rows() - 1;
    if (!reader.read(table.field(0, 1), table.field(0, 2), &range.first)) {
        range.status = TableGraphRange::Unreadable;
        range.error = TableDateTimeReader::errorText(table.field(0, 1), table.field(0, 2));
        return range;
    }
    if (!reader.read(table.field(last, 1), table.field(last, 2), &range.last)) {
        range.status = TableGraphRange::Unreadable;
        range.error = TableDateTimeReader::errorText(table.field(last, 1), table.field(last, 2));
        return range;
    }
    range.status = TableGraphRange::Ok;
    return range;
}

TableGraphPoints TableGraphValues(const TextTable &table, const QLocale &locale,
                                  const std::function<void(int row)> &progress)
{
    TableGraphPoints out;
    out.points = table.rows();
    out.x.assign(size_t(out.points) * GraphSeries, 0.0);
    out.y.assign(size_t(out.points) * GraphSeries, NoValue);
    TableDateTimeReader reader(locale);
    for (int r = 0; r < out.points; ++r) {
        if (progress)
            progress(r + 1);
        double stamp = 0;
        if (!reader.read(table.field(r, 1), table.field(r, 2), &stamp)) {
            ++out.skippedRows;
            continue;
        }
        const size_t at = size_t(r) * GraphSeries;
        for (int s = 0; s < GraphSeries; ++s) {
            const SeriesMapping &m = SeriesMappings[s];
            out.x[at + size_t(s)] = stamp;
            out.y[at + size_t(s)] =
                TableCellValue(table.field(r, FirstValueColumn + s), m.overRange, m.underRange, m.notANumber, locale);
        }
    }
    return out;
}

} // namespace kv

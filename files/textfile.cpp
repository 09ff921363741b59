#include "files/textfile.h"

#include "files/textcodec.h"
#include "realtime/datetime.h"

#include <QIODevice>
#include <QTime>

#include <cmath>
#include <cstdlib>

namespace kv {
namespace {

// Lines are collected and written in blocks of about this many characters.
constexpr qsizetype WriteBlockChars = 64 * 1024;
const QString LineEnd = QStringLiteral("\r\n");

void AppendNumber(QString &out, qint64 n, int width)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    for (int i = count; i < width; ++i)
        out += QLatin1Char('0');
    while (count > 0)
        out += QLatin1Char(digits[--count]);
}

} // namespace

TextFileFormat TextFileFormat::fromLocale(QChar separator, const QLocale &locale)
{
    TextFileFormat format;
    format.separator = separator;
    const QString point = locale.decimalPoint();
    format.decimalPoint = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    format.dateFormat = ShortDateFormat(locale);
    format.timeFormat = LongTimeFormat(locale);
    format.locale = locale;
    return format;
}

void AppendGraphValueField(QString &out, float value, QChar decimalPoint)
{
    if (value > TextOverRangeLimit) {
        out += TextOverRange;
        return;
    }
    if (value < TextUnderRangeLimit) {
        out += TextUnderRange;
        return;
    }
    if (!std::isfinite(value)) {
        out += ValueText(value, decimalPoint);
        return;
    }
    // A float times ten is exact in double precision, so rounding the
    // product gives the same digit as decimal rounding of the value.
    const qint64 tenths = std::llround(double(value) * 10.0);
    if (tenths < 0)
        out += QLatin1Char('-');
    const qint64 magnitude = std::llabs(tenths);
    AppendNumber(out, magnitude / 10, 0);
    out += decimalPoint;
    out += QLatin1Char(char('0' + magnitude % 10));
}

QString GraphValueField(float value, QChar decimalPoint)
{
    QString text;
    AppendGraphValueField(text, value, decimalPoint);
    return text;
}

// ---- times of day ---------------------------------------------------------------------------

TimeFormatTokens TokenizeTimeFormat(const QLocale &locale, const QString &format)
{
    TimeFormatTokens result;
    result.fast = locale.zeroDigit() == QLatin1String("0");
    std::vector<TimeFormatToken> &tokens = result.tokens;
    const qsizetype n = format.size();
    QString literal;
    auto flushLiteral = [&] {
        if (!literal.isEmpty())
            tokens.push_back(TimeFormatToken{0, 0, literal});
        literal.clear();
    };
    for (qsizetype i = 0; i < n && result.fast;) {
        const QChar c = format.at(i);
        qsizetype run = 1;
        while (i + run < n && format.at(i + run) == c)
            ++run;
        const char k = c.toLatin1();
        if (c == QLatin1Char('\'')) {
            // Quoted text; '' is a quote.
            qsizetype j = i + 1;
            if (j < n && format.at(j) == QLatin1Char('\'')) {
                literal += QLatin1Char('\'');
                i += 2;
                continue;
            }
            while (j < n) {
                if (format.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && format.at(j + 1) == QLatin1Char('\'')) {
                        literal += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                literal += format.at(j++);
            }
            i = j + 1;
            continue;
        }
        if ((k == 'h' || k == 'H' || k == 'm' || k == 's') && run <= 2) {
            flushLiteral();
            tokens.push_back(TimeFormatToken{k, int(run), {}});
        } else if (k == 'z' && (run == 1 || run == 3)) {
            flushLiteral();
            tokens.push_back(TimeFormatToken{'z', int(run), {}});
        } else if (k == 'A' || k == 'a') {
            flushLiteral();
            const bool upper = k == 'A';
            // "AP" / "ap" or "A" / "a" alone; anything mixed goes through QLocale.
            if (run == 1 && i + 1 < n && format.at(i + 1) == QLatin1Char(upper ? 'P' : 'p'))
                run = 2;
            else if (run != 1)
                result.fast = false;
            tokens.push_back(TimeFormatToken{'a', upper ? 1 : 0, {}});
            result.twelveHours = true;
        } else if (c.isLetter()) {
            result.fast = false;     // seconds fractions, time zones, ...
        } else {
            literal += QString(run, c);
        }
        i += run;
    }
    flushLiteral();
    return result;
}

TimeTextFormatter::TimeTextFormatter(const QLocale &locale, const QString &format)
    : m_locale(locale), m_format(format), m_tokens(TokenizeTimeFormat(locale, format))
{
}

void TimeTextFormatter::append(QString &out, const QTime &time) const
{
    if (!m_tokens.fast) {
        out += m_locale.toString(time, m_format);
        return;
    }
    for (const TimeFormatToken &t : m_tokens.tokens) {
        switch (t.kind) {
        case 0:
            out += t.literal;
            break;
        case 'h': {
            int hour = time.hour();
            if (m_tokens.twelveHours) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            AppendNumber(out, hour, t.width == 2 ? 2 : 0);
            break;
        }
        case 'H':
            AppendNumber(out, time.hour(), t.width == 2 ? 2 : 0);
            break;
        case 'm':
            AppendNumber(out, time.minute(), t.width == 2 ? 2 : 0);
            break;
        case 's':
            AppendNumber(out, time.second(), t.width == 2 ? 2 : 0);
            break;
        case 'z':
            if (t.width == 3) {
                AppendNumber(out, time.msec(), 3);
            } else {
                // Milliseconds as a fraction: no trailing zeros.
                int ms = time.msec();
                int width = 3;
                while (width > 1 && ms % 10 == 0) {
                    ms /= 10;
                    --width;
                }
                AppendNumber(out, ms, width);
            }
            break;
        case 'a': {
            const QString text = time.hour() < 12 ? m_locale.amText() : m_locale.pmText();
            out += t.width ? text.toUpper() : text.toLower();
            break;
        }
        }
    }
}

QString TimeTextFormatter::text(const QTime &time) const
{
    QString out;
    append(out, time);
    return out;
}

// ---- lines --------------------------------------------------------------------------------

GraphLineBuilder::GraphLineBuilder(const TextFileFormat &format)
    : m_format(format), m_time(format.locale, format.timeFormat)
{
}

void GraphLineBuilder::appendLine(QString &out, double dateTime, const std::array<float, GraphChannelCount> &values)
{
    QDate date;
    QTime time;
    SplitDateTime(dateTime, &date, &time);
    if (date != m_lastDate || m_lastDateText.isNull()) {
        m_lastDate = date;
        m_lastDateText = m_format.locale.toString(date, m_format.dateFormat);
    }
    out += m_lastDateText;
    out += m_format.separator;
    m_time.append(out, time);
    for (float v : values) {
        out += m_format.separator;
        AppendGraphValueField(out, v, m_format.decimalPoint);
    }
}

QString GraphLineBuilder::line(double dateTime, const std::array<float, GraphChannelCount> &values)
{
    QString text;
    appendLine(text, dateTime, values);
    return text;
}

TextBlockWriter::TextBlockWriter(QIODevice &out, TextWriteResult &result)
    : m_out(out), m_result(result), m_encoder(LocalTextEncoder())
{
    m_block.reserve(WriteBlockChars + 1024);
}

bool TextBlockWriter::endLine()
{
    m_block += LineEnd;
    ++m_result.lines;
    return m_block.size() < WriteBlockChars || flush();
}

bool TextBlockWriter::flush()
{
    if (m_block.isEmpty())
        return true;
    const QByteArray bytes = m_encoder.encode(m_block);
    m_block.resize(0);
    if (m_out.write(bytes) != bytes.size()) {
        m_result.failed = true;
        m_result.error = m_out.errorString();
        return false;
    }
    return true;
}

TextWriteResult WriteGraphText(QIODevice &out, const GraphTextColumns &columns, int from, int to,
                               const TextFileFormat &format, const std::function<bool()> &afterLine)
{
    TextWriteResult result;
    TextBlockWriter writer(out, result);
    GraphLineBuilder builder(format);
    const int first = qMax(from, 1) - 1;
    const int last = qMin(to, columns.points) - 1;
    std::array<float, GraphChannelCount> values{};
    for (int p = first; p <= last && columns.x; ++p) {
        const double stamp = columns.x[p];
        if (stamp == 0.0)
            break;
        for (int s = 0; s < GraphChannelCount; ++s) {
            const double *ys = columns.y[size_t(s)];
            values[size_t(s)] = ys ? float(ys[p]) : NoValue;
        }
        builder.appendLine(writer.block(), stamp, values);
        if (!writer.endLine())
            return result;
        if (afterLine && !afterLine()) {
            result.cancelled = true;
            break;
        }
    }
    writer.flush();
    return result;
}

} // namespace kv

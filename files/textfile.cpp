#include "files/textfile.h"

#include "realtime/datetime.h"

#include <QIODevice>

namespace kv {
namespace {

// Lines are collected and written in blocks of about this size.
constexpr qsizetype WriteBlockBytes = 64 * 1024;
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

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

QString GraphValueField(float value, QChar decimalPoint)
{
    if (value > TextOverRangeLimit)
        return TextOverRange;
    if (value < TextUnderRangeLimit)
        return TextUnderRange;
    return ValueText(value, decimalPoint);
}

GraphLineBuilder::GraphLineBuilder(const TextFileFormat &format) : m_format(format) {}

QString GraphLineBuilder::line(double dateTime, const std::array<float, GraphChannelCount> &values)
{
    QDate date;
    QTime time;
    SplitDateTime(dateTime, &date, &time);
    if (date != m_lastDate || m_lastDateText.isNull()) {
        m_lastDate = date;
        m_lastDateText = m_format.locale.toString(date, m_format.dateFormat);
    }
    QString text;
    text.reserve(64);
    text += m_lastDateText;
    text += m_format.separator;
    text += m_format.locale.toString(time, m_format.timeFormat);
    for (float v : values) {
        text += m_format.separator;
        text += GraphValueField(v, m_format.decimalPoint);
    }
    return text;
}

GraphTextResult WriteGraphText(QIODevice &out, const GraphTextColumns &columns, int from, int to,
                               const TextFileFormat &format, const std::function<bool()> &afterLine)
{
    GraphTextResult result;
    GraphLineBuilder builder(format);
    QByteArray block;
    block.reserve(WriteBlockBytes + 256);
    auto flush = [&] {
        if (block.isEmpty())
            return true;
        if (out.write(block) != block.size()) {
            result.failed = true;
            result.error = out.errorString();
            return false;
        }
        block.clear();
        return true;
    };

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
        // The system's 8-bit code page.
        block += builder.line(stamp, values).toLocal8Bit();
        block += LineEnd;
        ++result.lines;
        if (block.size() >= WriteBlockBytes && !flush())
            return result;
        if (afterLine && !afterLine()) {
            result.cancelled = true;
            break;
        }
    }
    flush();
    return result;
}

} // namespace kv

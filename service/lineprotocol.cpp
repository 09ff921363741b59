#include "service/lineprotocol.h"

#include "logger/loggerimage.h"
#include "realtime/channels.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>

namespace kv::service {

namespace {

QByteArray Escape(const QString &text, bool equalsToo)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 4);
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
        else if (c == '\\')
            c = '/';
        if (c == ',' || c == ' ' || (equalsToo && c == '='))
            out += '\\';
        out += c;
    }
    return out;
}

void AppendTag(QByteArray &line, const char *key, const QString &value)
{
    if (value.isEmpty())
        return;
    line += ',';
    line += key;
    line += '=';
    line += EscapeTag(value);
}

// Logger values carry markers instead of numbers outside the range.
std::optional<double> LoggerValue(float entry)
{
    if (entry == OverRangeValue || entry == UnderRangeValue || entry == NoValue || !std::isfinite(entry))
        return std::nullopt;
    return double(entry);
}

constexpr double KelvinOffset = 273.15;

} // namespace

QByteArray EscapeMeasurement(const QString &name) { return Escape(name, false); }

QByteArray EscapeTag(const QString &keyOrValue) { return Escape(keyOrValue, true); }

QByteArray FieldNumber(double value)
{
    QByteArray text = QByteArray::number(value, 'f', LineFieldDecimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    if (text == "-0")
        text = "0";
    return text;
}

QByteArray LineOf(const LinePoint &point)
{
    QByteArray line = EscapeMeasurement(QString::fromLatin1(LineMeasurement));
    // Tags in the order of their keys, as the database sorts them anyway.
    AppendTag(line, "meter", point.meter);
    AppendTag(line, "thermocouple", point.thermocouple);
    AppendTag(line, "unit", point.unit);
    bool first = true;
    for (const ChannelInfo &channel : MeterChannels) {
        const std::optional<double> &value = point.values[size_t(channel.id)];
        if (!value || !std::isfinite(*value))
            continue;
        line += first ? ' ' : ',';
        first = false;
        line += EscapeTag(QString::fromLatin1(channel.key));
        line += '=';
        line += FieldNumber(*value);
    }
    if (first)
        return {};
    line += ' ';
    line += QByteArray::number(qlonglong(point.timeMs));
    return line;
}

LinePoint PointOf(const MeterInfo &meter, const MeterReading &reading)
{
    LinePoint point;
    point.meter = meter.serial;
    point.unit = reading.displayUnit;
    point.thermocouple = reading.thermocouple;
    point.timeMs = reading.timeMs;
    for (int c = 0; c < ChannelCount; ++c)
        if (!reading.outOfRange[size_t(c)])
            point.values[size_t(c)] = reading.values[size_t(c)];
    return point;
}

std::int64_t LoggerTimeMs(double dateTime)
{
    const long long ms = std::llround(dateTime * 86400000.0);
    constexpr long long PerDay = 86400000;
    long long days = ms / PerDay;
    long long rest = ms % PerDay;
    if (rest < 0) {
        rest += PerDay;
        --days;
    }
    const QDateTime local(QDate(1899, 12, 30).addDays(days), QTime::fromMSecsSinceStartOfDay(int(rest)));
    return local.toMSecsSinceEpoch();
}

std::vector<TimedLine> LoggerSetLines(const LoggerParse &parse, int setIndex, const QString &meter)
{
    std::vector<TimedLine> lines;
    if (setIndex < 0 || size_t(setIndex) >= parse.dataSets.size())
        return lines;
    const LoggerDataSet &set = parse.dataSets[size_t(setIndex)];
    LinePoint point;
    point.meter = meter;
    point.unit = LoggerUnitText(set.unit);
    point.thermocouple = LoggerCoupleText(set.couple);
    // Entries are in the set's unit: F and K are converted, other codes are C.
    const auto toCelsius = [&set](double v) {
        if (set.unit == 0)
            return (v - 32.0) * 5.0 / 9.0;
        if (set.unit == 2)
            return v - KelvinOffset;
        return v;
    };
    lines.reserve(size_t(set.count));
    for (int k = 0; k < set.count; ++k) {
        const size_t e = size_t(set.firstEntry) + size_t(k) * LoggerValuesPerSample;
        if (e + LoggerValuesPerSample > parse.series.values.size())
            break;
        point.timeMs = LoggerTimeMs(parse.series.times[e]);
        for (const ChannelInfo &channel : MeterChannels) {
            std::optional<double> v = LoggerValue(parse.series.values[e + size_t(channel.id)]);
            if (v && channel.temperature)
                v = toCelsius(*v);
            point.values[size_t(channel.id)] = v;
        }
        QByteArray line = LineOf(point);
        if (!line.isEmpty())
            lines.push_back({point.timeMs, std::move(line)});
    }
    return lines;
}

} // namespace kv::service

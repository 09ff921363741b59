#include "logger/loggercsv.h"

#include "realtime/channels.h"
#include "realtime/datetime.h"

#include <QDate>
#include <QStringList>
#include <QTime>

#include <cmath>

namespace kv {

const char *const LoggerExportHeader = "set,time,rh,t1,t2,wet_bulb,dew_point,unit";

QString LoggerCsvValue(float value)
{
    if (value == OverRangeValue)
        return QStringLiteral("OL");
    if (value == UnderRangeValue)
        return QStringLiteral("-OL");
    if (value == NoValue || !std::isfinite(value))
        return QString();
    QString text = QString::number(static_cast<double>(value), 'f', 1);
    if (text == QLatin1String("-0.0"))
        text = QStringLiteral("0.0");
    return text;
}

// Without time zone work: the meter's clock is a plain local time.
QString LoggerIsoSeconds(double dateTime)
{
    const long long seconds = std::llround(dateTime * SecondsPerDay);
    const long long perDay = 86400;
    long long days = seconds / perDay;
    long long rest = seconds % perDay;
    if (rest < 0) {
        rest += perDay;
        --days;
    }
    const QDate date = QDate(1899, 12, 30).addDays(days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(rest * 1000));
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T') + time.toString(QStringLiteral("HH:mm:ss"));
}

void AppendLoggerSetCsv(QByteArray &out, const LoggerParse &parse, int setIndex)
{
    if (setIndex < 0 || size_t(setIndex) >= parse.dataSets.size())
        return;
    const LoggerDataSet &set = parse.dataSets[size_t(setIndex)];
    const QString number = QString::number(setIndex + 1);
    const QString unit = LoggerUnitText(set.unit);
    for (int k = 0; k < set.count; ++k) {
        const size_t e = size_t(set.firstEntry) + size_t(k) * LoggerValuesPerSample;
        QStringList fields{number, LoggerIsoSeconds(parse.series.times[e])};
        for (int c = 0; c < LoggerValuesPerSample; ++c)
            fields << LoggerCsvValue(parse.series.values[e + size_t(c)]);
        fields << unit;
        out += fields.join(QLatin1Char(',')).toUtf8();
        out += '\n';
    }
}

QByteArray LoggerSetCsvFile(const LoggerParse &parse, int setIndex)
{
    QByteArray out = QByteArray(LoggerExportHeader) + '\n';
    AppendLoggerSetCsv(out, parse, setIndex);
    return out;
}

} // namespace kv

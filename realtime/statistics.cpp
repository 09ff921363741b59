#include "realtime/statistics.h"

#include "realtime/datetime.h"

#include <QLocale>

#include <cmath>

namespace kv {
namespace {

constexpr int SignificantDigits = 7;
// Largest magnitude written in fixed notation: seven integer digits.
constexpr double FixedNotationLimit = 1e7;

QChar LocaleDecimalPoint()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

} // namespace

QString ValueText(double value) { return ValueText(value, LocaleDecimalPoint()); }

QString ValueText(double value, QChar decimalPoint)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString text;
    const double magnitude = std::fabs(value);
    if (magnitude >= FixedNotationLimit) {
        text = QString::number(value, 'E', SignificantDigits - 1);
    } else if (magnitude >= FixedNotationLimit / 10) {
        // Seven integer digits leave no room for the decimal.
        text = QString::number(std::round(value), 'f', 0) + QStringLiteral(".0");
    } else {
        text = QString::number(value, 'f', 1);
    }
    if (text == QLatin1String("-0.0"))
        text = QStringLiteral("0.0");
    if (decimalPoint != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}

QString ExtremeText(double value, double dateTime)
{
    return ValueText(value) + QLatin1Char('@') + DateTimeText(dateTime);
}

GraphStatistics ComputeGraphStatistics(const double *x, const std::array<const double *, GraphChannelCount> &y,
                                       int points)
{
    GraphStatistics stats;
    stats.points = points;
    if (points <= 0 || !x)
        return stats;
    stats.firstTime = x[0];
    stats.lastTime = x[points - 1];
    if (points > 1) {
        const double interval = (stats.lastTime - stats.firstTime) / (points - 1) * SecondsPerDay + 0.5;
        stats.intervalSeconds = std::isfinite(interval) && std::fabs(interval) < 2e9 ? int(std::trunc(interval)) : 0;
    }
    for (int s = 0; s < GraphChannelCount; ++s) {
        ChannelStatistics &c = stats.channels[size_t(s)];
        const double *ys = y[size_t(s)];
        for (int p = 0; p < points; ++p) {
            const float v = ys ? float(ys[p]) : NoValue;
            if (v > c.max) {
                c.max = v;
                c.maxTime = x[p];
            }
            if (v < c.min) {
                c.min = v;
                c.minTime = x[p];
            }
            if (v > AverageLowerBound && v < AverageUpperBound) {
                c.sum += v;
                ++c.count;
            }
        }
    }
    return stats;
}

QString StatisticsExtremeText(int channel, float value, double dateTime)
{
    switch (channel) {
    case ChannelRh:
        if (value > RhUpperLimit || value < RhLowerLimit)
            return OverRangeText;
        break;
    case ChannelT1:
        if (value > AverageUpperBound || value < AverageLowerBound)
            return OverRangeText;
        break;
    default:
        if (value > AverageUpperBound)
            return OverRangeText;
        if (value < AverageLowerBound)
            return UnderRangeText;
        break;
    }
    return ExtremeText(value, dateTime);
}

QString StatisticsAverageText(const ChannelStatistics &channel)
{
    if (channel.count == 0)
        return NoAverageText;
    return ValueText(channel.sum / channel.count);
}

QString RealTimeExtremeText(int channel, float value, bool flagged, double dateTime)
{
    if (flagged) {
        if (channel != ChannelT2 || value > 0)
            return OverRangeText;
        if (value < 0)
            return UnderRangeText;
    }
    return ExtremeText(value, dateTime);
}

QString RealTimeAverageText(const double *y, int count)
{
    double sum = 0;
    int n = 0;
    for (int p = 0; p < count; ++p) {
        const float v = float(y[p]);
        if (v > RealTimeAverageLowerBound && v < RealTimeAverageUpperBound) {
            sum += v;
            ++n;
        }
    }
    if (n == 0)
        return NoAverageText;
    const double average = sum / n;
    return std::isfinite(average) ? ValueText(average) : NoAverageText;
}

} // namespace kv

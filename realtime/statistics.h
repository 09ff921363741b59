#pragma once
// Statistics of a graph's five channels and the texts of its statistics
// boxes.  UI-free: works on the chart's arrays.

#include "realtime/channels.h"

#include <QString>

#include <array>

namespace kv {

// Channels with statistics boxes (RH, T1, T2).
constexpr int StatisticsChannelCount = 3;

// Running extremes start beyond every value.
constexpr float ExtremeMaxStart = -9999.0f;
constexpr float ExtremeMinStart = 9999.0f;

// Bounds of the values that count towards an average: a graph's statistics
// (exclusive) and the averages taken when a recording stops (exclusive).
constexpr float AverageLowerBound = -390.0f;
constexpr float AverageUpperBound = 5000.0f;
constexpr float RealTimeAverageLowerBound = -300.0f;
constexpr float RealTimeAverageUpperBound = 3000.0f;
// The RH boxes show "OL" outside 0..100 %.
constexpr float RhLowerLimit = 0.0f;
constexpr float RhUpperLimit = 100.0f;

const QString OverRangeText = QStringLiteral("OL");
const QString UnderRangeText = QStringLiteral("-OL");
const QString NoAverageText = QStringLiteral("****");

// A value in fixed notation with one decimal and at most 7 significant
// digits, with the locale's decimal separator (or the one given).
QString ValueText(double value);
QString ValueText(double value, QChar decimalPoint);
// Value, "@", and the date-time as date and time text.
QString ExtremeText(double value, double dateTime);

struct ChannelStatistics {
    float max = ExtremeMaxStart;
    double maxTime = 0;
    float min = ExtremeMinStart;
    double minTime = 0;
    double sum = 0;
    int count = 0;
};

struct GraphStatistics {
    int points = 0;
    double firstTime = 0;
    double lastTime = 0;
    int intervalSeconds = 0;   // sampling interval, rounded to whole seconds
    std::array<ChannelStatistics, GraphChannelCount> channels{};
};

// Statistics over `points` points.  `x` holds the time stamps of subset 0;
// y[s] the values of subset s, or nullptr when the chart has no such subset.
// Values are taken in single precision, as the chart's YData gives them.
GraphStatistics ComputeGraphStatistics(const double *x, const std::array<const double *, GraphChannelCount> &y,
                                       int points);

// Texts of the boxes of a graph's statistics: an extreme of RH, T1 or T2 and
// an average ("****" without values).
QString StatisticsExtremeText(int channel, float value, double dateTime);
QString StatisticsAverageText(const ChannelStatistics &channel);

// The box text of a running extreme of a real-time recording, from the
// reading's own value and its range flag.
QString RealTimeExtremeText(int channel, float value, bool flagged, double dateTime);

// The average of a recording's first `count` values within the real-time
// bounds, or "****".
QString RealTimeAverageText(const double *y, int count);

} // namespace kv

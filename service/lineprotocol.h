#pragma once
// Readings as line protocol (InfluxDB 1.x and 2.x, VictoriaMetrics, QuestDB,
// Telegraf's listener):
//
//   kv3917,meter=<serial>,thermocouple=<type>,unit=<C|F|K> rh=45.2,t1=23.5,t2=24.1,wet_bulb=16,dew_point=11 <ms>
//
// One point per reading; tags in key order (meter, thermocouple, unit), an
// empty tag left out; one field per channel of MeterChannels under its key,
// a channel out of range left out (a point without any field is no point);
// temperatures in °C, humidity in %, rounded to a thousandth; the time in
// milliseconds since the epoch (write with precision=ms).  A point written
// again with the same tags and time overwrites itself.

#include "service/channels.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace kv {
struct LoggerDataSet;
struct LoggerParse;
}

namespace kv::service {

constexpr const char *LineMeasurement = "kv3917";
constexpr int LineFieldDecimals = 3;

// Escaping of the line protocol: measurement names escape commas and spaces;
// tag keys, tag values and field keys also equals signs.  A backslash
// becomes '/' (InfluxDB 1.x and 2.x read an escaped backslash differently,
// and 1.x refuses one before a separator); a line break or other control
// character, which no line may hold, becomes a space (escaped).
QByteArray EscapeMeasurement(const QString &name);
QByteArray EscapeTag(const QString &keyOrValue);

// A number as a field value: fixed point, a point as decimal separator
// whatever the locale, no trailing zeros ("23.5", "-0.125", "16").
QByteArray FieldNumber(double value);

struct LinePoint {
    QString meter;
    QString unit;
    QString thermocouple;
    std::int64_t timeMs = 0;
    // Per channel (index = ChannelId), in °C or % RH; nothing when out of range.
    std::array<std::optional<double>, ChannelCount> values{};
};

// The point's line without the final newline; empty when it has no field.
QByteArray LineOf(const LinePoint &point);
LinePoint PointOf(const MeterInfo &meter, const MeterReading &reading);

// The points of one data set of a parsed logger image, each sample at its
// own time (the meter's clock is a local time), temperatures converted to
// °C from the set's unit.  Lines with their time, in memory order.
struct TimedLine {
    std::int64_t timeMs = 0;
    QByteArray line;
};
std::vector<TimedLine> LoggerSetLines(const LoggerParse &parse, int setIndex, const QString &meter);

// A date-time of the logger (days since 30 December 1899, local time) as
// milliseconds since the epoch.
std::int64_t LoggerTimeMs(double dateTime);

} // namespace kv::service

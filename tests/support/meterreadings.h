#pragma once
// Readings in base units for testing the service's outputs without the
// service core: a meter's series that varies every channel, puts T2 out of
// range now and then, and walks through the display's modes.

#include "service/channels.h"

#include <QDateTime>
#include <QTimeZone>

namespace kvtest {

inline kv::service::MeterReading SyntheticReading(int index, std::int64_t startMs = 1764000000000,
                                                  int periodMs = 500)
{
    using namespace kv::service;
    MeterReading reading;
    reading.timeMs = startMs + std::int64_t(index) * periodMs;
    reading.time = QDateTime::fromMSecsSinceEpoch(reading.timeMs, QTimeZone(3600));
    const double step = index % 50;
    reading.values[std::size_t(ChannelId::Rh)] = 40.0 + step / 10;
    reading.values[std::size_t(ChannelId::T1)] = 21.5 + step / 20;
    reading.values[std::size_t(ChannelId::T2)] = -12.25 + step;
    reading.values[std::size_t(ChannelId::WetBulb)] = 14.0 + step / 40;
    reading.values[std::size_t(ChannelId::DewPoint)] = 7.5 - step / 40;
    if (index % 7 == 3) {
        reading.values[std::size_t(ChannelId::T2)].reset();
        reading.outOfRange[std::size_t(ChannelId::T2)] = true;
    }
    reading.displayUnit = index % 3 == 1 ? QStringLiteral("F") : QStringLiteral("C");
    reading.thermocouple = QStringLiteral("K");
    reading.hold = index % 5 == 4;
    reading.mode = static_cast<DisplayMode>(index % 4);
    return reading;
}

inline kv::service::MeterInfo SyntheticMeter(const QString &serial = QStringLiteral("KV0001"))
{
    return {serial, QStringLiteral("demo:1"), QStringLiteral("demo"), QStringLiteral("1.07")};
}

} // namespace kvtest

#pragma once
// A StatusSource holding meters the test sets up, for the service's outputs
// (exposition, JSON, status page, HTTP) without sessions or meters.

#include "service/channels.h"

#include <QDateTime>
#include <QTimeZone>

namespace kvtest {

using kv::service::ChannelId;
using kv::service::MeterReading;
using kv::service::MeterState;
using kv::service::MeterStatus;

class FakeStatus : public kv::service::StatusSource {
public:
    QList<MeterStatus> list;
    bool progresses = true;

    QList<MeterStatus> meters() const override { return list; }
    bool pollingProgresses() const override { return progresses; }
};

// The reading at the instant timeMs (UTC+1) with every channel given.
inline MeterReading Reading(double rh, double t1, double t2, double wetBulb, double dewPoint,
                            std::int64_t timeMs = 1733832000123)
{
    MeterReading reading;
    reading.timeMs = timeMs;
    reading.time = QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone(3600));
    reading.values[std::size_t(ChannelId::Rh)] = rh;
    reading.values[std::size_t(ChannelId::T1)] = t1;
    reading.values[std::size_t(ChannelId::T2)] = t2;
    reading.values[std::size_t(ChannelId::WetBulb)] = wetBulb;
    reading.values[std::size_t(ChannelId::DewPoint)] = dewPoint;
    reading.displayUnit = QStringLiteral("C");
    reading.thermocouple = QStringLiteral("K");
    return reading;
}

inline MeterReading &OutOfRange(MeterReading &reading, ChannelId channel)
{
    reading.values[std::size_t(channel)].reset();
    reading.outOfRange[std::size_t(channel)] = true;
    return reading;
}

inline MeterStatus Meter(const QString &serial, const QString &port, MeterState state,
                         std::optional<MeterReading> last = std::nullopt)
{
    MeterStatus status;
    status.info.serial = serial;
    status.info.port = port;
    status.info.transport = port.startsWith(QLatin1String("demo:")) ? QStringLiteral("demo") : QStringLiteral("serial");
    status.info.firmware = QStringLiteral("1.07");
    status.state = state;
    status.last = last;
    status.lastReadingAgeMs = last ? 400 : -1;
    status.polls = 120;
    status.pollFailures = 3;
    status.reconnects = 1;
    return status;
}

// Meter number i of a set, up, with readings of its own: T1 = 20 + i/2,
// T2 = 100 + i, RH = 40 + i (all exact in binary).
inline MeterStatus NumberedMeter(int i)
{
    const double t1 = 20.0 + i * 0.5;
    MeterStatus meter = Meter(QStringLiteral("KV%1").arg(1000 + i), QStringLiteral("demo:%1").arg(i), MeterState::Up,
                              Reading(40.0 + i, t1, 100.0 + i, t1 - 4.0, t1 - 8.0, 1733832000000 + i));
    meter.polls = 1000u + unsigned(i);
    return meter;
}

} // namespace kvtest

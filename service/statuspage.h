#pragma once
// The people-facing and the JSON views of the service's meters: the page at /
// (one self-contained HTML page that reloads itself every 2 s) and the
// document at /api/meters.

#include "service/channels.h"

#include <QByteArray>
#include <QList>

namespace kv::service {

// {"pollingProgresses": bool, "meters": [{"meter", "serial", "port",
//  "transport", "firmware", "state": "connecting"|"up"|"down",
//  "lastReadingAgeMs", "polls", "pollFailures", "reconnects",
//  "lastReading": {"time", "timeMs", "unit", "thermocouple", "hold", "mode",
//                  "values": {"rh": %, "t1": °C, ... or null},
//                  "outOfRange": ["t2", ...]}}]}
// lastReading is the last good one, also for a meter down (see state and age).
QByteArray RenderMetersJson(const QList<MeterStatus> &meters, bool pollingProgresses);

QByteArray RenderStatusPage(const QList<MeterStatus> &meters, bool pollingProgresses);

const char *MeterStateKey(MeterState state); // "connecting", "up", "down"

// "0.4 s", "12 s", "3 min", "2 h 5 min"; "—" without a reading (-1).
QString FormatAge(std::int64_t ageMs);

} // namespace kv::service

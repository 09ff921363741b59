#pragma once
// The one table of channels behind every machine output of the service
// (Prometheus, the JSON API, MQTT and Home Assistant, line protocol), and the
// reading every output is fed: values in base units (temperatures in °C
// whatever the meter shows, relative humidity in percent; Prometheus turns it
// into a ratio), each channel either a value or out of range.
//
// Outputs never name a channel themselves: they walk MeterChannels and take
// the name their format needs from its row.

#include "live/livereading.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace kv::service {

enum class ChannelId { Rh, T1, T2, WetBulb, DewPoint };
constexpr int ChannelCount = 5;

struct ChannelInfo {
    ChannelId id;
    const char *key;         // JSON / MQTT state key and line-protocol field: "rh", "t1", ...
    const char *title;       // for people: "RH", "T1", "T2", "Wet bulb", "Dew point"
    bool temperature;        // °C (true) or relative humidity in % (false)
    const char *promChannel; // label value of kv3917_temperature_celsius; nullptr for RH
    const char *haDeviceClass; // Home Assistant: "temperature" or "humidity"
    const char *haUnit;      // Home Assistant unit_of_measurement: "°C" or "%"
};

// In the order of the desktop program's channel set.
extern const std::array<ChannelInfo, ChannelCount> MeterChannels;

// The meter's MAX/MIN/AVG mode as the display shows it.
enum class DisplayMode { Normal, Max, Min, Avg };
const char *DisplayModeKey(DisplayMode mode); // "normal", "max", "min", "avg"

// One reading in base units.
struct MeterReading {
    QDateTime time;       // local time with offset, millisecond resolution
    std::int64_t timeMs = 0; // the same instant, ms since the epoch; strictly increasing per meter
    // Per channel (index = ChannelId): the value, or nothing when out of range.
    std::array<std::optional<double>, ChannelCount> values{};
    std::array<bool, ChannelCount> outOfRange{};
    QString displayUnit;  // what the meter shows: "C", "F" or "K"
    QString thermocouple; // "K", "J", "E", "T", "N", "R", "S" (empty if not shown)
    bool hold = false;
    DisplayMode mode = DisplayMode::Normal;
    bool meterLogging = false; // the meter records into its own logger (REC)
};

// The display unit's text of a live reply's unit code: "C", "F", "K", or
// "raw" when the values arrive as sent (RH and T1 in °C, T2 in °F).
QString DisplayUnitText(std::uint8_t unitCode);

// A decoded live reading (values in the display unit) in base units, taken
// at `time`.  timeMs is made strictly greater than `previousTimeMs` (the
// meter's previous reading; the clock may step back or repeat a millisecond).
// Flagged channels are out of range; wet bulb and dew point are out of range
// too when RH or T1 is, since they are computed from both.
MeterReading ToMeterReading(const kv::LiveReading &live, const QDateTime &time, std::int64_t previousTimeMs = INT64_MIN);

// What identifies a meter and where it is reached.
struct MeterInfo {
    QString serial;   // the meter's serial-number text (the key of every output)
    QString port;     // device path, or "demo:N" for a simulated meter
    QString transport; // "usb", "serial" or "demo"
    QString firmware; // firmware version text when known
};

enum class MeterState { Connecting, Up, Down };

} // namespace kv::service

namespace kv::service {

// What the service knows of one meter at a moment: the status page, the JSON
// API, /metrics and the health check read this.
struct MeterStatus {
    MeterInfo info;
    MeterState state = MeterState::Connecting;
    std::optional<MeterReading> last; // the last good reading, if any
    std::int64_t lastReadingAgeMs = -1; // on the monotonic clock; -1 without a reading
    std::uint64_t polls = 0;         // live exchanges tried
    std::uint64_t pollFailures = 0;  // of them failed
    std::uint64_t reconnects = 0;    // times the meter came back after being down
};

// The service's state as its read-only outputs see it (main thread).
class StatusSource {
public:
    virtual ~StatusSource() = default;
    virtual QList<MeterStatus> meters() const = 0;
    // True while polling makes progress (the health check and the watchdog).
    virtual bool pollingProgresses() const = 0;
};

} // namespace kv::service

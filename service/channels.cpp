#include "service/channels.h"

#include <QTimeZone>

#include <cmath>

namespace kv::service {

const std::array<ChannelInfo, ChannelCount> MeterChannels{{
    {ChannelId::Rh, "rh", "RH", false, nullptr, "humidity", "%"},
    {ChannelId::T1, "t1", "T1", true, "t1", "temperature", "°C"},
    {ChannelId::T2, "t2", "T2", true, "t2", "temperature", "°C"},
    {ChannelId::WetBulb, "wet_bulb", "Wet bulb", true, "wet_bulb", "temperature", "°C"},
    {ChannelId::DewPoint, "dew_point", "Dew point", true, "dew_point", "temperature", "°C"},
}};

const char *DisplayModeKey(DisplayMode mode)
{
    switch (mode) {
    case DisplayMode::Max:
        return "max";
    case DisplayMode::Min:
        return "min";
    case DisplayMode::Avg:
        return "avg";
    case DisplayMode::Normal:
        break;
    }
    return "normal";
}

namespace {

// The decoder's unit conversions, undone (live/decoder.cpp).
constexpr double FahrenheitFactor = 1.8;
constexpr double FahrenheitOffset = 32.0;
constexpr double KelvinOffset = 273.2;
// The meter resolves 0.1; two decimals drop the float noise of converting
// there and back without losing anything the meter said.
constexpr double Hundredths = 100.0;

double Rounded(double value) { return std::round(value * Hundredths) / Hundredths; }

double FromFahrenheit(double f) { return (f - FahrenheitOffset) / FahrenheitFactor; }

// A temperature of the display in °C; T2 of a raw reply is in °F.
double ToCelsius(std::uint8_t unitCode, double value, bool rawFahrenheit)
{
    switch (unitCode) {
    case UnitFahrenheit:
        return FromFahrenheit(value);
    case UnitKelvin:
        return value - KelvinOffset;
    case UnitCelsius:
        return value;
    default:
        return rawFahrenheit ? FromFahrenheit(value) : value;
    }
}

// The thermocouple type the display shows, as data.
struct TypeMark {
    bool DisplayState::*mark;
    const char *type;
};
constexpr std::array<TypeMark, 7> TypeMarks{{
    {&DisplayState::TypeKMark, "K"},
    {&DisplayState::TypeJMark, "J"},
    {&DisplayState::TypeEMark, "E"},
    {&DisplayState::TypeTMark, "T"},
    {&DisplayState::TypeNMark, "N"},
    {&DisplayState::TypeRMark, "R"},
    {&DisplayState::TypeSMark, "S"},
}};

} // namespace

QString DisplayUnitText(std::uint8_t unitCode)
{
    switch (unitCode) {
    case UnitFahrenheit:
        return QStringLiteral("F");
    case UnitCelsius:
        return QStringLiteral("C");
    case UnitKelvin:
        return QStringLiteral("K");
    default:
        return QStringLiteral("raw");
    }
}

MeterReading ToMeterReading(const LiveReading &live, const QDateTime &time, std::int64_t previousTimeMs)
{
    MeterReading r;
    r.time = time;
    r.timeMs = time.toMSecsSinceEpoch();
    if (previousTimeMs != INT64_MIN && r.timeMs <= previousTimeMs) {
        r.timeMs = previousTimeMs + 1;
        r.time = QDateTime::fromMSecsSinceEpoch(r.timeMs, time.timeZone());
    }

    const std::uint8_t unit = live.UnitCode;
    const std::array<double, ChannelCount> values{
        live.Rh,
        ToCelsius(unit, live.T1, false),
        ToCelsius(unit, live.T2, true),
        ToCelsius(unit, live.WetBulb, false),
        ToCelsius(unit, live.DewPoint, false),
    };
    const bool derivedOut = live.rhFlagged() || live.t1Flagged();
    const std::array<bool, ChannelCount> out{live.rhFlagged(), live.t1Flagged(), live.t2Flagged(), derivedOut,
                                             derivedOut};
    for (int i = 0; i < ChannelCount; ++i) {
        const auto c = static_cast<std::size_t>(i);
        r.outOfRange[c] = out[c] || !std::isfinite(values[c]);
        if (!r.outOfRange[c])
            r.values[c] = Rounded(values[c]);
    }

    r.displayUnit = DisplayUnitText(unit);
    for (const TypeMark &t : TypeMarks)
        if (live.Display.*t.mark) {
            r.thermocouple = QString::fromLatin1(t.type);
            break;
        }
    r.hold = live.Display.HoldMark;
    r.mode = live.Display.MaxMark   ? DisplayMode::Max
             : live.Display.MinMark ? DisplayMode::Min
             : live.Display.AvgMark ? DisplayMode::Avg
                                    : DisplayMode::Normal;
    r.meterLogging = live.MeterLogging;
    return r;
}

} // namespace kv::service

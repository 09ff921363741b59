#include "live/psychro.h"

#include <array>
#include <cmath>

namespace kv {
namespace {

// Intermediate results are computed in extended precision and rounded to
// single precision at fixed steps; the last shown decimal depends on where
// those roundings happen, so they are kept exactly.
using Extended = long double;

inline float Single(Extended value) { return static_cast<float>(value); }

// Range limits of one thermocouple type.  The Fahrenheit high limits stay
// double: a single-precision reading of 2501.6 (2501.6001) then lies above
// the K limit while 1832.6 (1832.59998) lies below the J limit.
struct ThermocoupleLimits {
    float floorF;
    float lowF;
    double highF;
    float floorC;
    float lowC;
    float highC;
};

constexpr int ThermocoupleTypeCount = 7;
// Unit code that selects the Fahrenheit limits.
constexpr std::uint8_t FahrenheitUnitCode = 0;

// Rows by type code: K J E T N R S.
constexpr std::array<ThermocoupleLimits, ThermocoupleTypeCount> ThermocoupleTable{{
    {-340.0f, -328.0f, 2501.6, -220.0f, -200.0f, 1372.0f}, // K
    {-340.0f, -328.0f, 1832.6, -220.0f, -200.0f, 1000.0f}, // J
    {-340.0f, -328.0f, 1382.6, -220.0f, -200.0f, 750.0f},  // E
    {-340.0f, -328.0f, 752.4, -220.0f, -200.0f, 400.0f},   // T
    {-346.0f, -328.0f, 2372.4, -210.0f, -200.0f, 1300.0f}, // N
    {14.0f, 14.0f, 3215.1, -10.0f, -10.0f, 1768.0f},       // R
    {14.0f, 32.0f, 3215.1, -10.0f, 0.0f, 1768.0f},         // S
}};

template <typename High>
std::uint8_t Classify(float value, float floor, float low, High high)
{
    if (value < floor)
        return BelowFloor;
    if (value < low)
        return UnderRange;
    if (value > high)
        return OverRange;
    return InRange;
}

} // namespace

float WetBulbTemperature(double t, double rh)
{
    const Extended te = t;
    const Extended rhe = rh;

    float s = Single(std::sqrt(rhe + 8.313659L));
    s = Single(0.151977L * s);
    const float a = Single(std::atan(static_cast<Extended>(s)) * te);

    float p = Single(std::pow(rhe, 1.5L));
    p = Single(0.00391838L * p);
    const float q = Single(std::atan(0.023101L * rhe));
    p = Single(static_cast<Extended>(p) * q);

    const Extended w = std::atan(te + rhe) + a - std::atan(rhe - 1.6763331L) + p - 4.686035L;
    return Single(w);
}

float DewPointTemperature(double t, double rh)
{
    const Extended te = t;
    const Extended x = 1.0L - 0.01L * static_cast<Extended>(rh);

    float d = Single(te - (0.114L * te + 14.55L) * x);
    const float y = Single((0.007L * te + 2.5L) * x);
    const Extended y3 = static_cast<Extended>(y) * y * y;
    d = Single(static_cast<Extended>(d) - Single(y3));

    const float z = Single(0.117L * te + 15.9L);
    const float k = Single(std::pow(x, 14.0L));
    return Single(static_cast<Extended>(d) - static_cast<Extended>(z) * k);
}

std::uint8_t ClassifyThermocoupleValue(std::uint8_t unitCode, std::uint8_t type, float value)
{
    if (type >= ThermocoupleTypeCount)
        return InRange;
    const ThermocoupleLimits &row = ThermocoupleTable[type];
    if (unitCode == FahrenheitUnitCode)
        return Classify(value, row.floorF, row.lowF, row.highF);
    return Classify(value, row.floorC, row.lowC, row.highC);
}

} // namespace kv

#pragma once
// Wet-bulb and dew-point temperatures from air temperature and relative
// humidity, and the range classes of thermocouple values.

#include <cstdint>

namespace kv {

// t in degrees Celsius, rh in percent; results in degrees Celsius.  Inputs
// are not checked: callers decide when the values are meaningful.
float WetBulbTemperature(double t, double rh);
float DewPointTemperature(double t, double rh);

enum ThermocoupleClass : std::uint8_t {
    InRange = 0,
    OverRange = 1,
    UnderRange = 2,
    BelowFloor = 3,
};

// unitCode 0 selects the Fahrenheit limits, any other the Celsius limits;
// type 0..6 is K J E T N R S, any other type is always in range.
std::uint8_t ClassifyThermocoupleValue(std::uint8_t unitCode, std::uint8_t type, float value);

} // namespace kv

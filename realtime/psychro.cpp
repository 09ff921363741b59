#include "realtime/psychro.h"
// TEMPORARY stub: replaced by the real computations.
namespace kv {
float WetBulbTemperature(double, double) { return 0; }
float DewPointTemperature(double, double) { return 0; }
std::uint8_t ClassifyThermocoupleValue(std::uint8_t, std::uint8_t, float) { return 0; }
} // namespace kv

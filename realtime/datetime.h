#pragma once
// Date-times as doubles: days since 30 December 1899, the fraction being the
// time of day (1 s = 1/86400).  Every graph point's X value is one.

#include <QDateTime>

namespace kv {

constexpr double SecondsPerDay = 86400.0;
constexpr double OneSecond = 1.0 / SecondsPerDay;

// Local date and time to a date-time value and back (millisecond precision).
double ToDateTime(const QDateTime &localTime);
QDateTime FromDateTime(double dateTime);
double NowDateTime();

} // namespace kv

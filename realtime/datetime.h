#pragma once
// Date-times as doubles: days since 30 December 1899, the fraction being the
// time of day (1 s = 1/86400).  Every graph point's X value is one.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kv {

constexpr double SecondsPerDay = 86400.0;
constexpr double OneSecond = 1.0 / SecondsPerDay;
// Date-times beyond this many days from the epoch (about 270000 years) have
// no date: conversions give an invalid date and time and empty texts.
constexpr double MaxDateTimeDays = 1e8;

// Local date and time to a date-time value and back (millisecond precision).
double ToDateTime(const QDateTime &localTime);
QDateTime FromDateTime(double dateTime);
double NowDateTime();
// The date and the time of day of a date-time, without building a QDateTime
// (no time zone work: cheap enough for one call per exported line).  Safe
// for any double: a non-finite or far-off value gives invalid ones.
void SplitDateTime(double dateTime, QDate *date, QTime *time);

// The user's formats for dates and times in texts and files: the locale's
// short date format with a four-digit year, and its long time format without
// the time zone (a date-time names a local time of the meter's recording).
QString ShortDateFormat(const QLocale &locale = QLocale());
QString LongTimeFormat(const QLocale &locale = QLocale());

// A date-time as text in those formats: date, time, or date, space, time.
QString DateText(double dateTime);
QString TimeText(double dateTime);
QString DateTimeText(double dateTime);

} // namespace kv

#pragma once
// A logger image's samples as CSV text, as `kv3917-cli export FILE.REC`
// writes them and the service archives them:
//   set,time,rh,t1,t2,wet_bulb,dew_point,unit
//   1,2024-05-02T09:15:00,45.2,23.5,24.1,16.0,11.0,C
// Times are the meter's local time, ISO 8601 to the second; values one
// decimal with a point whatever the locale, OL / -OL for the range markers,
// empty for no value; the unit C, F or K (empty for another code).

#include "logger/loggerimage.h"

#include <QByteArray>
#include <QString>

namespace kv {

extern const char *const LoggerExportHeader;   // without the line break

// A sample value as CSV text.
QString LoggerCsvValue(float value);
// A date-time as local ISO 8601 to the nearest second.
QString LoggerIsoSeconds(double dateTime);
// Appends the lines of data set `setIndex` (0-based), each with its line
// break, numbered setIndex + 1.
void AppendLoggerSetCsv(QByteArray &out, const LoggerParse &parse, int setIndex);
// The header line and the lines of that one data set: the file
// `kv3917-cli export FILE.REC --set N` writes.
QByteArray LoggerSetCsvFile(const LoggerParse &parse, int setIndex);

} // namespace kv

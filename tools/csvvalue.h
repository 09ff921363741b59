#pragma once
// A sample value as the command-line tool writes it in CSV: one decimal with
// a point; the range markers as OL and -OL; no value (9999) as an empty field.

#include "logger/loggercsv.h"

inline QString CsvValue(float value) { return kv::LoggerCsvValue(value); }

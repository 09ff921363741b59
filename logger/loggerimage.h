#pragma once
// The meter's logger memory image and its data sets.
//
// Layout (multi-byte numbers big-endian):
//   8..9    number of data sets (at most 4000)
//   10..12  size of the used memory minus 1
//   2816..  the data sets, each right after the previous one:
//     h+0..1   A5 5A (not checked)
//     h+3..8   start: year-2000, month, day, hour, minute, second in BCD
//     h+9..10  interval: minutes, seconds (plain numbers)
//     h+11     unit code (high nibble: 0 F, 1 C, 2 K), thermocouple type (low)
//     h+12..13 N, the number of samples
//     h+14..16 RH, T1, T2 offsets (signed tenths)
//     h+18..   N samples of four signed words in tenths: RH (%), T1 (C),
//              T2 (F), unused
//     then 5A A5 (not checked); the next data set starts after them.
//
// Parsing never reads beyond the image: a data set whose header or samples
// would lie beyond its end ends the list there (the complete data sets before
// it are kept); an image without one complete data set is refused.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace kv {

constexpr int LoggerCountOffset = 8;
constexpr int LoggerFirstSetOffset = 0x0B00;
constexpr int LoggerSetHeaderSize = 18;
constexpr int LoggerSetOverhead = 20;        // header plus the two end marker bytes
constexpr int LoggerSampleSize = 8;
constexpr int LoggerMaxDataSets = 4000;
constexpr int LoggerMaxImageSize = 0x40000;  // the meter's whole memory
constexpr int LoggerValuesPerSample = 5;     // RH, T1, T2, wet bulb, dew point

// Results of ParseLoggerImage (the download reports them as error codes).
enum LoggerParseCode : int {
    LoggerParseOk = 0,
    LoggerParseCountOutOfRange = 2,  // more than 4000 data sets
    LoggerParseNoDataSet = 6,        // a count of 0
    LoggerParseDamaged = 7,          // not even the first data set lies within the image
};

struct LoggerDataSet {
    double start = 0;        // date-time (days since 30 December 1899)
    int interval = 2;        // seconds, 1..3660
    int count = 0;           // samples
    std::uint8_t unit = 1;   // 0 F, 1 C, 2 K, other codes possible
    int couple = 0;          // thermocouple type code 0..15
    int rhOffset = 0;        // signed raw offsets
    int t1Offset = 0;
    int t2Offset = 0;
    int headerOffset = 0;    // h
    int endOffset = 0;       // h + 19 + 8 N
    qsizetype firstEntry = 0; // index of its first value in LoggerSeries
};

// All samples of all data sets, five entries per sample (RH, T1, T2, wet
// bulb, dew point), each entry with the sample's time.
struct LoggerSeries {
    std::vector<float> values;
    std::vector<double> times;
};

struct LoggerParse {
    int code = LoggerParseOk;
    int declaredCount = 0;   // the count the image names
    std::vector<LoggerDataSet> dataSets;
    LoggerSeries series;
    // True when the image ends inside a data set the count names: only the
    // complete data sets before it are listed.
    bool truncated() const { return code == LoggerParseOk && int(dataSets.size()) < declaredCount; }
};

// Splits `image` into data sets and their samples.  `now` (a date-time)
// stands in for start fields that are not valid BCD: each such field is
// taken from `now` (the hour as well), and a start that is not a valid date
// and time becomes `now` itself.  T2 is stored in degrees F and is classified
// against the thermocouple's Fahrenheit limits before it is converted.
LoggerParse ParseLoggerImage(const QByteArray &image, double now);

// The start of a data set from its six BCD bytes (fallbacks from `now`).
double LoggerStartTime(const std::uint8_t *bcd, double now);
// Interval in seconds from the two interval bytes.
int LoggerInterval(std::uint8_t minutes, std::uint8_t seconds);

// Texts of a data set's row in the data set list (columns 0..9); `index`
// is 0-based.  The unit cell is empty for a code other than 0, 1, 2.
QStringList DataSetRowTexts(const LoggerDataSet &set, int index, const QLocale &locale = QLocale());
// "C", "F", "K" or empty.
QString LoggerUnitText(std::uint8_t unit);
// The type letter, "K" for codes above 6.
QString LoggerCoupleText(int couple);
// The offsets as shown: RH in tenths of %RH; T1 and T2 in tenths of a degree
// F for a Fahrenheit data set, else converted to a degree C span.
double LoggerRhOffset(const LoggerDataSet &set);
double LoggerTemperatureOffset(const LoggerDataSet &set, int rawOffset);

} // namespace kv

#pragma once
// The data of the meter's setup and service commands, without any I/O: the
// reports the computer sends ('t' clock, 's' defaults), the checks of what a
// user types (recording interval, whole numbers, access code), the cells a
// test data set is written with, and the decoding of the replies to 'X'
// (information), 'Y'/'Z' (calibration coefficients) and 'v' (sensor module).
//
// Numbers with decimals are formatted with the locale passed in, so the
// window shows the user's decimal separator and the command-line tool a point.

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kv {

constexpr int SetupBlockLength = 32;       // setup exchange buffer, reports, short replies
constexpr int InformationReplyLength = 64; // reply to 'X'
constexpr int SerialTextLength = 32;       // ReadSerialText buffer

using SetupBlock = std::array<std::uint8_t, SetupBlockLength>;
using InformationReply = std::array<std::uint8_t, InformationReplyLength>;

// Memory map shared by the information reply, the default report and the
// logger memory.
namespace setupcell {
constexpr int Bluetooth = 2;
constexpr int DataSetCount = 8;     // 2 bytes
constexpr int MemoryPointer = 10;   // 3 bytes: last used byte
constexpr int DataSetStart = 0x0B00; // first data set header
constexpr int MemoryEnd = 258815;    // last byte a data set may use
} // namespace setupcell

// Two decimal digits in the two nibbles (the value modulo 100).
std::uint8_t ToBcd(int value);

// The clock report sent with 't', written into `block`: bytes 0..4 seconds,
// minutes, hours, day, month, byte 6 year modulo 100 (all BCD), byte 7 zero,
// bytes 8..10 "rtc".  Bytes 5 and 11..31 keep what the buffer holds.
void BuildClockReport(SetupBlock &block, const QDateTime &now);

// The default report sent with 's', written into `block`; the positions the
// meter takes as they are (16, 17, 19, 20, 26..29, 31) keep the buffer's bytes.
void BuildDefaultReport(SetupBlock &block);

// Recording interval parameter bytes (frame bytes 2 and 3), BCD.
struct IntervalBytes {
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
};
// The interval typed as minutes and seconds: both whole numbers 0..60, not
// both 0.  nullopt: "Invalid Input".
std::optional<IntervalBytes> IntervalParameters(const QString &minutesText, const QString &secondsText);
// "MM:SS" as the command-line tool takes it; the same rules.
std::optional<IntervalBytes> ParseIntervalText(const QString &text);

// A whole number as the window's conversions accept it: an optional sign and
// decimal digits.  nullopt: NotAnIntegerMessage(text).
std::optional<long long> ParseWholeNumber(const QString &text);
QString NotAnIntegerMessage(const QString &text);

// The access code of the memory write, compared as typed.
bool AccessCodeMatches(const QString &text);

constexpr int MaxCellAddress = 0xFFFFFF; // addresses are 24 bits

// ---- test data set ("QUICK REC") -------------------------------------------

struct CellWrite {
    int address = 0;
    std::uint8_t value = 0;
};
// Limits of the test data set: it must fit the logger memory from 0x0B00,
// and its interval must be one a data set can carry.
constexpr int QuickRecMinInterval = 1;
constexpr int QuickRecMaxInterval = 3660;
constexpr int QuickRecMaxRecords = (setupcell::MemoryEnd - (setupcell::DataSetStart + 19)) / 8;
// The cells of one data set of `records` empty records at 0x0B00, in the
// order they are written: count cells, header (start time in BCD, year as
// year - 2000), end marker, pointer cells.  Empty when a limit is broken.
std::vector<CellWrite> QuickRecCells(const QDateTime &start, int intervalSeconds, int records);

// ---- information reply ('X') --------------------------------------------------

struct MeterInformation {
    QString firmwareVersion; // "1.23"
    QString bluetooth;       // "ON" / "OFF"
    QString thermoType;      // "K".."S", empty for an unknown code
    QString unit;            // "C" / "F"
    QString interval;        // "2:5"
    QString rhOffset, t1Offset, t2Offset;
    QString alarm, high, low;
    QString sleepTime;       // "30 minutes", empty for an unknown code
    QString meterTime;       // "12/31/2009   23:59:58"
    QString dataSets;
    QString memoryAvailable;
    int dataSetCount = 0;
    int memoryPointer = 0;
};

MeterInformation DecodeInformation(const InformationReply &reply, const QLocale &locale);
// (258815 - pointer) / 8, truncated towards zero.
int MemoryAvailable(int memoryPointer);
// The serial-number text of ReadSerialText: up to the first zero byte.
QString SerialTextFromBuffer(const std::uint8_t *buffer, int length);

// One "name,value" pair per field, in the window's order, with the serial
// text after the firmware version.
std::vector<std::pair<QString, QString>> InformationFields(const MeterInformation &info, const QString &serialText);

// ---- calibration coefficients ('Y', 'Z') --------------------------------------

// Value k of a coefficient reply: three bytes from 3k, least significant
// first, as the upper 24 bits of a single-precision number.
float CoefficientValue(const SetupBlock &reply, int k);
// Fixed notation, 8 decimals, rounded to 10 significant digits.
QString CoefficientText(float value, const QLocale &locale);

struct CalibrationCoefficients {
    QString t2Gain;      // 'Y' value 2
    QString t2ExtOffset; // 'Y' value 6
    QString t2CjcOffset; // 'Z' value 2
};
CalibrationCoefficients DecodeCalibration(const SetupBlock &first, const SetupBlock &second,
                                          const QLocale &locale);

// ---- sensor module ('v') -------------------------------------------------------

struct SensorModuleData {
    QString firmwareVersion;
    QString hardwareVersion;
    QString productId; // "0x120A"
    QString modelName;
    QString temperatureRaw;
    QString humidityRaw;
    QString calTLo, calTHi, calRhLo, calRhHi; // value x 0.01, one decimal
};
SensorModuleData DecodeSensorModule(const SetupBlock &reply, const QLocale &locale);

} // namespace kv

#include "setup/setupreplies.h"

#include <cmath>
#include <cstring>

namespace kv {
namespace {

constexpr char AccessCode[] = "8737";
constexpr int IntervalPartMax = 60;

// Default report: position and value of every byte the report sets.
struct ReportByte {
    int at;
    std::uint8_t value;
};
constexpr ReportByte DefaultReport[] = {
    {0, 'A'}, {1, 'L'}, {2, 'L'},       // tag
    {3, 0},                             // alarm off
    {4, 0x00}, {5, 0xD4},               // alarm high 212
    {6, 0xFF}, {7, 0xFC},               // alarm low -4
    {8, 0}, {9, 0},                     // no data sets
    {10, 0x00}, {11, 0x0A}, {12, 0xFF}, // memory pointer 2815
    {13, 0}, {14, 2},                   // interval 0:02
    {15, 0x14},
    {18, 0},                            // thermocouple K
    {21, 0},
    {22, 0}, {23, 0}, {24, 0},          // offsets
    {25, 0},
    {30, 2},                            // sleep after 30 minutes
};

// Test data set layout.
constexpr std::uint8_t StartMarker1 = 0xA5, StartMarker2 = 0x5A;
constexpr std::uint8_t EndMarker1 = 0x5A, EndMarker2 = 0xA5;
constexpr std::uint8_t QuickRecTag = 0x14;   // header byte 2
constexpr std::uint8_t QuickRecUnitType = 8; // unit nibble 0 (F), type nibble 8
constexpr int HeaderLength = 18;
constexpr int RecordLength = 8;

// Information reply positions.
namespace info {
constexpr int Alarm = 3;
constexpr int AlarmHigh = 4;
constexpr int AlarmLow = 6;
constexpr int IntervalMinutes = 13;
constexpr int IntervalSeconds = 14;
constexpr int UnitFlags = 16;
constexpr std::uint8_t UnitCelsiusBit = 0x40;
constexpr int ThermoType = 18;
constexpr int RhOffset = 22;
constexpr int T1Offset = 23;
constexpr int T2Offset = 24;
constexpr int SleepTime = 30;
constexpr int Firmware = 31;
constexpr int ClockSeconds = 40; // 40..46: s, min, h, day, month, -, year
} // namespace info

const char *const ThermoTypeNames[] = {"K", "J", "E", "T", "N", "R", "S"};
const char *const SleepTimeNames[] = {"OFF", "10 minutes", "30 minutes", "1 hour", "2 hours", "4 hours", "8 hours"};

constexpr int CoefficientSignificantDigits = 10;
constexpr int CoefficientDecimals = 8;

int U16(const std::uint8_t *b, int at) { return (b[at] << 8) | b[at + 1]; }
int S16(const std::uint8_t *b, int at) { return std::int16_t(std::uint16_t(U16(b, at))); }

QString Hex2(std::uint8_t b) { return QStringLiteral("%1").arg(uint(b), 2, 16, QLatin1Char('0')).toUpper(); }

QString OnOff(std::uint8_t b) { return b == 0 ? QStringLiteral("OFF") : QStringLiteral("ON"); }

QString Fixed(double value, int decimals, const QLocale &locale)
{
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'f', decimals);
}

QString Latin1Text(const std::uint8_t *bytes, int length)
{
    int n = 0;
    while (n < length && bytes[n] != 0)
        ++n;
    return QString::fromLatin1(reinterpret_cast<const char *>(bytes), n);
}

} // namespace

std::uint8_t ToBcd(int value)
{
    value = ((value % 100) + 100) % 100;
    return std::uint8_t(((value / 10) << 4) | (value % 10));
}

void BuildClockReport(SetupBlock &block, const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    block[0] = ToBcd(t.second());
    block[1] = ToBcd(t.minute());
    block[2] = ToBcd(t.hour());
    block[3] = ToBcd(d.day());
    block[4] = ToBcd(d.month());
    block[6] = ToBcd(d.year() % 100);
    block[7] = 0;
    block[8] = 'r';
    block[9] = 't';
    block[10] = 'c';
}

void BuildDefaultReport(SetupBlock &block)
{
    for (const ReportByte &b : DefaultReport)
        block[std::size_t(b.at)] = b.value;
}

std::optional<long long> ParseWholeNumber(const QString &text)
{
    int i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    if (i == text.size())
        return std::nullopt;
    for (int k = i; k < text.size(); ++k)
        if (text[k] < QLatin1Char('0') || text[k] > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const long long v = text.toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return v;
}

QString NotAnIntegerMessage(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

bool AccessCodeMatches(const QString &text) { return text == QLatin1String(AccessCode); }

std::optional<IntervalBytes> IntervalParameters(const QString &minutesText, const QString &secondsText)
{
    const std::optional<long long> minutes = ParseWholeNumber(minutesText);
    const std::optional<long long> seconds = ParseWholeNumber(secondsText);
    if (!minutes || !seconds)
        return std::nullopt;
    const auto inRange = [](long long v) { return v >= 0 && v <= IntervalPartMax; };
    if (!inRange(*minutes) || !inRange(*seconds) || (*minutes == 0 && *seconds == 0))
        return std::nullopt;
    return IntervalBytes{ToBcd(int(*minutes)), ToBcd(int(*seconds))};
}

std::optional<IntervalBytes> ParseIntervalText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2 || parts[0].size() > 2 || parts[1].size() > 2)
        return std::nullopt;
    return IntervalParameters(parts[0], parts[1]);
}

std::vector<CellWrite> QuickRecCells(const QDateTime &start, int intervalSeconds, int records)
{
    if (intervalSeconds < QuickRecMinInterval || intervalSeconds > QuickRecMaxInterval || records < 0
        || records > QuickRecMaxRecords)
        return {};
    const QDate d = start.date();
    const QTime t = start.time();
    const int h = setupcell::DataSetStart;
    const int end = h + HeaderLength + RecordLength * records + 1; // the last marker byte
    return {
        {setupcell::DataSetCount, 0},
        {setupcell::DataSetCount + 1, 1},
        {h + 0, StartMarker1},
        {h + 1, StartMarker2},
        {h + 2, QuickRecTag},
        {h + 3, ToBcd(d.year() - 2000)},
        {h + 4, ToBcd(d.month())},
        {h + 5, ToBcd(d.day())},
        {h + 6, ToBcd(t.hour())},
        {h + 7, ToBcd(t.minute())},
        {h + 8, ToBcd(t.second())},
        {h + 9, std::uint8_t(intervalSeconds / 60)},
        {h + 10, std::uint8_t(intervalSeconds % 60)},
        {h + 11, QuickRecUnitType},
        {h + 12, std::uint8_t(records >> 8)},
        {h + 13, std::uint8_t(records & 0xFF)},
        {h + 14, 0},
        {h + 15, 0},
        {h + 16, 0},
        {h + 17, 0},
        {end - 1, EndMarker1},
        {end, EndMarker2},
        {setupcell::MemoryPointer, std::uint8_t((end >> 16) & 0xFF)},
        {setupcell::MemoryPointer + 1, std::uint8_t((end >> 8) & 0xFF)},
        {setupcell::MemoryPointer + 2, std::uint8_t(end & 0xFF)},
    };
}

int MemoryAvailable(int memoryPointer) { return (setupcell::MemoryEnd - memoryPointer) / 8; }

MeterInformation DecodeInformation(const InformationReply &reply, const QLocale &locale)
{
    const std::uint8_t *r = reply.data();
    MeterInformation out;
    out.bluetooth = OnOff(r[setupcell::Bluetooth]);
    out.alarm = OnOff(r[info::Alarm]);
    out.high = QString::number(S16(r, info::AlarmHigh));
    out.low = QString::number(S16(r, info::AlarmLow));
    out.dataSetCount = U16(r, setupcell::DataSetCount);
    out.dataSets = QString::number(out.dataSetCount);
    out.memoryPointer = (r[setupcell::MemoryPointer] << 16) | U16(r, setupcell::MemoryPointer + 1);
    out.memoryAvailable = QString::number(MemoryAvailable(out.memoryPointer));
    out.interval = QStringLiteral("%1:%2").arg(r[info::IntervalMinutes]).arg(r[info::IntervalSeconds]);
    out.unit = (r[info::UnitFlags] & info::UnitCelsiusBit) ? QStringLiteral("C") : QStringLiteral("F");
    if (r[info::ThermoType] < std::size(ThermoTypeNames))
        out.thermoType = QLatin1String(ThermoTypeNames[r[info::ThermoType]]);
    out.rhOffset = Fixed(r[info::RhOffset] * 0.1, 1, locale);
    out.t1Offset = Fixed(r[info::T1Offset] * 0.1, 1, locale);
    out.t2Offset = Fixed(r[info::T2Offset] * 0.1, 1, locale);
    if (r[info::SleepTime] < std::size(SleepTimeNames))
        out.sleepTime = QLatin1String(SleepTimeNames[r[info::SleepTime]]);
    out.firmwareVersion = Fixed(r[info::Firmware] * 0.01, 2, locale);
    const std::uint8_t *c = r + info::ClockSeconds;
    out.meterTime = QStringLiteral("%1/%2/20%3   %4:%5:%6")
                        .arg(Hex2(c[4]), Hex2(c[3]), Hex2(c[6]), Hex2(c[2]), Hex2(c[1]), Hex2(c[0]));
    return out;
}

QString SerialTextFromBuffer(const std::uint8_t *buffer, int length) { return Latin1Text(buffer, length); }

std::vector<std::pair<QString, QString>> InformationFields(const MeterInformation &info, const QString &serialText)
{
    return {
        {QStringLiteral("firmware_version"), info.firmwareVersion},
        {QStringLiteral("sn"), serialText},
        {QStringLiteral("bluetooth"), info.bluetooth},
        {QStringLiteral("thermo_type"), info.thermoType},
        {QStringLiteral("unit"), info.unit},
        {QStringLiteral("recording_interval"), info.interval},
        {QStringLiteral("rh_offset"), info.rhOffset},
        {QStringLiteral("t1_offset"), info.t1Offset},
        {QStringLiteral("t2_offset"), info.t2Offset},
        {QStringLiteral("alarm"), info.alarm},
        {QStringLiteral("hi"), info.high},
        {QStringLiteral("lo"), info.low},
        {QStringLiteral("time_to_off"), info.sleepTime},
        {QStringLiteral("meter_time"), info.meterTime},
        {QStringLiteral("data_sets"), info.dataSets},
        {QStringLiteral("memory_available"), info.memoryAvailable},
    };
}

float CoefficientValue(const SetupBlock &reply, int k)
{
    const std::size_t at = std::size_t(3 * k);
    const std::uint32_t bits = (std::uint32_t(reply[at + 2]) << 24) | (std::uint32_t(reply[at + 1]) << 16)
                             | (std::uint32_t(reply[at]) << 8);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QString CoefficientText(float value, const QLocale &locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    // Rounded to the significant digits first, then written with fixed decimals.
    const double rounded = QString::number(double(value), 'g', CoefficientSignificantDigits).toDouble();
    if (std::fabs(rounded) >= std::pow(10.0, CoefficientSignificantDigits)) {
        QLocale l = locale;
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l.toString(rounded, 'E', CoefficientSignificantDigits - 1);
    }
    return Fixed(rounded, CoefficientDecimals, locale);
}

CalibrationCoefficients DecodeCalibration(const SetupBlock &first, const SetupBlock &second, const QLocale &locale)
{
    return {CoefficientText(CoefficientValue(first, 2), locale), CoefficientText(CoefficientValue(first, 6), locale),
            CoefficientText(CoefficientValue(second, 2), locale)};
}

SensorModuleData DecodeSensorModule(const SetupBlock &reply, const QLocale &locale)
{
    const std::uint8_t *r = reply.data();
    SensorModuleData out;
    out.firmwareVersion = Latin1Text(r, 5);
    out.hardwareVersion = Latin1Text(r + 5, 5);
    out.productId = QStringLiteral("0x") + Hex2(r[10]) + Hex2(r[11]);
    out.modelName = Latin1Text(r + 12, 4);
    out.temperatureRaw = QString::number(U16(r, 16));
    out.humidityRaw = QString::number(U16(r, 18));
    out.calTLo = Fixed(U16(r, 20) * 0.01, 1, locale);
    out.calTHi = Fixed(U16(r, 22) * 0.01, 1, locale);
    out.calRhLo = Fixed(U16(r, 24) * 0.01, 1, locale);
    out.calRhHi = Fixed(U16(r, 26) * 0.01, 1, locale);
    return out;
}

} // namespace kv

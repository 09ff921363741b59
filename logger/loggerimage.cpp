#include "logger/loggerimage.h"

#include "realtime/datetime.h"
#include "live/psychro.h"
#include "realtime/channels.h"

#include <QDate>
#include <QTime>

#include <array>
#include <tuple>
#include <utility>

namespace kv {
namespace {

constexpr int CountOffset = LoggerCountOffset;
constexpr int StartOffset = 3;
constexpr int IntervalOffset = 9;
constexpr int UnitOffset = 11;
constexpr int SampleCountOffset = 12;
constexpr int OffsetsOffset = 14;
constexpr int EndMarkerDistance = 19;   // endOffset - h - 8 N

constexpr int MaxIntervalPart = 60;
constexpr int FallbackIntervalSeconds = 2;

// Valid ranges of the stored readings, in tenths.
constexpr int RhMin10 = 0;
constexpr int RhMax10 = 1000;
constexpr int T1Min10 = -250;
constexpr int T1Max10 = 650;

constexpr std::uint8_t UnitF = 0;
constexpr std::uint8_t UnitK = 2;
constexpr double KelvinOffset = 273.15;

const std::array<const char *, 7> CoupleLetters = {"K", "J", "E", "T", "N", "R", "S"};

int U16(const std::uint8_t *p) { return (p[0] << 8) | p[1]; }
int S16(const std::uint8_t *p) { return std::int16_t(std::uint16_t(U16(p))); }

// A BCD byte as a number, or -1 when a digit is above 9.
int FromBcd(std::uint8_t b)
{
    const int high = b >> 4;
    const int low = b & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

double ToFahrenheit(double c) { return c * 1.8 + 32.0; }

// Wet bulb and dew point by (T1, RH) in tenths.  A recording changes by a
// few tenths between samples, so most pairs repeat; the direct-mapped cache
// saves the costly extended-precision functions for them.
class PsychroCache {
public:
    PsychroCache() : m_keys(Size, NoKey), m_values(Size) {}

    std::pair<float, float> get(int t1_10, int rh10)
    {
        const std::uint32_t key = std::uint32_t(t1_10 - T1Min10) * 1024u + std::uint32_t(rh10);
        const std::size_t slot = (key * 2654435761u >> 20) & (Size - 1);
        if (m_keys[slot] != key) {
            m_keys[slot] = key;
            m_values[slot] = {WetBulbTemperature(t1_10 / 10.0, rh10 / 10.0),
                              DewPointTemperature(t1_10 / 10.0, rh10 / 10.0)};
        }
        return m_values[slot];
    }

private:
    static constexpr std::size_t Size = 4096;
    static constexpr std::uint32_t NoKey = 0xFFFFFFFFu;
    std::vector<std::uint32_t> m_keys;
    std::vector<std::pair<float, float>> m_values;
};

} // namespace

double LoggerStartTime(const std::uint8_t *bcd, double now)
{
    QDate nowDate;
    QTime nowTime;
    SplitDateTime(now, &nowDate, &nowTime);
    const std::array<int, 6> fallback = {nowDate.year() - 2000, nowDate.month(), nowDate.day(),
                                         nowTime.hour(),        nowTime.minute(), nowTime.second()};
    std::array<int, 6> f{};
    for (int i = 0; i < 6; ++i) {
        const int v = FromBcd(bcd[i]);
        f[size_t(i)] = v < 0 ? fallback[size_t(i)] : v;
    }
    const int year = 2000 + f[0];
    if (!QDate::isValid(year, f[1], f[2]) || f[3] >= 24 || f[4] >= 60 || f[5] >= 60)
        return now;
    const double days = double(QDate(1899, 12, 30).daysTo(QDate(year, f[1], f[2])));
    return days + (f[3] * 3600 + f[4] * 60 + f[5]) / SecondsPerDay;
}

int LoggerInterval(std::uint8_t minutesByte, std::uint8_t secondsByte)
{
    int minutes = minutesByte > MaxIntervalPart ? 0 : minutesByte;
    int seconds = secondsByte > MaxIntervalPart ? FallbackIntervalSeconds : secondsByte;
    if (minutes == 0 && seconds == 0)
        seconds = FallbackIntervalSeconds;
    return minutes * 60 + seconds;
}

LoggerParse ParseLoggerImage(const QByteArray &image, double now)
{
    LoggerParse result;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(image.constData());
    const qsizetype size = image.size();
    if (size < CountOffset + 2) {
        result.code = LoggerParseDamaged;
        return result;
    }
    const int count = U16(bytes + CountOffset);
    result.declaredCount = count;
    if (count == 0) {
        result.code = LoggerParseNoDataSet;
        return result;
    }
    if (count > LoggerMaxDataSets) {
        result.code = LoggerParseCountOutOfRange;
        return result;
    }

    // Header pass: only data sets whose header and samples lie within the
    // image; the sample total is then bounded by the image size.
    qsizetype h = LoggerFirstSetOffset;
    qsizetype entries = 0;
    result.dataSets.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        if (h + LoggerSetHeaderSize > size)
            break;
        const std::uint8_t *p = bytes + h;
        const int n = U16(p + SampleCountOffset);
        if (h + LoggerSetHeaderSize + qsizetype(LoggerSampleSize) * n > size)
            break;
        LoggerDataSet set;
        set.start = LoggerStartTime(p + StartOffset, now);
        set.interval = LoggerInterval(p[IntervalOffset], p[IntervalOffset + 1]);
        set.count = n;
        set.unit = std::uint8_t(p[UnitOffset] >> 4);
        set.couple = p[UnitOffset] & 0x0F;
        set.rhOffset = std::int8_t(p[OffsetsOffset]);
        set.t1Offset = std::int8_t(p[OffsetsOffset + 1]);
        set.t2Offset = std::int8_t(p[OffsetsOffset + 2]);
        set.headerOffset = int(h);
        set.endOffset = int(h + EndMarkerDistance + qsizetype(LoggerSampleSize) * n);
        set.firstEntry = entries;
        entries += qsizetype(LoggerValuesPerSample) * n;
        result.dataSets.push_back(set);
        h = set.endOffset + 1;
    }
    if (result.dataSets.empty()) {
        result.code = LoggerParseDamaged;
        return result;
    }

    // Sample pass.
    LoggerSeries &series = result.series;
    series.values.resize(size_t(entries));
    series.times.resize(size_t(entries));
    PsychroCache psychro;
    float *value = series.values.data();
    double *time = series.times.data();
    for (const LoggerDataSet &set : result.dataSets) {
        const double step = set.interval / SecondsPerDay;
        const std::uint8_t *p = bytes + set.headerOffset + LoggerSetHeaderSize;
        for (int k = 0; k < set.count; ++k, p += LoggerSampleSize) {
            const double t = set.start + k * step;
            const int rh10 = S16(p);
            const int t1_10 = S16(p + 2);
            const int t2_10 = S16(p + 4);

            const bool rhValid = rh10 >= RhMin10 && rh10 <= RhMax10;
            const double rh = rh10 / 10.0;
            const float rhEntry = rhValid ? float(rh) : OverRangeValue;

            float t1Entry = OverRangeValue;
            float wetBulb = NoValue;
            float dewPoint = NoValue;
            if (t1_10 >= T1Min10 && t1_10 <= T1Max10) {
                const double t1 = t1_10 / 10.0;
                if (rhValid)
                    std::tie(wetBulb, dewPoint) = psychro.get(t1_10, rh10);
                if (set.unit == UnitF) {
                    t1Entry = float(ToFahrenheit(t1));
                    if (rhValid) {
                        wetBulb = float(ToFahrenheit(wetBulb));
                        dewPoint = float(ToFahrenheit(dewPoint));
                    }
                } else if (set.unit == UnitK) {
                    t1Entry = float(t1 + KelvinOffset);
                    if (rhValid) {
                        wetBulb = float(wetBulb + KelvinOffset);
                        dewPoint = float(dewPoint + KelvinOffset);
                    }
                } else {
                    t1Entry = float(t1);
                }
            }

            // The stored T2 is in degrees F, so the Fahrenheit limits apply.
            const float t2F = float(t2_10 / 10.0);
            float t2Entry = t2F;
            switch (ClassifyThermocoupleValue(UnitF, std::uint8_t(set.couple), t2F)) {
            case OverRange:
                t2Entry = OverRangeValue;
                break;
            case UnderRange:
            case BelowFloor:
                t2Entry = UnderRangeValue;
                break;
            default:
                if (set.unit != UnitF) {
                    double c = (double(t2F) - 32.0) * 5.0 / 9.0;
                    if (set.unit == UnitK)
                        c += KelvinOffset;
                    t2Entry = float(c);
                }
                break;
            }

            value[0] = rhEntry;
            value[1] = t1Entry;
            value[2] = t2Entry;
            value[3] = wetBulb;
            value[4] = dewPoint;
            for (int e = 0; e < LoggerValuesPerSample; ++e)
                time[e] = t;
            value += LoggerValuesPerSample;
            time += LoggerValuesPerSample;
        }
    }
    return result;
}

QString LoggerUnitText(std::uint8_t unit)
{
    switch (unit) {
    case 0:
        return QStringLiteral("F");
    case 1:
        return QStringLiteral("C");
    case 2:
        return QStringLiteral("K");
    default:
        return QString();
    }
}

QString LoggerCoupleText(int couple)
{
    return QLatin1String(couple >= 0 && couple < int(CoupleLetters.size()) ? CoupleLetters[size_t(couple)] : "K");
}

double LoggerRhOffset(const LoggerDataSet &set) { return set.rhOffset * 0.1; }

double LoggerTemperatureOffset(const LoggerDataSet &set, int rawOffset)
{
    return set.unit == UnitF ? rawOffset * 0.1 : rawOffset * 5.0 / 90.0;
}

QStringList DataSetRowTexts(const LoggerDataSet &set, int index, const QLocale &locale)
{
    QDate date;
    QTime time;
    SplitDateTime(set.start, &date, &time);
    const auto twoDigits = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    const auto offset = [&locale](double v) { return locale.toString(v, 'f', 1); };
    return {QString::number(index + 1),
            locale.toString(date, ShortDateFormat(locale)),
            time.toString(QStringLiteral("HH:mm:ss")),
            twoDigits(set.interval / 60) + QLatin1Char(':') + twoDigits(set.interval % 60),
            QString::number(set.count),
            LoggerUnitText(set.unit),
            LoggerCoupleText(set.couple),
            offset(LoggerRhOffset(set)),
            offset(LoggerTemperatureOffset(set, set.t1Offset)),
            offset(LoggerTemperatureOffset(set, set.t2Offset))};
}

} // namespace kv

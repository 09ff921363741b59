#include "sim/simmeter.h"

#include "link/commands.h"
#include "live/glyphtables.h"
#include "live/livereading.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace kv {

struct SimMeter::Shown {
    int rh10 = 0;
    int t1C10 = 0;
    int t2F10 = 0;
    bool dashes = false; // RECALL with nothing stored
};

namespace {

constexpr double Pi = 3.14159265358979323846;

// Commands the meter answers on its serial side ('n' only inside a download).
constexpr char SerialCommands[] = "AKPpnqQ";

// Reply kinds, for the fault transforms.
enum ReplyKind { KindNone, KindLive, KindIdent, KindAck2, KindAck28, KindAck30, KindPage, KindEcho, KindInfo };

// Bytes by which a receiver recognises each reply kind.
struct Marks {
    int count;
    int at[3];
};
constexpr Marks MarksOf[] = {
    {0, {}},            // none
    {2, {0, 63}},       // live
    {3, {23, 24, 25}},  // identification "522"
    {2, {2, 3}},        // "OK" at 2
    {2, {28, 29}},      // "OK" at 28
    {2, {30, 31}},      // "OK" at 30
    {3, {32, 33, 35}},  // page echo and 5
    {2, {0, 1}},        // 'W'/'r' echo
    {0, {}},            // information reply
};

// Sensor and thermocouple ranges, degrees C (over above high, under below low).
constexpr int T1LowC10 = -250;
constexpr int T1HighC10 = 650;
constexpr int RhLow10 = 0;
constexpr int RhHigh10 = 1000;
struct ThermoRange {
    double lowC;
    double highC;
};
constexpr ThermoRange ThermoRanges[] = {
    {-200, 1372}, // K
    {-200, 1000}, // J
    {-200, 750},  // E
    {-200, 400},  // T
    {-200, 1300}, // N
    {-10, 1768},  // R
    {0, 1768},    // S
};
constexpr int ThermoTypeCount = 7;

// Drift of each channel: set point + two slow waves + a little noise.
struct DriftShape {
    double period1S, amp1, period2S, amp2, noise;
};
constexpr DriftShape DriftRh{600, 3.0, 97, 0.8, 0.15};
constexpr DriftShape DriftT1{900, 0.6, 130, 0.2, 0.04};
constexpr DriftShape DriftT2{420, 1.2, 61, 0.3, 0.08};

// Settings of a new meter.
constexpr int DefaultAlarmHighF = 212;
constexpr int DefaultAlarmLowF = -4;
constexpr int DefaultIntervalSeconds = 2;
constexpr std::uint8_t DefaultSleepCode = 2; // 30 minutes
constexpr std::uint8_t FirmwareVersion = 123; // 1.23
constexpr std::uint8_t HeaderTag = 0x14;      // header byte 2, as the meter writes it

// Positions the default report 's' carries ("not set" positions are skipped).
constexpr int DefaultReportCells[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 21, 22, 23, 24, 25, 30};

// Calibration coefficients ('Y': 8 values, 'Z': 4 values) and sensor data ('v').
constexpr float CalibrationY[] = {1.0012f, 0.9987f, 1.0023f, 0.9995f, 0.0f, 0.12f, -0.35f, 0.04f};
constexpr float CalibrationZ[] = {0.02f, -0.01f, 0.12f, 0.0f};
constexpr char SensorFirmware[] = "V1.02";
constexpr char SensorHardware[] = "H1.00";
constexpr int SensorProductId = 0x120A;
constexpr char SensorModel[] = "QM41";
constexpr int SensorCalTLo = 1500, SensorCalTHi = 3500, SensorCalRhLo = 3300, SensorCalRhHi = 7500;

constexpr std::uint8_t Nak = 0x15;
constexpr std::uint8_t PageMarker = 5;

std::uint64_t SplitMix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Deterministic number in [0, 1).
double Unit(std::uint32_t seed, int channel, std::int64_t n)
{
    const std::uint64_t h = SplitMix((std::uint64_t(seed) << 32) ^ (std::uint64_t(channel) << 56) ^ std::uint64_t(n));
    return double(h >> 11) / double(1ull << 53);
}

double Drift(std::uint32_t seed, int channel, const DriftShape &d, double seconds, std::int64_t step)
{
    const double phase1 = 2 * Pi * Unit(seed, channel, -1);
    const double phase2 = 2 * Pi * Unit(seed, channel, -2);
    return d.amp1 * std::sin(2 * Pi * seconds / d.period1S + phase1)
         + d.amp2 * std::sin(2 * Pi * seconds / d.period2S + phase2)
         + d.noise * (2 * Unit(seed, channel, step) - 1);
}

int ToInt16(double v)
{
    const long r = std::lround(v);
    return int(std::clamp<long>(r, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

int CelsiusToF10(double c) { return ToInt16((c * 1.8 + 32.0) * 10.0); }

std::uint8_t Bcd(int v)
{
    v = ((v % 100) + 100) % 100;
    return std::uint8_t(((v / 10) << 4) | (v % 10));
}

// -1 when not two decimal digits.
int FromBcd(std::uint8_t b)
{
    if ((b >> 4) > 9 || (b & 0x0F) > 9)
        return -1;
    return (b >> 4) * 10 + (b & 0x0F);
}

QDateTime Plain(const QDateTime &t) { return QDateTime(t.date(), t.time(), Qt::UTC); }

// One line of the display.
struct Line {
    std::array<std::uint8_t, 4> glyph{BlankGlyph, BlankGlyph, BlankGlyph, BlankGlyph};
    bool point = false;
    bool minus = false;
};

constexpr std::uint8_t GlyphMinus = 17;
constexpr std::uint8_t GlyphL = 18;
constexpr std::uint8_t GlyphO = 0;
constexpr int DisplayMax = 9999;

void PutDigits(Line &line, long value, int keepFrom)
{
    for (int i = 3; i >= 0; --i) {
        line.glyph[std::size_t(i)] = std::uint8_t(value % 10);
        value /= 10;
    }
    // Leading zeros are blank up to the digit that must show.
    for (int i = 0; i < keepFrom && line.glyph[std::size_t(i)] == 0; ++i)
        line.glyph[std::size_t(i)] = BlankGlyph;
}

// "OL" right-aligned; below range the line carries a minus (as a sign symbol,
// or as a digit on the RH line, which has no sign symbol).
Line Overload(bool under, bool signAsDigit)
{
    Line line;
    line.glyph = {BlankGlyph, BlankGlyph, GlyphO, GlyphL};
    if (under) {
        if (signAsDigit)
            line.glyph[1] = GlyphMinus;
        else
            line.minus = true;
    }
    return line;
}

// One decimal below 1000, whole numbers up to 9999, "OL" beyond.
Line Number(float v, bool signAsDigit)
{
    Line line;
    const long tenths = std::lround(double(v) * 10.0);
    const bool negative = tenths < 0;
    const long a = std::labs(tenths);
    if (a <= DisplayMax) {
        PutDigits(line, a, 2);
        line.point = true;
        line.minus = negative && a != 0;
        return line;
    }
    const long whole = std::labs(std::lround(double(v)));
    if (whole <= DisplayMax) {
        PutDigits(line, whole, 3);
        line.minus = negative;
        return line;
    }
    return Overload(negative, signAsDigit);
}

Line Dashes()
{
    Line line;
    line.glyph = {GlyphMinus, GlyphMinus, GlyphMinus, GlyphMinus};
    return line;
}

// First free byte of the data set area, or -1 when the pointer is damaged.
int NextHeader(int pointer)
{
    const int h = std::max(pointer + 1, SimDataSetStart);
    return h <= SimMemoryEnd ? h : -1;
}

std::uint8_t Bit(bool on, int bit) { return on ? std::uint8_t(1u << bit) : std::uint8_t(0); }

} // namespace

void SimMeter::Stats::add(int v)
{
    if (count == 0 || v > max)
        max = v;
    if (count == 0 || v < min)
        min = v;
    sum += v;
    ++count;
}

// ---- construction ------------------------------------------------------

SimMeter::SimMeter(SimClock *clock, const SimOptions &options)
    : m_clock(clock), m_seed(options.seed), m_usbLatencyMs(std::max(0, options.usbLatencyMs)),
      m_serialTurnaroundMs(std::max(0, options.serialTurnaroundMs)), m_drift(options.drift), m_memory(SimMemorySize, char(0xFF))
{
    if (!m_clock) {
        m_ownClock = std::make_unique<SystemSimClock>();
        m_clock = m_ownClock.get();
    }
    m_originUs = m_clock->nowUs();
    m_clockBaseUs = m_originUs;
    m_clockBase = Plain(options.meterClock.isValid() ? options.meterClock : QDateTime::currentDateTime());
    m_junk = m_seed | 1u;

    std::fill(m_memory.begin(), m_memory.begin() + SimDataSetStart, char(0));
    writeU16(simcell::AlarmHigh, DefaultAlarmHighF);
    writeU16(simcell::AlarmLow, DefaultAlarmLowF);
    writeU16(simcell::DataSetCount, 0);
    writeU24(simcell::MemoryPointer, SimEmptyPointer);
    m_memory[simcell::IntervalMinutes] = 0;
    m_memory[simcell::IntervalSeconds] = char(DefaultIntervalSeconds);
    m_memory[15] = char(HeaderTag);
    m_memory[simcell::UnitFlags] = char(SimUnitFlagCelsius);
    m_memory[simcell::ThermoType] = 0;
    m_memory[simcell::SleepTime] = char(DefaultSleepCode);
    m_memory[simcell::Firmware] = char(FirmwareVersion);
    if (options.prefillLogger)
        prefill();
}

SimMeter::~SimMeter() = default;

// A few data sets recorded over the last days.
void SimMeter::prefill()
{
    const QDateTime now = meterClock();
    struct Plan {
        int daysAgo, hour, minute, interval, count;
        std::uint8_t unit, type;
    };
    const Plan plans[] = {
        {3, 9, 15, 2, 150, 1, 0},   // a short check at the desk
        {2, 13, 40, 10, 180, 0, 1}, // an oven warming up, degrees F, type J
        {1, 8, 0, 60, 300, 1, 0},   // a working day in an office
    };
    int channelBase = 100;
    for (const Plan &p : plans) {
        SimDataSet set;
        set.start = QDateTime(now.date().addDays(-p.daysAgo), QTime(p.hour, p.minute, 0), Qt::LocalTime);
        set.intervalSeconds = p.interval;
        set.unit = p.unit;
        set.type = p.type;
        for (int k = 0; k < p.count; ++k) {
            const double seconds = double(k) * p.interval;
            const double progress = double(k) / p.count;
            double rh = 45 + Drift(m_seed, channelBase, DriftRh, seconds, k);
            double t1 = 23 + Drift(m_seed, channelBase + 1, DriftT1, seconds, k);
            double t2 = 24 + Drift(m_seed, channelBase + 2, DriftT2, seconds, k);
            if (p.type == 1) { // heating: thermocouple towards 180 C, room warms a little
                t2 = 24 + 156 * (1 - std::exp(-progress * 5)) + Drift(m_seed, channelBase + 2, DriftT2, seconds, k);
                t1 += 2 * progress;
                rh -= 6 * progress;
            } else if (p.interval >= 60) { // a day: warmer and drier at noon
                const double day = std::sin(Pi * progress);
                t1 += 3 * day;
                rh -= 8 * day;
                t2 = t1 + 0.5 + Drift(m_seed, channelBase + 2, DriftT2, seconds, k) * 0.3;
            }
            set.samples.push_back({ToInt16(rh * 10), ToInt16(t1 * 10), CelsiusToF10(t2)});
        }
        addDataSet(set);
        channelBase += 10;
    }
}

// ---- time --------------------------------------------------------------

void SimMeter::advance()
{
    const std::int64_t now = m_clock->nowUs();
    const std::int64_t step = (now - m_originUs) / (std::int64_t(SimMeasurePeriodMs) * 1000);
    if (step > m_lastStep) {
        const std::int64_t first = std::max(m_lastStep + 1, step - SimMaxCatchUpSteps + 1);
        for (std::int64_t s = first; s <= step; ++s)
            measureStep(s);
        m_lastStep = step;
    }
    while (m_logging && m_nextLogUs <= now) {
        const std::int64_t at = (m_nextLogUs - m_originUs) / (std::int64_t(SimMeasurePeriodMs) * 1000);
        logSample(sampleAt(at));
        m_nextLogUs += std::int64_t(intervalSeconds()) * 1000000;
    }
    if (m_memShownLocation >= 0 || m_memFullFlash) {
        if (now >= m_memShownUntilUs) {
            m_memShownLocation = -1;
            m_memFullFlash = false;
        }
    }
}

void SimMeter::measureStep(std::int64_t step)
{
    if (m_mma == SimMma::Off)
        return;
    const SimSample s = sampleAt(step);
    m_stats[0].add(s.rh10);
    m_stats[1].add(s.t1C10);
    m_stats[2].add(s.t2F10);
}

SimSample SimMeter::sampleAt(std::int64_t step) const
{
    double rh = m_rhSet, t1 = m_t1Set, t2 = m_t2Set;
    if (m_drift) {
        const double seconds = double(step) * SimMeasurePeriodMs / 1000.0;
        rh += Drift(m_seed, 0, DriftRh, seconds, step);
        t1 += Drift(m_seed, 1, DriftT1, seconds, step);
        t2 += Drift(m_seed, 2, DriftT2, seconds, step);
    }
    return {ToInt16(rh * 10), ToInt16(t1 * 10), CelsiusToF10(t2)};
}

SimSample SimMeter::measured()
{
    advance();
    return sampleAt(m_lastStep);
}

void SimMeter::setReading(double rh, double t1C, double t2C)
{
    advance();
    m_rhSet = rh;
    m_t1Set = t1C;
    m_t2Set = t2C;
}

void SimMeter::setDrift(bool on)
{
    advance();
    m_drift = on;
}

QDateTime SimMeter::meterClock()
{
    const QDateTime t = m_clockBase.addMSecs((m_clock->nowUs() - m_clockBaseUs) / 1000);
    return QDateTime(t.date(), t.time(), Qt::LocalTime);
}

void SimMeter::setMeterClock(const QDateTime &time)
{
    m_clockBase = Plain(time);
    m_clockBaseUs = m_clock->nowUs();
}

// ---- settings ----------------------------------------------------------

std::uint8_t SimMeter::displayUnit()
{
    const std::uint8_t flags = cell(simcell::UnitFlags);
    if (flags & SimUnitFlagKelvin)
        return UnitKelvin;
    return (flags & SimUnitFlagCelsius) ? UnitCelsius : UnitFahrenheit;
}

void SimMeter::setDisplayUnit(std::uint8_t unit)
{
    std::uint8_t flags = cell(simcell::UnitFlags) & ~(SimUnitFlagCelsius | SimUnitFlagKelvin);
    if (unit == UnitCelsius)
        flags |= SimUnitFlagCelsius;
    else if (unit == UnitKelvin)
        flags |= SimUnitFlagKelvin;
    setCell(simcell::UnitFlags, flags);
}

std::uint8_t SimMeter::thermocoupleType() { return cell(simcell::ThermoType); }
void SimMeter::setThermocoupleType(std::uint8_t type) { setCell(simcell::ThermoType, type); }
void SimMeter::setBatteryLevel(int level) { m_battery = std::clamp(level, 0, 3); }
void SimMeter::setSleepCode(std::uint8_t code) { setCell(simcell::SleepTime, code); }
void SimMeter::setBluetooth(bool on) { setCell(simcell::Bluetooth, on ? 1 : 0); }

void SimMeter::setAlarm(bool on, int highF, int lowF)
{
    setCell(simcell::Alarm, on ? 1 : 0);
    writeU16(simcell::AlarmHigh, highF);
    writeU16(simcell::AlarmLow, lowF);
}

bool SimMeter::logging()
{
    advance();
    return m_logging;
}

bool SimMeter::memoryFull()
{
    advance();
    return m_full;
}

std::optional<SimSample> SimMeter::storedReading(int location) const
{
    if (location < 0 || location >= SimMemLocations)
        return std::nullopt;
    return m_mem[std::size_t(location)];
}

// ---- memory cells ------------------------------------------------------

std::uint8_t SimMeter::cell(int address) const
{
    if (address < 0 || address >= SimMemorySize)
        return 0xFF;
    return std::uint8_t(m_memory.at(address));
}

void SimMeter::setCell(int address, std::uint8_t value)
{
    if (address >= 0 && address < SimMemorySize)
        m_memory[address] = char(value);
}

void SimMeter::writeU16(int address, int value)
{
    setCell(address, std::uint8_t((value >> 8) & 0xFF));
    setCell(address + 1, std::uint8_t(value & 0xFF));
}

void SimMeter::writeU24(int address, int value)
{
    setCell(address, std::uint8_t((value >> 16) & 0xFF));
    setCell(address + 1, std::uint8_t((value >> 8) & 0xFF));
    setCell(address + 2, std::uint8_t(value & 0xFF));
}

int SimMeter::readU16(int address) const { return (cell(address) << 8) | cell(address + 1); }

int SimMeter::dataSetCount() const { return readU16(simcell::DataSetCount); }

int SimMeter::memoryPointer() const
{
    return (cell(simcell::MemoryPointer) << 16) | (cell(simcell::MemoryPointer + 1) << 8)
         | cell(simcell::MemoryPointer + 2);
}

void SimMeter::loadLoggerImage(const QByteArray &image)
{
    m_memory = image.left(SimMemorySize);
    if (m_memory.size() < SimMemorySize)
        m_memory.append(QByteArray(SimMemorySize - m_memory.size(), char(0xFF)));
    m_logging = false;
    m_full = false;
    m_download = false;
}

void SimMeter::eraseLogger()
{
    m_logging = false;
    m_full = false;
    const int end = std::min(memoryPointer(), SimMemorySize - 1);
    for (int a = SimDataSetStart; a <= end; ++a)
        m_memory[a] = char(0xFF);
    writeU16(simcell::DataSetCount, 0);
    writeU24(simcell::MemoryPointer, SimEmptyPointer);
}

bool SimMeter::addDataSet(const SimDataSet &set)
{
    const int n = int(set.samples.size());
    const int h = NextHeader(memoryPointer());
    if (h < 0 || n > 0xFFFF || h + 8 * n + 19 > SimMemoryEnd)
        return false;
    const QDateTime t = set.start.isValid() ? set.start : meterClock();
    const int interval = std::clamp(set.intervalSeconds, 1, 3660);
    const std::uint8_t header[18] = {
        0xA5, 0x5A, HeaderTag,
        Bcd(t.date().year() - 2000), Bcd(t.date().month()), Bcd(t.date().day()),
        Bcd(t.time().hour()), Bcd(t.time().minute()), Bcd(t.time().second()),
        std::uint8_t(interval / 60), std::uint8_t(interval % 60),
        std::uint8_t(((set.unit & 0x0F) << 4) | (set.type & 0x0F)),
        std::uint8_t(n >> 8), std::uint8_t(n & 0xFF),
        std::uint8_t(set.rhOffset), std::uint8_t(set.t1Offset), std::uint8_t(set.t2Offset), 0};
    for (int i = 0; i < 18; ++i)
        setCell(h + i, header[i]);
    int a = h + 18;
    for (const SimSample &s : set.samples) {
        writeU16(a, s.rh10);
        writeU16(a + 2, s.t1C10);
        writeU16(a + 4, s.t2F10);
        writeU16(a + 6, 0);
        a += 8;
    }
    setCell(a, 0x5A);
    setCell(a + 1, 0xA5);
    writeU16(simcell::DataSetCount, dataSetCount() + 1);
    writeU24(simcell::MemoryPointer, a + 1);
    return true;
}

// ---- the meter's own logging ---------------------------------------------

int SimMeter::intervalSeconds() const
{
    int minutes = cell(simcell::IntervalMinutes);
    int seconds = cell(simcell::IntervalSeconds);
    if (minutes > 60)
        minutes = 0;
    if (seconds > 60)
        seconds = 2;
    if (minutes == 0 && seconds == 0)
        seconds = 2;
    return minutes * 60 + seconds;
}

void SimMeter::startLogging()
{
    SimDataSet set;
    set.start = meterClock();
    set.intervalSeconds = intervalSeconds();
    set.unit = displayUnit();
    set.type = thermocoupleType();
    set.rhOffset = std::int8_t(cell(simcell::RhOffset));
    set.t1Offset = std::int8_t(cell(simcell::T1Offset));
    set.t2Offset = std::int8_t(cell(simcell::T2Offset));
    const int h = NextHeader(memoryPointer());
    if (!addDataSet(set)) {
        m_full = true;
        return;
    }
    m_setHeader = h;
    m_logging = true;
    m_full = false;
    logSample(sampleAt(m_lastStep));
    m_nextLogUs = m_clock->nowUs() + std::int64_t(intervalSeconds()) * 1000000;
}

void SimMeter::stopLogging() { m_logging = false; }

void SimMeter::logSample(const SimSample &s)
{
    const int h = m_setHeader;
    const int n = readU16(h + 12);
    const int a = h + 18 + 8 * n;
    if (n >= 0xFFFF || a + 9 > SimMemoryEnd) {
        m_full = true;
        stopLogging();
        return;
    }
    writeU16(a, s.rh10);
    writeU16(a + 2, s.t1C10);
    writeU16(a + 4, s.t2F10);
    writeU16(a + 6, 0);
    setCell(a + 8, 0x5A);
    setCell(a + 9, 0xA5);
    writeU16(h + 12, n + 1);
    writeU24(simcell::MemoryPointer, a + 9);
}

// ---- display -------------------------------------------------------------

SimMeter::Shown SimMeter::shown()
{
    Shown s;
    if (m_recallEmpty) {
        s.dashes = true;
        return s;
    }
    if (m_recall >= 0 && m_mem[std::size_t(m_recall)]) {
        const SimSample &r = *m_mem[std::size_t(m_recall)];
        return {r.rh10, r.t1C10, r.t2F10, false};
    }
    if (m_hold)
        return {m_held[0], m_held[1], m_held[2], false};
    if (m_mma != SimMma::Off && m_stats[0].count > 0) {
        int v[3];
        for (std::size_t c = 0; c < 3; ++c) {
            const Stats &st = m_stats[c];
            v[c] = m_mma == SimMma::Max ? st.max
                 : m_mma == SimMma::Min ? st.min
                                        : int(std::llround(double(st.sum) / st.count));
        }
        return {v[0], v[1], v[2], false};
    }
    const SimSample m = sampleAt(m_lastStep);
    return {m.rh10, m.t1C10, m.t2F10, false};
}

QByteArray SimMeter::liveReply(SimLink link)
{
    advance();
    const Shown s = shown();
    const std::uint8_t unit = displayUnit();
    const std::uint8_t type = thermocoupleType();
    const bool mma = m_mma != SimMma::Off;

    // Range of each shown channel.
    const bool knownType = type < ThermoTypeCount;
    const ThermoRange range = knownType ? ThermoRanges[type] : ThermoRange{-1e9, 1e9};
    const bool rhOver = s.rh10 > RhHigh10, rhUnder = s.rh10 < RhLow10;
    const bool t1Over = s.t1C10 > T1HighC10, t1Under = s.t1C10 < T1LowC10;
    const bool t2Over = s.t2F10 > CelsiusToF10(range.highC), t2Under = s.t2F10 < CelsiusToF10(range.lowC);
    std::uint8_t status = 0;
    if (!s.dashes)
        status = Bit(rhOver, 0) | Bit(t1Over, 1) | Bit(t2Over, 2) | Bit(rhUnder, 4) | Bit(t1Under, 5) | Bit(t2Under, 6);

    // The lines in the display unit, computed from the numbers sent, as the
    // receiver computes them.
    const float t1C = float(s.t1C10) * 0.1f;
    const float t2F = float(s.t2F10) * 0.1f;
    const float t2C = (t2F - 32.0f) * 5.0f * (1.0f / 9.0f);
    float t1Shown = t1C, t2Shown = t2C;
    if (unit == UnitFahrenheit) {
        t1Shown = t1C * 1.8f + 32.0f;
        t2Shown = t2F;
    } else if (unit == UnitKelvin) {
        t1Shown = t1C + 273.2f;
        t2Shown = t2C + 273.2f;
    }
    Line rh, t1, t2;
    if (s.dashes) {
        rh = t1 = t2 = Dashes();
    } else {
        rh = (rhOver || rhUnder) ? Overload(rhUnder, true) : Number(float(s.rh10) * 0.1f, true);
        t1 = (t1Over || t1Under) ? Overload(t1Under, false) : Number(t1Shown, false);
        t2 = (t2Over || t2Under) ? Overload(t2Under, false) : Number(t2Shown, false);
    }

    // Small digits: the MEM or RECALL location.
    std::array<std::uint8_t, 2> small{BlankGlyph, BlankGlyph};
    int location = -1;
    if (m_recall >= 0)
        location = m_recall;
    else if (m_memShownLocation >= 0)
        location = m_memShownLocation;
    if (location >= 0)
        small = {std::uint8_t(location / 10), std::uint8_t(location % 10)};
    else if (m_recallEmpty || m_memFullFlash)
        small = {GlyphMinus, GlyphMinus};

    const bool alarm = cell(simcell::Alarm) != 0;
    const int alarmHigh10 = std::int16_t(readU16(simcell::AlarmHigh)) * 10;
    const int alarmLow10 = std::int16_t(readU16(simcell::AlarmLow)) * 10;
    const bool aboveHigh = alarm && !s.dashes && s.t2F10 > alarmHigh10;
    const bool belowLow = alarm && !s.dashes && s.t2F10 < alarmLow10;
    const bool bluetoothMark = link == SimLink::Serial || bluetooth();
    static constexpr int BatteryBit[4] = {3, 0, 1, 2}; // level 0..3 -> Battery0..3 mark

    QByteArray r(LiveReplyLength, 0);
    auto put = [&r](int i, std::uint8_t v) { r[i] = char(v); };
    put(0, FrameStart);
    put(1, std::uint8_t(cmd::Live));
    put(2, std::uint8_t((unit & 3) << 4));
    put(3, Bit(m_logging, 3) | Bit(m_logging, 4) | Bit(mma, 6));
    put(4, Bit(mma, 3));
    put(6, status);
    put(9, std::uint8_t((s.rh10 >> 8) & 0xFF));
    put(10, std::uint8_t(s.rh10 & 0xFF));
    put(11, std::uint8_t((s.t1C10 >> 8) & 0xFF));
    put(12, std::uint8_t(s.t1C10 & 0xFF));
    put(13, std::uint8_t((s.t2F10 >> 8) & 0xFF));
    put(14, std::uint8_t(s.t2F10 & 0xFF));

    put(38, EncodeGlyphA(small[1]));
    put(39, EncodeGlyphA(small[0]) | Bit(recalling(), 0));
    put(40, Bit(m_hold, 1) | Bit(m_mma == SimMma::Max, 2) | Bit(m_mma == SimMma::Min, 3)
                | Bit(m_mma == SimMma::Avg, 4) | Bit(m_memShownLocation >= 0, 5));
    put(41, Bit(true, BatteryBit[m_battery]) | Bit(cell(simcell::SleepTime) != 0, 4));
    for (int i = 0; i < 4; ++i)
        put(42 + i, EncodeGlyphB(rh.glyph[std::size_t(i)]));
    r[45] = char(std::uint8_t(r[45]) | 0x80); // "%" and "RH"
    put(46, Bit(unit == UnitCelsius, 0) | Bit(unit == UnitFahrenheit, 1) | Bit(unit == UnitKelvin, 2));
    put(47, EncodeGlyphA(t1.glyph[3]) | Bit(rh.point || t1.point, 0));
    put(48, EncodeGlyphA(t1.glyph[2]));
    put(49, EncodeGlyphA(t1.glyph[1]));
    put(50, EncodeGlyphA(t1.glyph[0]));
    put(51, knownType ? Bit(true, 6 - type) : std::uint8_t(0));
    put(52, Bit(t2.minus, 0) | Bit(true, 1) | Bit(true, 2) | Bit(bluetoothMark, 4) | Bit(t1.minus, 5) | Bit(true, 6));
    put(53, EncodeGlyphB(t2.glyph[0]) | Bit(alarm, 7));
    put(54, EncodeGlyphB(t2.glyph[1]) | Bit(aboveHigh, 7));
    put(55, EncodeGlyphB(t2.glyph[2]));
    put(56, EncodeGlyphB(t2.glyph[3]) | Bit(t2.point, 7));
    put(57, Bit(unit == UnitKelvin, 1) | Bit(unit == UnitFahrenheit, 2) | Bit(unit == UnitCelsius, 3)
                | Bit(m_full || m_memFullFlash, 4) | Bit(m_logging, 5) | Bit(belowLow, 7));
    put(62, LiveChecksum(reinterpret_cast<const std::uint8_t *>(r.constData())));
    put(63, FrameEnd);
    return r;
}

// ---- keys ----------------------------------------------------------------

QByteArray SimMeter::keyPress(char letter)
{
    switch (letter) {
    case cmd::KeyHold:
        if (m_hold) {
            m_hold = false;
        } else {
            const Shown s = shown();
            m_held = {s.rh10, s.t1C10, s.t2F10};
            m_hold = !s.dashes;
        }
        break;
    case cmd::KeyUnit:
        // The unit of a data set is fixed while it is being recorded.
        if (!m_logging) {
            static constexpr std::uint8_t Next[3] = {UnitKelvin, UnitFahrenheit, UnitCelsius}; // F->K, C->F, K->C
            setDisplayUnit(Next[std::min<std::uint8_t>(displayUnit(), 2)]);
        }
        break;
    case cmd::KeyRec:
        if (m_logging)
            stopLogging();
        else
            startLogging();
        break;
    case cmd::KeyRecall:
        m_memShownLocation = -1;
        m_memFullFlash = false;
        if (m_recallEmpty) {
            m_recallEmpty = false;
        } else if (m_recall >= 0) {
            --m_recall;
        } else if (m_memCount == 0) {
            m_recallEmpty = true;
        } else {
            m_recall = m_memCount - 1;
        }
        break;
    case cmd::KeyMma:
        if (m_mma == SimMma::Off) {
            m_stats = {};
            const SimSample s = sampleAt(m_lastStep);
            m_stats[0].add(s.rh10);
            m_stats[1].add(s.t1C10);
            m_stats[2].add(s.t2F10);
            m_mma = SimMma::Max;
        } else {
            m_mma = m_mma == SimMma::Max ? SimMma::Min : m_mma == SimMma::Min ? SimMma::Avg : SimMma::Max;
        }
        break;
    case cmd::KeyMmaLeave:
        m_mma = SimMma::Off;
        break;
    case cmd::KeyBackLight:
        m_backLight = !m_backLight;
        break;
    case cmd::KeyMem:
        if (recalling())
            break;
        m_memShownUntilUs = m_clock->nowUs() + std::int64_t(SimMemShowMs) * 1000;
        if (m_memCount >= SimMemLocations) {
            m_memFullFlash = true;
            m_memShownLocation = -1;
        } else {
            const Shown s = shown();
            m_mem[std::size_t(m_memCount)] = SimSample{s.rh10, s.t1C10, s.t2F10};
            m_memShownLocation = m_memCount++;
        }
        break;
    default:
        break;
    }
    return ack(letter, true);
}

// ---- replies -------------------------------------------------------------

QByteArray SimMeter::ack(char letter, bool ok) const
{
    QByteArray r(ShortReplyLength, 0);
    r[0] = char(FrameStart);
    r[1] = letter;
    r[2] = ok ? 'O' : 'N';
    r[3] = ok ? 'K' : 'G';
    r[31] = char(FrameEnd);
    return r;
}

QByteArray SimMeter::identification() const
{
    QByteArray r(ShortReplyLength, 0);
    r[0] = char(FrameStart);
    r[1] = cmd::Identify;
    const char model[] = "KV3917";
    std::memcpy(r.data() + 2, model, sizeof model - 1);
    r[23] = '5';
    r[24] = '2';
    r[25] = '2';
    r[31] = char(FrameEnd);
    return r;
}

QByteArray SimMeter::pageReply(int page, int echo)
{
    QByteArray r(PageReplyLength, 0);
    const int base = page * 32;
    for (int i = 0; i < 32; ++i)
        r[i] = char(cell(base + i)); // 0xFF past the end of the memory
    r[32] = char((echo >> 8) & 0xFF);
    r[33] = char(echo & 0xFF);
    r[34] = char(PageChecksum(reinterpret_cast<const std::uint8_t *>(r.constData())));
    r[35] = char(PageMarker);
    return r;
}

QByteArray SimMeter::cellReply(char letter, const std::uint8_t *frame, bool ok, std::uint8_t value) const
{
    QByteArray r(ShortReplyLength, 0);
    r[0] = char(FrameStart);
    r[1] = ok ? letter : char(Nak);
    r[2] = char(frame[2]);
    r[3] = char(frame[3]);
    r[4] = char(frame[4]);
    r[5] = char(value);
    r[31] = char(FrameEnd);
    return r;
}

QByteArray SimMeter::infoReply()
{
    QByteArray r(LiveReplyLength, 0);
    for (int i = 0; i < 32; ++i)
        r[i] = char(cell(i));
    const QDateTime t = meterClock();
    r[40] = char(Bcd(t.time().second()));
    r[41] = char(Bcd(t.time().minute()));
    r[42] = char(Bcd(t.time().hour()));
    r[43] = char(Bcd(t.date().day()));
    r[44] = char(Bcd(t.date().month()));
    r[45] = char(Bcd(t.date().dayOfWeek()));
    r[46] = char(Bcd(t.date().year() % 100));
    return r;
}

QByteArray SimMeter::calibrationReply(bool first) const
{
    QByteArray r(ShortReplyLength, 0);
    const float *values = first ? CalibrationY : CalibrationZ;
    const int count = first ? int(std::size(CalibrationY)) : int(std::size(CalibrationZ));
    for (int k = 0; k < count; ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[k], sizeof bits);
        r[3 * k] = char((bits >> 8) & 0xFF);
        r[3 * k + 1] = char((bits >> 16) & 0xFF);
        r[3 * k + 2] = char((bits >> 24) & 0xFF);
    }
    const int ok = first ? 28 : 30;
    r[ok] = 'O';
    r[ok + 1] = 'K';
    return r;
}

QByteArray SimMeter::sensorReply()
{
    const SimSample m = measured();
    QByteArray r(ShortReplyLength, 0);
    auto u16 = [&r](int at, int v) {
        v = std::clamp(v, 0, 0xFFFF);
        r[at] = char(v >> 8);
        r[at + 1] = char(v & 0xFF);
    };
    std::memcpy(r.data(), SensorFirmware, 5);
    std::memcpy(r.data() + 5, SensorHardware, 5);
    u16(10, SensorProductId);
    std::memcpy(r.data() + 12, SensorModel, 4);
    // Raw readings of a digital humidity sensor (16-bit full scale).
    u16(16, int(std::lround((m.t1C10 / 10.0 + 45.0) * 65535.0 / 175.0)));
    u16(18, int(std::lround(m.rh10 / 10.0 * 65535.0 / 100.0)));
    u16(20, SensorCalTLo);
    u16(22, SensorCalTHi);
    u16(24, SensorCalRhLo);
    u16(26, SensorCalRhHi);
    r[30] = 'O';
    r[31] = 'K';
    return r;
}

QByteArray SimMeter::respond(const std::uint8_t *f, SimLink link, int &kind)
{
    const char c = char(f[1]);
    const bool serial = link == SimLink::Serial;
    kind = KindNone;
    if (serial && (c == 0 || !std::strchr(SerialCommands, c)))
        return {};

    if (m_download) {
        switch (c) {
        case cmd::PageNext:
            ++m_page;
            kind = KindPage;
            return pageReply(m_page, m_page + 1);
        case cmd::PageRetry: // USB only (not answered over serial, above)
            m_page = std::max(m_page - 1, 0);
            kind = KindPage;
            return pageReply(m_page, m_page + 1);
        case cmd::PageBad:
            kind = KindPage;
            return pageReply(m_page, m_page + 1);
        case cmd::Live:
        case cmd::PageStart:
            break;
        default:
            m_download = false;
            break;
        }
    }

    const int address = (f[2] << 16) | (f[3] << 8) | f[4];
    switch (c) {
    case cmd::Live: {
        kind = KindLive;
        QByteArray r = liveReply(link);
        r[5] = char(f[5]);
        r[62] = char(LiveChecksum(reinterpret_cast<const std::uint8_t *>(r.constData())));
        return r;
    }
    case cmd::Identify:
        kind = KindIdent;
        return identification();
    case cmd::PageStart: {
        const int n = serial ? 1 : (f[2] << 8) | f[3];
        m_download = true;
        m_page = n > 0 ? n - 1 : 0;
        kind = KindPage;
        return pageReply(m_page, n);
    }
    case cmd::PageNext:
    case cmd::PageEnd:
    case cmd::Recover:
        return {}; // 'p' outside a download, and the two silent commands
    case cmd::KeyHold:
    case cmd::KeyUnit:
    case cmd::KeyRec:
    case cmd::KeyRecall:
    case cmd::KeyMma:
    case cmd::KeyMmaLeave:
    case cmd::KeyBackLight:
    case cmd::KeyMem:
        kind = KindAck2;
        return keyPress(c);
    case cmd::EraseMemory:
        eraseLogger();
        kind = KindAck2;
        return ack(c, true);
    case cmd::SetInterval: {
        const int minutes = FromBcd(f[2]);
        const int seconds = FromBcd(f[3]);
        const bool ok = minutes >= 0 && seconds >= 0 && minutes <= 60 && seconds <= 60 && minutes + seconds > 0;
        if (ok) {
            setCell(simcell::IntervalMinutes, std::uint8_t(minutes));
            setCell(simcell::IntervalSeconds, std::uint8_t(seconds));
        }
        kind = KindAck2;
        return ack(c, ok);
    }
    case cmd::ReadInfo:
        kind = KindInfo;
        return infoReply();
    case cmd::WriteCell: {
        const bool ok = address < SimMemorySize;
        if (ok)
            setCell(address, f[5]);
        kind = KindEcho;
        return cellReply(c, f, ok, f[5]);
    }
    case cmd::ReadCell: {
        const bool ok = address < SimMemorySize;
        kind = KindEcho;
        return cellReply(c, f, ok, cell(address));
    }
    case cmd::EraseLow:
        m_mem = {};
        m_memCount = 0;
        m_recall = -1;
        m_recallEmpty = false;
        kind = KindAck2;
        return ack(c, true);
    case cmd::ReadCalibration1:
        kind = KindAck28;
        return calibrationReply(true);
    case cmd::ReadCalibration2:
        kind = KindAck30;
        return calibrationReply(false);
    case cmd::ReadSensor:
        kind = KindAck30;
        return sensorReply();
    default:
        return {}; // unknown letters go unanswered ('t' and 's' wait for a block)
    }
}

QByteArray SimMeter::respondBlock(char letter, const std::uint8_t *b, int &kind)
{
    kind = KindAck2;
    if (letter == cmd::SetClock) {
        const int second = FromBcd(b[0]), minute = FromBcd(b[1]), hour = FromBcd(b[2]);
        const int day = FromBcd(b[3]), month = FromBcd(b[4]), year = FromBcd(b[6]);
        const bool tagged = b[8] == 'r' && b[9] == 't' && b[10] == 'c';
        const QDate date(2000 + year, month, day);
        const QTime time(hour, minute, second);
        const bool ok = tagged && year >= 0 && date.isValid() && time.isValid();
        if (ok)
            setMeterClock(QDateTime(date, time, Qt::LocalTime));
        return ack(letter, ok);
    }
    // 's': the default settings; the positions the report does not set keep
    // their values.  The report empties the logger (count 0, pointer reset).
    const bool ok = b[0] == 'A' && b[1] == 'L' && b[2] == 'L';
    if (ok) {
        m_logging = false;
        m_full = false;
        for (int i : DefaultReportCells)
            setCell(i, b[i]);
    }
    return ack(letter, ok);
}

// ---- exchanges -------------------------------------------------------------

void SimMeter::logEntry(SimLink link, bool block, bool delivered, const std::uint8_t *bytes, int length)
{
    SimLogEntry e;
    e.link = link;
    e.dataBlock = block;
    e.delivered = delivered;
    e.bytes = QByteArray(reinterpret_cast<const char *>(bytes), length);
    e.timeUs = m_clock->nowUs();
    m_log.push_back(std::move(e));
    while (int(m_log.size()) > SimFrameLogLimit)
        m_log.pop_front();
}

QByteArray SimMeter::lastFrame() const
{
    for (auto it = m_log.rbegin(); it != m_log.rend(); ++it)
        if (!it->dataBlock)
            return it->bytes;
    return {};
}

int SimMeter::frameCount(char letter) const
{
    const auto it = m_counts.find(letter);
    return it == m_counts.end() ? 0 : it->second;
}

void SimMeter::clearLog()
{
    m_log.clear();
    m_counts.clear();
    m_exchanges = 0;
}

void SimMeter::noteUndeliveredFrame(const std::uint8_t *frame, SimLink link)
{
    logEntry(link, false, false, frame, FrameLength);
    if (link == SimLink::Serial)
        m_faults.onAbsentAttempt();
}

std::optional<SimReply> SimMeter::receiveFrame(const std::uint8_t *frame, SimLink link)
{
    if (m_faults.deviceAbsent()) {
        noteUndeliveredFrame(frame, link);
        return std::nullopt;
    }
    advance();
    logEntry(link, false, true, frame, FrameLength);
    if (frame[0] != FrameStart || frame[6] != FrameEnd)
        return std::nullopt; // not a frame: ignored
    const char letter = char(frame[1]);
    ++m_exchanges;
    ++m_counts[letter];
    const SimFault fault = m_faults.onExchange(letter);
    m_awaitBlock = 0;

    if (link == SimLink::Usb && (letter == cmd::SetClock || letter == cmd::WriteDefaults)) {
        m_download = false;
        m_awaitBlock = letter;
        m_awaitFault = fault;
        return std::nullopt;
    }
    int kind = KindNone;
    QByteArray reply = respond(frame, link, kind);
    if (reply.isEmpty())
        return std::nullopt;
    return deliver(std::move(reply), kind, fault, link);
}

std::optional<SimReply> SimMeter::receiveData(const std::uint8_t *block, int length, SimLink link)
{
    if (m_faults.deviceAbsent()) {
        logEntry(link, true, false, block, length);
        return std::nullopt;
    }
    advance();
    logEntry(link, true, true, block, length);
    if (!m_awaitBlock || length < ShortReplyLength)
        return std::nullopt;
    const char letter = m_awaitBlock;
    m_awaitBlock = 0;
    int kind = KindNone;
    QByteArray reply = respondBlock(letter, block, kind);
    return deliver(std::move(reply), kind, m_awaitFault, link);
}

std::optional<SimReply> SimMeter::deliver(QByteArray reply, int kind, SimFault fault, SimLink link)
{
    auto junk = [this]() {
        m_junk ^= m_junk << 13;
        m_junk ^= m_junk >> 17;
        m_junk ^= m_junk << 5;
        return char(m_junk & 0xFF);
    };
    const int latencyMs = link == SimLink::Usb ? m_usbLatencyMs : m_serialTurnaroundMs;
    SimReply out;
    out.dueUs = m_clock->nowUs() + std::int64_t(latencyMs) * 1000;
    switch (fault) {
    case SimFault::None:
        break;
    case SimFault::NoReply:
        return std::nullopt;
    case SimFault::LateReply:
        out.dueUs += std::int64_t(m_faults.lateDelayMs()) * 1000;
        break;
    case SimFault::ShortReply:
        reply.truncate(std::clamp(m_faults.shortLength(), 0, int(reply.size()) - 1));
        break;
    case SimFault::WrongMarkers: {
        const Marks &m = MarksOf[kind];
        for (int i = 0; i < m.count; ++i)
            reply[m.at[i]] = char(~std::uint8_t(reply[m.at[i]]));
        break;
    }
    case SimFault::WrongChecksum:
        if (kind == KindLive)
            reply[10] = char(std::uint8_t(reply[10]) ^ 0x01); // RH, low byte
        else if (kind == KindPage)
            reply[0] = char(std::uint8_t(reply[0]) ^ 0x01);
        break;
    case SimFault::StrayBytes: {
        QByteArray stray;
        for (int i = 0; i < m_faults.strayCount(); ++i)
            stray.append(junk());
        reply.prepend(stray);
        break;
    }
    case SimFault::Garbage:
        for (int i = 0; i < reply.size(); ++i)
            reply[i] = junk();
        reply[0] = char(0xFF); // never a start marker
        break;
    }
    out.bytes = std::move(reply);
    return out;
}

} // namespace kv

#pragma once
// The simulated KV3917: a model of the meter's side of every command, shared
// by the in-process USB transport (SimUsbTransfer: tests and demo mode) and
// the serial byte stream (SimSerialLink: pseudo-terminal and SimSerialPort).
//
// State
//   Measurements: RH (%), T1 (air, degrees C) and T2 (thermocouple, degrees
//   C) drift around set points along a smooth curve with a little noise.  The
//   curve is a pure function of the seed and the time step, so the same seed
//   and clock give the same readings.  setDrift(false) freezes them at the set
//   points; setReading() moves the set points.  The meter measures once per
//   SimMeasurePeriodMs; all state is brought up to date lazily from the clock
//   before each command or query.
//
//   Memory cells: the 262144-byte logger memory (SimMemorySize).  Its low
//   cells hold the settings at the positions of the information reply 'X':
//     2 Bluetooth, 3 alarm, 4-5 alarm high, 6-7 alarm low (signed, degrees F,
//     compared with T2), 8-9 data set count, 10-12 memory pointer (last used
//     byte, so the used size is pointer + 1), 13-14 recording interval
//     (minutes, seconds as plain numbers), 16 unit flags (0x40 C, 0x80 K,
//     neither F), 18 thermocouple type (0 K,1 J,2 E,3 T,4 N,5 R,6 S),
//     22-24 RH/T1/T2 offsets, 30 sleep time code, 31 firmware version.
//   Data sets start at 2816: A5 5A, header with BCD start time, interval,
//   unit/type nibbles, N, offsets, N samples of 8 bytes (RH x10, T1 x10 in
//   C, T2 x10 in F, 0), end marker 5A A5.  A new meter holds a few data sets
//   so a download shows something; loadLoggerImage() replaces the memory.
//   'W' and 'r' read and write these cells; 's' and 'e' rewrite the low ones.
//
//   Display: unit (C -> F -> K -> C with the C/F key), HOLD (freezes the shown
//   values), MAX/MIN/AVG (statistics since the mode was entered, symbols
//   blinking while active), REC (the meter's own logging: a data set grows at
//   the recording interval; FULL when the memory is full), MEM (100 reading
//   locations 0..99, the small digits show the location), RECALL (steps back
//   through the stored readings and then leaves), back light, battery marks,
//   auto power-off symbol (lit when the sleep time is not OFF; the meter
//   stays on while a computer talks to it), thermocouple type, alarm marks
//   (LimitMark1 = above the high limit, LimitMark2 = below the low limit).
//
// Replies
//   'A' 64 bytes: values in bytes 9..14 and display memory 38..57 always
//   describe the same shown values; byte 6 flags out-of-range channels (bit n
//   over range, bit n+4 under range; n = 0 RH, 1 T1, 2 T2) and such a line
//   reads "OL" ("-OL" below range); byte 62 is the checksum on both links;
//   the Bluetooth symbol is lit over the serial link or when Bluetooth is on.
//   'K' 32 bytes with "522" at 23..25.  Panel keys and most setup commands:
//   32 bytes, "OK" at 2,3 ("NG" when the meter refuses the parameters).
//   'W'/'r': 02 'W'/'r', address, value.  'X': 64 bytes, cells 0..31 and the
//   clock in BCD at 40..46.  'Y'/'Z'/'v': coefficients and sensor data, "OK" at
//   28/30/30.  'Q', 'q' and 't'/'s' before their 32-byte block: no reply.
//
//   Logger download: 'P' opens it (USB: page number n in frame bytes 2,3,
//   counted from 1, so 'P' 1 sends the first 32 bytes; n = 0 counts as 1;
//   serial: always from the start).  'p' sends the next page; 'r' (USB) steps
//   back one page and resends it, so the 'p' after it brings again the page
//   whose reply was lost; 'n' (serial) resends the last page; 'q' or 'Q' end
//   it, and so does any command other than 'A', 'P', 'p', 'r', 'n'.  A page reply is 36 bytes: data, page number (the number
//   requested for 'P', the page's own number otherwise), check byte (sum of
//   the data), 5.  Outside a download 'r' reads a cell and 'n' erases the MEM
//   locations (USB only).
//
// Use
//   demo mode:  SimMeter meter;  SimUsbTransfer usb(meter);  MeterLink link(usb);
//   tests:      ManualSimClock clock;  SimMeter meter(&clock, options with
//               drift = false, prefillLogger = false, a fixed meterClock);
//               waits inside the transports then advance the manual clock.
//   pty server: SimMeter meter;  SimSerialLink link(meter);  feed link.write()
//               with what the pty delivers, send link.read(), sleep until
//               link.nextArrivalUs().
//   faults:     meter.faults().inject(SimFault::NoReply, 1, 'p') and friends.
//   downloads:  SimDownloadRig (sim/simdownloadrig.h) runs the program's
//               logger download against a meter on a manual clock, and
//               RunSimDownloadSoak many of them with random page faults.
//   log:        meter.log(), meter.lastFrame(), meter.frameCount('A').
//
// Threads: an instance is not shared between threads; one thread owns a
// meter and its transports (a pty server thread may own one of its own).
// No state is static, so instances on different threads are independent.

#include "link/commandframe.h"
#include "sim/simclock.h"
#include "sim/simfaults.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kv {

constexpr int SimMemorySize = 0x40000;
constexpr int SimDataSetStart = 0x0B00;
constexpr int SimEmptyPointer = SimDataSetStart - 1;
constexpr int SimMemoryEnd = 258815;      // last byte a data set may use
constexpr int SimMemLocations = 100;      // MEM/RECALL locations 0..99
constexpr int SimMeasurePeriodMs = 500;   // one measurement per period
constexpr int SimMemShowMs = 2000;        // MEM symbol and location after 'm'
constexpr int SimUsbLatencyMs = 2;        // reply ready after a frame (USB)
constexpr int SimSerialTurnaroundMs = 10; // first reply byte after a frame (serial)
constexpr int SimMaxCatchUpSteps = 20000; // measurement steps replayed at most
constexpr int SimFrameLogLimit = 4096;    // frames kept in the log
constexpr std::uint32_t SimDefaultSeed = 3917;

// Cells of the settings (positions of the information reply).
namespace simcell {
constexpr int Bluetooth = 2;
constexpr int Alarm = 3;
constexpr int AlarmHigh = 4;
constexpr int AlarmLow = 6;
constexpr int DataSetCount = 8;
constexpr int MemoryPointer = 10;
constexpr int IntervalMinutes = 13;
constexpr int IntervalSeconds = 14;
constexpr int UnitFlags = 16;
constexpr int ThermoType = 18;
constexpr int RhOffset = 22;
constexpr int T1Offset = 23;
constexpr int T2Offset = 24;
constexpr int SleepTime = 30;
constexpr int Firmware = 31;
} // namespace simcell

constexpr std::uint8_t SimUnitFlagCelsius = 0x40;
constexpr std::uint8_t SimUnitFlagKelvin = 0x80;

enum class SimLink : std::uint8_t { Usb, Serial };
enum class SimMma : std::uint8_t { Off, Max, Min, Avg };

// One reading in the meter's own units: tenths of %RH, of degrees C (T1) and
// of degrees F (T2), as carried by the live reply and the logger samples.
struct SimSample {
    int rh10 = 0;
    int t1C10 = 0;
    int t2F10 = 0;
};

// A data set to place in the logger memory.
struct SimDataSet {
    QDateTime start;           // meter time (fields are written as BCD)
    int intervalSeconds = 2;   // stored as minutes and seconds, 1..3660
    std::uint8_t unit = 1;     // 0 F, 1 C, 2 K
    std::uint8_t type = 0;     // 0..6 K J E T N R S
    std::int8_t rhOffset = 0;
    std::int8_t t1Offset = 0;
    std::int8_t t2Offset = 0;
    std::vector<SimSample> samples;
};

// Frame and data block log entry.
struct SimLogEntry {
    SimLink link = SimLink::Usb;
    bool dataBlock = false;  // a WriteData block rather than a command frame
    bool delivered = true;   // false: written while the device was away
    QByteArray bytes;        // 7 bytes of a frame, 32 of a block
    std::int64_t timeUs = 0;
    char letter() const { return !dataBlock && bytes.size() > 1 ? bytes.at(1) : char(0); }
};

// A reply on its way to the computer; it is complete at dueUs.
struct SimReply {
    QByteArray bytes;
    std::int64_t dueUs = 0;
};

struct SimOptions {
    std::uint32_t seed = SimDefaultSeed;
    bool drift = true;
    bool prefillLogger = true;
    QDateTime meterClock; // invalid: the computer's local time
    int usbLatencyMs = SimUsbLatencyMs;             // 0: replies ready at once
    int serialTurnaroundMs = SimSerialTurnaroundMs; // before the first reply byte
};

class SimMeter {
public:
    // `clock` is borrowed; without one the meter runs on real time.
    explicit SimMeter(SimClock *clock = nullptr, const SimOptions &options = {});
    ~SimMeter();
    SimMeter(const SimMeter &) = delete;
    SimMeter &operator=(const SimMeter &) = delete;

    SimClock &clock() { return *m_clock; }
    SimFaults &faults() { return m_faults; }

    // ---- exchanges (used by the transports) ----------------------------
    // A 7-byte frame arriving over `link`.  Applies faults, logs the frame
    // and returns the reply (none for silent commands and lost replies).
    std::optional<SimReply> receiveFrame(const std::uint8_t *frame, SimLink link);
    // A 32-byte block (USB WriteData) following 't' or 's'.
    std::optional<SimReply> receiveData(const std::uint8_t *block, int length, SimLink link);
    // A frame written while the device was away: logged, counted as an
    // attempt towards the device's comeback, unanswered.
    void noteUndeliveredFrame(const std::uint8_t *frame, SimLink link);
    bool deviceAbsent() const { return m_faults.deviceAbsent(); }

    // The live reply as it would be sent now, without faults.
    QByteArray liveReply(SimLink link = SimLink::Usb);

    // ---- frame log -----------------------------------------------------
    const std::deque<SimLogEntry> &log() const { return m_log; }
    QByteArray lastFrame() const;            // empty when none
    int frameCount(char letter) const;       // frames received with `letter`, ever
    int exchangeCount() const { return m_exchanges; }
    void clearLog();

    // ---- measurements --------------------------------------------------
    void setReading(double rh, double t1C, double t2C); // set points
    void setDrift(bool on);
    bool drift() const { return m_drift; }
    SimSample measured();                    // what the sensors read now

    // ---- meter state ---------------------------------------------------
    std::uint8_t displayUnit();               // 0 F, 1 C, 2 K
    void setDisplayUnit(std::uint8_t unit);
    std::uint8_t thermocoupleType();
    void setThermocoupleType(std::uint8_t type);
    bool hold() const { return m_hold; }
    SimMma mmaMode() const { return m_mma; }
    bool logging();
    bool memoryFull();
    bool backLight() const { return m_backLight; }
    bool recalling() const { return m_recall >= 0 || m_recallEmpty; }
    int storedReadings() const { return m_memCount; }
    std::optional<SimSample> storedReading(int location) const;
    int batteryLevel() const { return m_battery; }
    void setBatteryLevel(int level);          // 0 (empty) .. 3
    void setSleepCode(std::uint8_t code);     // 0 OFF, 1 10 min .. 6 8 hours
    void setAlarm(bool on, int highF, int lowF);
    void setBluetooth(bool on);
    bool bluetooth() const { return m_memory[simcell::Bluetooth] != 0; }
    void setSerialText(const QString &text) { m_serialText = text; }
    QString serialText() const { return m_serialText; }
    // The meter's own clock (a plain date and time, no time zone).
    QDateTime meterClock();
    void setMeterClock(const QDateTime &time);

    // ---- logger memory and cells ---------------------------------------
    const QByteArray &memory() const { return m_memory; }
    std::uint8_t cell(int address) const;
    void setCell(int address, std::uint8_t value);
    // Replaces the memory with `image` (bytes beyond it read 0xFF); stops
    // logging.  The settings cells come from the image as well.
    void loadLoggerImage(const QByteArray &image);
    // Empties the logger: no data sets, pointer at 2815.
    void eraseLogger();
    // Appends a data set at the memory pointer; false when it does not fit.
    bool addDataSet(const SimDataSet &set);
    int dataSetCount() const;
    int memoryPointer() const;

private:
    struct Shown;
    struct Stats {
        int max = 0, min = 0;
        long long sum = 0;
        int count = 0;
        void add(int v);
    };

    void advance();
    void measureStep(std::int64_t step);
    SimSample sampleAt(std::int64_t step) const;
    Shown shown();
    QByteArray respond(const std::uint8_t *frame, SimLink link, int &kind);
    QByteArray respondBlock(char letter, const std::uint8_t *block, int &kind);
    QByteArray ack(char letter, bool ok) const;
    QByteArray identification() const;
    QByteArray pageReply(int page, int echo);
    QByteArray cellReply(char letter, const std::uint8_t *frame, bool ok, std::uint8_t value) const;
    QByteArray infoReply();
    QByteArray calibrationReply(bool first) const;
    QByteArray sensorReply();
    QByteArray keyPress(char letter);
    std::optional<SimReply> deliver(QByteArray reply, int kind, SimFault fault, SimLink link);
    void logEntry(SimLink link, bool block, bool delivered, const std::uint8_t *bytes, int length);

    void startLogging();
    void stopLogging();
    void logSample(const SimSample &s);
    int intervalSeconds() const;
    void prefill();
    void writeU16(int address, int value);
    void writeU24(int address, int value);
    int readU16(int address) const;

    std::unique_ptr<SimClock> m_ownClock;
    SimClock *m_clock;
    SimFaults m_faults;
    std::uint32_t m_seed;
    int m_usbLatencyMs;
    int m_serialTurnaroundMs;

    // measurements
    bool m_drift;
    double m_rhSet = 45.0, m_t1Set = 23.5, m_t2Set = 24.0;
    std::int64_t m_originUs = 0;
    std::int64_t m_lastStep = -1;

    // display and keys
    bool m_hold = false;
    std::array<int, 3> m_held{};
    SimMma m_mma = SimMma::Off;
    std::array<Stats, 3> m_stats{};
    bool m_backLight = false;
    int m_battery = 3;
    std::array<std::optional<SimSample>, SimMemLocations> m_mem{};
    int m_memCount = 0;
    int m_memShownLocation = -1;
    std::int64_t m_memShownUntilUs = 0;
    bool m_memFullFlash = false;
    int m_recall = -1;        // location shown by RECALL
    bool m_recallEmpty = false;

    // logging
    bool m_logging = false;
    bool m_full = false;
    int m_setHeader = 0;
    std::int64_t m_nextLogUs = 0;

    // download session
    bool m_download = false;
    int m_page = 0;           // 0-based page last sent

    // commands waiting for a data block (USB 't' and 's')
    char m_awaitBlock = 0;
    SimFault m_awaitFault = SimFault::None;

    // meter clock: plain date-time at m_clockBaseUs
    QDateTime m_clockBase;
    std::int64_t m_clockBaseUs = 0;

    QByteArray m_memory;
    QString m_serialText = QStringLiteral("KV3917-2210-0417");

    std::deque<SimLogEntry> m_log;
    std::map<char, int> m_counts;
    int m_exchanges = 0;
    std::uint32_t m_junk = 0;
};

} // namespace kv

// The simulated meter: live reply contents, panel keys, setup commands,
// faults, and the logger download over USB and serial.

#include "link/commandframe.h"
#include "link/commands.h"
#include "live/glyphtables.h"
#include "live/livereading.h"
#include "sim/simmeter.h"
#include "sim/simserial.h"
#include "sim/simusbtransfer.h"

#include <QtTest>

#include <cstring>

using namespace kv;

namespace {

struct Exchange {
    int rc = -1;
    QByteArray reply;
    std::int64_t elapsedUs = 0;
};

// A meter on a manual clock with frozen readings, an empty logger and a fixed
// meter clock, behind the USB transport.
struct Rig {
    ManualSimClock clock;
    SimMeter meter;
    SimUsbTransfer usb;

    static SimOptions options()
    {
        SimOptions o;
        o.drift = false;
        o.prefillLogger = false;
        o.meterClock = QDateTime(QDate(2025, 3, 31), QTime(12, 0, 0), Qt::LocalTime);
        return o;
    }
    Rig() : meter(&clock, options()), usb(meter) {}

    // One USB exchange in the calling order of the program.
    Exchange send(char letter, int replyLength, std::array<std::uint8_t, 4> params = {},
                  const QByteArray &block = {})
    {
        const std::uint8_t frame[FrameLength] = {FrameStart, std::uint8_t(letter), params[0], params[1],
                                                 params[2], params[3], FrameEnd};
        Exchange x;
        const std::int64_t start = clock.nowUs();
        if (usb.OpenDevice(MeterVendorId, MeterProductId) != 0)
            return x;
        usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs);
        usb.WriteCommand(FrameLength, frame);
        usb.AfterWrite();
        if (!block.isEmpty()) {
            usb.WriteData(int(block.size()), reinterpret_cast<const std::uint8_t *>(block.constData()));
            usb.AfterWrite();
        }
        x.reply = QByteArray(replyLength, 0);
        x.rc = usb.ReadReply(replyLength, reinterpret_cast<std::uint8_t *>(x.reply.data()));
        x.elapsedUs = clock.nowUs() - start;
        return x;
    }
    QByteArray live() { return send(cmd::Live, LiveReplyLength).reply; }
    bool key(char letter) { return HasOkAt(u8(send(letter, ShortReplyLength).reply), 2); }

    static const std::uint8_t *u8(const QByteArray &b) { return reinterpret_cast<const std::uint8_t *>(b.constData()); }
};

std::uint8_t at(const QByteArray &r, int i) { return std::uint8_t(r.at(i)); }
bool bit(const QByteArray &r, int i, int b) { return (at(r, i) >> b) & 1; }
int word(const QByteArray &r, int i) { return std::int16_t((at(r, i) << 8) | at(r, i + 1)); }

QChar glyphChar(std::uint8_t g)
{
    if (g <= 9)
        return QChar('0' + g);
    return g == BlankGlyph ? QChar(' ') : g == 17 ? QChar('-') : g == 18 ? QChar('L') : QChar('?');
}

// A display line as text: the sign symbol (if lit) as a leading '-', the four
// digits, and '.' before the last digit when the line's decimal point is lit.
QString lineText(const QByteArray &r, const int (&bytes)[4], bool tableA, int minusByte, int minusBit,
                 int pointByte, int pointBit)
{
    QString s;
    if (minusByte >= 0 && bit(r, minusByte, minusBit))
        s += '-';
    for (int i = 0; i < 4; ++i) {
        if (i == 3 && pointByte >= 0 && bit(r, pointByte, pointBit))
            s += '.';
        s += glyphChar(tableA ? GlyphTableA(at(r, bytes[i])) : GlyphTableB(at(r, bytes[i])));
    }
    return s;
}
QString rhText(const QByteArray &r) { return lineText(r, {42, 43, 44, 45}, false, -1, 0, -1, 0); }
QString t1Text(const QByteArray &r) { return lineText(r, {50, 49, 48, 47}, true, 52, 5, 47, 0); }
QString t2Text(const QByteArray &r) { return lineText(r, {53, 54, 55, 56}, false, 52, 0, 56, 7); }
QString smallText(const QByteArray &r)
{
    return QString(glyphChar(GlyphTableA(at(r, 39)))) + glyphChar(GlyphTableA(at(r, 38)));
}

QByteArray frame(char letter, std::array<std::uint8_t, 4> params = {})
{
    return QByteArray::fromRawData("\x02", 1) + QByteArray(1, letter)
         + QByteArray(reinterpret_cast<const char *>(params.data()), 4) + QByteArray(1, char(FrameEnd));
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void liveReplyShowsState_data();
    void liveReplyShowsState();
    void identificationAndChecksum();
    void holdFreezesShownValues();
    void unitKeyCycles();
    void recKeyLogsIntoMemory();
    void mmaKeyStepsThroughModes();
    void backLightToggles();
    void memAndRecall();
    void setupCommands();
    void usbFaults_data();
    void usbFaults();
    void lateReplyComesLater();
    void deviceAbsentAndVanishing();
    void periodicAndTargetedFaults();
    void usbDownloadWithRetryAndResume();
    void serialLiveReply();
    void serialDownload();
    void serialPortIdentifies();
};

void TestSim::liveReplyShowsState_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("rh");
    QTest::addColumn<double>("t1");
    QTest::addColumn<double>("t2");
    QTest::addColumn<QString>("rhLine");
    QTest::addColumn<QString>("t1Line");
    QTest::addColumn<QString>("t2Line");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("t2F10");

    // RH digits carry no point of their own (they share the T1 point).
    QTest::newRow("celsius") << 1 << 0 << 54.0 << 25.0 << 26.6667 << " 540" << " 25.0" << " 26.7" << 0 << 800;
    QTest::newRow("fahrenheit") << 0 << 0 << 54.0 << 25.0 << 26.6667 << " 540" << " 77.0" << " 80.0" << 0 << 800;
    QTest::newRow("kelvin") << 2 << 0 << 54.0 << 0.0 << 0.0 << " 540" << "273.2" << "273.2" << 0 << 320;
    QTest::newRow("small values") << 1 << 0 << 0.4 << 0.0 << 0.0 << "  04" << "  0.0" << "  0.0" << 0 << 320;
    QTest::newRow("negative") << 1 << 0 << 54.0 << -5.3 << -12.5 << " 540" << "-  5.3" << "- 12.5" << 0 << 95;
    QTest::newRow("T2 above 1000") << 1 << 0 << 54.0 << 25.0 << 1200.0 << " 540" << " 25.0" << "1200" << 0 << 21920;
    QTest::newRow("RH over") << 1 << 0 << 105.0 << 25.0 << 25.0 << "  0L" << " 25.0" << " 25.0" << 0x01 << 770;
    QTest::newRow("RH under") << 1 << 0 << -2.0 << 25.0 << 25.0 << " -0L" << " 25.0" << " 25.0" << 0x10 << 770;
    QTest::newRow("T1 over") << 1 << 0 << 54.0 << 70.0 << 25.0 << " 540" << "  0.L" << " 25.0" << 0x02 << 770;
    QTest::newRow("T1 under") << 1 << 0 << 54.0 << -30.0 << 25.0 << " 540" << "-  0.L" << " 25.0" << 0x20 << 770;
    QTest::newRow("T2 over for type T") << 1 << 3 << 54.0 << 25.0 << 450.0 << " 540" << " 25.0" << "  0L" << 0x04 << 8420;
    QTest::newRow("T2 under for type S") << 1 << 6 << 54.0 << 25.0 << -5.0 << " 540" << " 25.0" << "-  0L" << 0x40 << 230;
    QTest::newRow("K limit in range") << 1 << 0 << 54.0 << 25.0 << 1372.0 << " 540" << " 25.0" << "1372" << 0 << 25016;
}

void TestSim::liveReplyShowsState()
{
    QFETCH(int, unit);
    QFETCH(int, type);
    QFETCH(double, rh);
    QFETCH(double, t1);
    QFETCH(double, t2);
    Rig rig;
    rig.meter.setDisplayUnit(std::uint8_t(unit));
    rig.meter.setThermocoupleType(std::uint8_t(type));
    rig.meter.setReading(rh, t1, t2);
    const QByteArray r = rig.live();

    QVERIFY(HasLiveMarkers(Rig::u8(r)));
    QCOMPARE(at(r, 62), LiveChecksum(Rig::u8(r)));
    QFETCH(QString, rhLine);
    QFETCH(QString, t1Line);
    QFETCH(QString, t2Line);
    QCOMPARE(rhText(r), rhLine);
    QCOMPARE(t1Text(r), t1Line);
    QCOMPARE(t2Text(r), t2Line);
    QFETCH(int, status);
    QCOMPARE(int(at(r, 6)), status);
    // Numbers agree with the display: RH x10, T1 x10 in C, T2 x10 in F.
    QCOMPARE(word(r, 9), int(std::lround(rh * 10)));
    QCOMPARE(word(r, 11), int(std::lround(t1 * 10)));
    QFETCH(int, t2F10);
    QCOMPARE(word(r, 13), t2F10);

    QCOMPARE((at(r, 2) >> 4) & 3, unit);
    QCOMPARE(at(r, 46) & 7, 1 << (unit == 1 ? 0 : unit == 0 ? 1 : 2));
    QCOMPARE((at(r, 57) >> 1) & 7, unit == 1 ? 4 : unit == 0 ? 2 : 1);
    QCOMPARE(int(at(r, 51)), 1 << (6 - type));
    QVERIFY(bit(r, 52, 1) && bit(r, 52, 2) && bit(r, 52, 6)); // "T2", TYPE, "T1"
    QVERIFY(bit(r, 45, 7));                                    // "%" "RH"
    QVERIFY(!bit(r, 52, 4));                                   // no Bluetooth over USB
    QVERIFY(bit(r, 41, 2) && bit(r, 41, 4));                   // full battery, auto power-off
}

void TestSim::identificationAndChecksum()
{
    Rig rig;
    const Exchange k = rig.send(cmd::Identify, ShortReplyLength);
    QCOMPARE(k.rc, 0);
    QVERIFY(IsMeterIdentification(Rig::u8(k.reply)));
    // The live reply echoes the sequence byte; its checksum follows it.
    const Exchange a = rig.send(cmd::Live, LiveReplyLength, {0, 0, 0, 0x7F});
    QCOMPARE(at(a.reply, 5), std::uint8_t(0x7F));
    QCOMPARE(at(a.reply, 62), LiveChecksum(Rig::u8(a.reply)));
    // Only the meter's own identifiers open.
    SimUsbTransfer other(rig.meter);
    QVERIFY(other.OpenDevice(MeterVendorId, 0x1234) != 0);
}

void TestSim::holdFreezesShownValues()
{
    Rig rig;
    rig.meter.setReading(50, 20, 30);
    QVERIFY(rig.key(cmd::KeyHold));
    rig.meter.setReading(60, 21, 31);
    rig.clock.advanceMs(2000);
    QByteArray r = rig.live();
    QVERIFY(bit(r, 40, 1));
    QCOMPARE(rhText(r), QString(" 500"));
    QCOMPARE(word(r, 9), 500);
    QCOMPARE(t1Text(r), QString(" 20.0"));
    QVERIFY(rig.key(cmd::KeyHold));
    r = rig.live();
    QVERIFY(!bit(r, 40, 1));
    QCOMPARE(word(r, 9), 600);
    QCOMPARE(t1Text(r), QString(" 21.0"));
}

void TestSim::unitKeyCycles()
{
    Rig rig;
    rig.meter.setReading(50, 25, 25);
    const int expected[] = {UnitFahrenheit, UnitKelvin, UnitCelsius, UnitFahrenheit};
    const char *t1[] = {" 77.0", "298.2", " 25.0", " 77.0"};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(rig.key(cmd::KeyUnit));
        const QByteArray r = rig.live();
        QCOMPARE((at(r, 2) >> 4) & 3, expected[i]);
        QCOMPARE(t1Text(r), QString(t1[i]));
    }
    // The unit of a data set being recorded stays.
    QVERIFY(rig.key(cmd::KeyRec));
    QVERIFY(rig.key(cmd::KeyUnit));
    QCOMPARE(int(rig.meter.displayUnit()), int(UnitFahrenheit));
}

void TestSim::recKeyLogsIntoMemory()
{
    Rig rig;
    rig.meter.setReading(45.5, 22.0, 100.0);
    QVERIFY(rig.key(cmd::KeyRec));
    QByteArray r = rig.live();
    QVERIFY(bit(r, 3, 3) && bit(r, 3, 4)); // MeterLogging, RecBlink
    QVERIFY(bit(r, 57, 5));                // REC
    rig.clock.advanceMs(10000);            // samples at 0, 2, .. 10 s
    QVERIFY(rig.key(cmd::KeyRec));
    r = rig.live();
    QVERIFY(!bit(r, 3, 3) && !bit(r, 3, 4) && !bit(r, 57, 5));

    const QByteArray &m = rig.meter.memory();
    const int h = SimDataSetStart;
    const int n = 6;
    QCOMPARE(rig.meter.dataSetCount(), 1);
    QCOMPARE(at(m, h), std::uint8_t(0xA5));
    QCOMPARE(at(m, h + 1), std::uint8_t(0x5A));
    QCOMPARE(m.mid(h + 3, 6), QByteArray::fromHex("250331120000")); // BCD start
    QCOMPARE(at(m, h + 9), std::uint8_t(0));
    QCOMPARE(at(m, h + 10), std::uint8_t(2));
    QCOMPARE(at(m, h + 11), std::uint8_t(0x10)); // C, type K
    QCOMPARE(word(m, h + 12), n);
    for (int k = 0; k < n; ++k) {
        QCOMPARE(word(m, h + 18 + 8 * k), 455);
        QCOMPARE(word(m, h + 20 + 8 * k), 220);
        QCOMPARE(word(m, h + 22 + 8 * k), 2120);
    }
    QCOMPARE(at(m, h + 18 + 8 * n), std::uint8_t(0x5A));
    QCOMPARE(at(m, h + 19 + 8 * n), std::uint8_t(0xA5));
    QCOMPARE(rig.meter.memoryPointer(), h + 19 + 8 * n);
    rig.clock.advanceMs(10000);
    QCOMPARE(word(m, h + 12), n); // stopped
}

void TestSim::mmaKeyStepsThroughModes()
{
    Rig rig;
    rig.meter.setReading(50, 20, 20);
    QVERIFY(rig.key(cmd::KeyMma));
    rig.clock.advanceMs(SimMeasurePeriodMs);
    rig.meter.setReading(70, 20, 20);
    rig.clock.advanceMs(SimMeasurePeriodMs);
    rig.meter.setReading(40, 20, 20);
    rig.clock.advanceMs(SimMeasurePeriodMs); // readings 50, 50, 70, 40

    QByteArray r = rig.live();
    QVERIFY(bit(r, 3, 6) && bit(r, 4, 3)); // MmaMode, MmaBlink
    QVERIFY(bit(r, 40, 2) && !bit(r, 40, 3) && !bit(r, 40, 4));
    QCOMPARE(rhText(r), QString(" 700"));
    QCOMPARE(word(r, 9), 700);
    QVERIFY(rig.key(cmd::KeyMma));
    r = rig.live();
    QVERIFY(bit(r, 40, 3) && !bit(r, 40, 2));
    QCOMPARE(rhText(r), QString(" 400"));
    QVERIFY(rig.key(cmd::KeyMma));
    r = rig.live();
    QVERIFY(bit(r, 40, 4));
    QCOMPARE(rhText(r), QString(" 525"));
    QVERIFY(rig.key(cmd::KeyMma));
    QVERIFY(bit(rig.live(), 40, 2)); // back to MAX
    QVERIFY(rig.key(cmd::KeyMmaLeave));
    r = rig.live();
    QVERIFY(!bit(r, 3, 6) && !bit(r, 4, 3) && (at(r, 40) & 0x1C) == 0);
    QCOMPARE(rhText(r), QString(" 400"));
}

void TestSim::backLightToggles()
{
    Rig rig;
    QVERIFY(!rig.meter.backLight());
    QVERIFY(rig.key(cmd::KeyBackLight));
    QVERIFY(rig.meter.backLight());
    QVERIFY(rig.key(cmd::KeyBackLight));
    QVERIFY(!rig.meter.backLight());
}

void TestSim::memAndRecall()
{
    Rig rig;
    rig.meter.setReading(50, 20, 20);
    QVERIFY(rig.key(cmd::KeyMem));
    QByteArray r = rig.live();
    QVERIFY(bit(r, 40, 5));
    QCOMPARE(smallText(r), QString("00"));
    rig.meter.setReading(60, 21, 21);
    QVERIFY(rig.key(cmd::KeyMem));
    QCOMPARE(smallText(rig.live()), QString("01"));
    rig.clock.advanceMs(SimMemShowMs);
    r = rig.live();
    QVERIFY(!bit(r, 40, 5));
    QCOMPARE(smallText(r), QString("  "));

    rig.meter.setReading(70, 22, 22);
    QVERIFY(rig.key(cmd::KeyRecall));
    r = rig.live();
    QVERIFY(bit(r, 39, 0));
    QCOMPARE(smallText(r), QString("01"));
    QCOMPARE(rhText(r), QString(" 600"));
    QCOMPARE(word(r, 9), 600);
    QVERIFY(rig.key(cmd::KeyRecall));
    QCOMPARE(rhText(rig.live()), QString(" 500"));
    QVERIFY(rig.key(cmd::KeyRecall)); // past the oldest: back to live
    r = rig.live();
    QVERIFY(!bit(r, 39, 0));
    QCOMPARE(rhText(r), QString(" 700"));

    // 'n' erases the locations; RECALL then shows dashes.
    QVERIFY(rig.key(cmd::EraseLow));
    QCOMPARE(rig.meter.storedReadings(), 0);
    QVERIFY(rig.key(cmd::KeyRecall));
    r = rig.live();
    QVERIFY(bit(r, 39, 0));
    QCOMPARE(rhText(r), QString("----"));
}

void TestSim::setupCommands()
{
    Rig rig;
    // Interval 05:30 as BCD; 00:00 is refused.
    QVERIFY(HasOkAt(Rig::u8(rig.send(cmd::SetInterval, 32, {0x05, 0x30}).reply), 2));
    QVERIFY(!HasOkAt(Rig::u8(rig.send(cmd::SetInterval, 32, {0x00, 0x00}).reply), 2));

    // Clock report of 31 Dec 2009 14:07:09.
    QByteArray clock(32, 0);
    const char rtc[] = "\x09\x07\x14\x31\x12\x00\x09\x00rtc";
    std::memcpy(clock.data(), rtc, 11);
    QVERIFY(HasOkAt(Rig::u8(rig.send(cmd::SetClock, 32, {}, clock).reply), 2));

    Exchange x = rig.send(cmd::ReadInfo, 64);
    QCOMPARE(x.rc, 0);
    QCOMPARE(at(x.reply, 13), std::uint8_t(5));
    QCOMPARE(at(x.reply, 14), std::uint8_t(30));
    QCOMPARE(x.reply.mid(40, 5), QByteArray::fromHex("0907143112"));
    QCOMPARE(at(x.reply, 46), std::uint8_t(0x09));
    QCOMPARE(at(x.reply, 16) & 0x40, 0x40); // C
    QCOMPARE(int(at(x.reply, 31)), 123);

    // Defaults: alarm limits 212 / -4, pointer 2815, and only set positions.
    rig.meter.setCell(simcell::ThermoType + 1, 0x77);
    QByteArray defaults(32, char(0x33));
    const unsigned char def[] = {'A', 'L', 'L', 0, 0x00, 0xD4, 0xFF, 0xFC, 0, 0, 0x00, 0x0A, 0xFF, 0, 2, 0x14};
    std::memcpy(defaults.data(), def, sizeof def);
    defaults[18] = 0;
    defaults[30] = 2;
    QVERIFY(HasOkAt(Rig::u8(rig.send(cmd::WriteDefaults, 32, {}, defaults).reply), 2));
    x = rig.send(cmd::ReadInfo, 64);
    QCOMPARE(word(x.reply, 4), 212);
    QCOMPARE(word(x.reply, 6), -4);
    QCOMPARE(x.reply.mid(10, 3), QByteArray::fromHex("000AFF"));
    QCOMPARE(at(x.reply, 19), std::uint8_t(0x77)); // not a default position

    // One cell written and read back; QUICK REC-style cell 8/9 writes change
    // the data set count.
    const std::array<std::uint8_t, 4> cellParams{0x00, 0x0B, 0x00, 44};
    x = rig.send(cmd::WriteCell, 32, cellParams);
    QCOMPARE(x.reply.left(2), QByteArray("\x02W"));
    x = rig.send(cmd::ReadCell, 32, {0x00, 0x0B, 0x00, 0});
    QCOMPARE(x.reply.left(2), QByteArray("\x02r"));
    QCOMPARE(at(x.reply, 5), std::uint8_t(44));
    QVERIFY(rig.send(cmd::WriteCell, 32, {0x04, 0x00, 0x00, 1}).reply.left(2) != QByteArray("\x02W"));
    rig.send(cmd::WriteCell, 32, {0, 0, 9, 1});
    QCOMPARE(rig.meter.dataSetCount(), 1);
    QVERIFY(HasOkAt(Rig::u8(rig.send(cmd::EraseMemory, 32).reply), 2));
    QCOMPARE(rig.meter.dataSetCount(), 0);
    QCOMPARE(rig.meter.memoryPointer(), SimEmptyPointer);

    // Calibration and sensor module replies.
    x = rig.send(cmd::ReadCalibration1, 32);
    QVERIFY(HasOkAt(Rig::u8(x.reply), 28));
    const std::uint32_t gainBits = (std::uint32_t(at(x.reply, 8)) << 24) | (at(x.reply, 7) << 16) | (at(x.reply, 6) << 8);
    float gain;
    std::memcpy(&gain, &gainBits, sizeof gain);
    QVERIFY(gain > 0.99f && gain < 1.01f);
    QVERIFY(HasOkAt(Rig::u8(rig.send(cmd::ReadCalibration2, 32).reply), 30));
    x = rig.send(cmd::ReadSensor, 32);
    QVERIFY(HasOkAt(Rig::u8(x.reply), 30));
    QCOMPARE(x.reply.mid(12, 4), QByteArray("QM41"));

    std::uint8_t text[32];
    std::memset(text, 0xEE, sizeof text);
    QCOMPARE(rig.usb.ReadSerialText(0, text, 32), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(text)), rig.meter.serialText().toLatin1());

    // The log saw every frame and both blocks.
    QCOMPARE(rig.meter.frameCount(cmd::WriteCell), 3);
    QCOMPARE(rig.meter.lastFrame(), frame(cmd::ReadSensor));
    int blocks = 0;
    for (const SimLogEntry &e : rig.meter.log())
        blocks += e.dataBlock ? 1 : 0;
    QCOMPARE(blocks, 2);
}

void TestSim::usbFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("readOk");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<bool>("markersOk");
    QTest::addColumn<bool>("checksumOk");

    QTest::newRow("none") << int(SimFault::None) << true << SimUsbLatencyMs << true << true;
    QTest::newRow("no reply") << int(SimFault::NoReply) << false << LinkReadTimeoutMs << false << false;
    QTest::newRow("late") << int(SimFault::LateReply) << false << LinkReadTimeoutMs << false << false;
    QTest::newRow("short") << int(SimFault::ShortReply) << false << LinkReadTimeoutMs << false << false;
    QTest::newRow("markers") << int(SimFault::WrongMarkers) << true << SimUsbLatencyMs << false << false;
    QTest::newRow("checksum") << int(SimFault::WrongChecksum) << true << SimUsbLatencyMs << true << false;
    QTest::newRow("stray") << int(SimFault::StrayBytes) << true << SimUsbLatencyMs << false << false;
    QTest::newRow("garbage") << int(SimFault::Garbage) << true << SimUsbLatencyMs << false << false;
}

void TestSim::usbFaults()
{
    QFETCH(int, fault);
    QFETCH(bool, readOk);
    QFETCH(int, elapsedMs);
    QFETCH(bool, markersOk);
    QFETCH(bool, checksumOk);
    Rig rig;
    rig.meter.setReading(50, 20, 20);
    const QByteArray good = rig.live();
    rig.meter.faults().inject(SimFault(fault));

    const Exchange x = rig.send(cmd::Live, LiveReplyLength);
    QCOMPARE(x.rc == 0, readOk);
    QCOMPARE(x.elapsedUs, std::int64_t(elapsedMs) * 1000); // no busy wait: the clock was slept on
    QCOMPARE(HasLiveMarkers(Rig::u8(x.reply)), markersOk);
    QCOMPARE(HasLiveMarkers(Rig::u8(x.reply)) && at(x.reply, 62) == LiveChecksum(Rig::u8(x.reply)), checksumOk);
    if (SimFault(fault) == SimFault::ShortReply)
        QCOMPARE(x.reply.left(rig.meter.faults().shortLength()), good.left(rig.meter.faults().shortLength()));
    // One exchange only: the next one is sound again.
    QCOMPARE(rig.live(), good);
}

void TestSim::lateReplyComesLater()
{
    Rig rig;
    rig.meter.faults().inject(SimFault::LateReply);
    const Exchange x = rig.send(cmd::Identify, ShortReplyLength);
    QVERIFY(x.rc != 0);
    QVERIFY(rig.usb.replyWaiting());
    rig.clock.advanceMs(rig.meter.faults().lateDelayMs());
    std::uint8_t buffer[32] = {};
    QCOMPARE(rig.usb.ReadReply(32, buffer), 0);
    QVERIFY(IsMeterIdentification(buffer));

    // With late replies queueing, a reply still on its way when the next
    // frame goes out is read in front of that frame's reply.
    rig.usb.setLateRepliesQueue(true);
    rig.meter.faults().inject(SimFault::LateReply);
    QVERIFY(rig.send(cmd::Identify, ShortReplyLength).rc != 0);
    const Exchange next = rig.send(cmd::KeyHold, ShortReplyLength);
    QVERIFY(next.rc != 0); // the late reply is not due within this read either
    rig.clock.advanceMs(rig.meter.faults().lateDelayMs());
    QCOMPARE(rig.usb.ReadReply(32, buffer), 0);
    QVERIFY(IsMeterIdentification(buffer));
    QCOMPARE(rig.usb.ReadReply(32, buffer), 0);
    QVERIFY(HasOkAt(buffer, 2)); // then the reply to HOLD
    // A write drops only replies that have already arrived.
    QVERIFY(!rig.usb.replyWaiting());
}

void TestSim::deviceAbsentAndVanishing()
{
    Rig rig;
    rig.meter.faults().setDeviceAbsent(true);
    QVERIFY(rig.usb.OpenDevice(MeterVendorId, MeterProductId) != 0);
    QCOMPARE(rig.send(cmd::Identify, 32).rc, -1);
    rig.meter.faults().setDeviceAbsent(false);
    QCOMPARE(rig.send(cmd::Identify, 32).rc, 0);

    // Gone after two exchanges, back after three failed attempts.
    rig.meter.faults().vanishAfter(2, 3);
    QCOMPARE(rig.send(cmd::Live, 64).rc, 0);
    QCOMPARE(rig.send(cmd::Live, 64).rc, 0);
    for (int i = 0; i < 3; ++i)
        QVERIFY(rig.send(cmd::Live, 64).rc != 0);
    QCOMPARE(rig.send(cmd::Live, 64).rc, 0);

    // A frame written to an open handle after the device went away is logged
    // as undelivered and fails.
    rig.meter.faults().vanishAfter(1);
    QCOMPARE(rig.send(cmd::Live, 64).rc, 0);
    const std::uint8_t hold[FrameLength] = {FrameStart, std::uint8_t(cmd::KeyHold), 0, 0, 0, 0, FrameEnd};
    QVERIFY(rig.usb.WriteCommand(FrameLength, hold) != 0);
    QVERIFY(!rig.meter.log().back().delivered);
    QVERIFY(!rig.meter.hold());

    // USB cable pulled: the serial side still answers.
    rig.meter.faults().setDeviceAbsent(false);
    rig.usb.setUnplugged(true);
    QCOMPARE(rig.send(cmd::Identify, 32).rc, -1);
    SimSerialLink serial(rig.meter, SimSerialPacing::Burst);
    serial.write(frame(cmd::Identify));
    rig.clock.advanceMs(SimSerialTurnaroundMs);
    QVERIFY(IsMeterIdentification(Rig::u8(serial.read())));
}

void TestSim::periodicAndTargetedFaults()
{
    Rig rig;
    rig.meter.faults().failEvery(3);
    QString pattern;
    for (int i = 0; i < 7; ++i)
        pattern += rig.send(cmd::Live, 64).rc == 0 ? 'o' : 'x';
    QCOMPARE(pattern, QString("ooxooxo"));
    rig.meter.faults().clear();

    // The third 'K' after two clean ones has wrong markers; 'A' is untouched.
    rig.meter.faults().inject(SimFault::WrongMarkers, 1, cmd::Identify, 2);
    pattern.clear();
    for (int i = 0; i < 4; ++i) {
        QVERIFY(HasLiveMarkers(Rig::u8(rig.live())));
        pattern += IsMeterIdentification(Rig::u8(rig.send(cmd::Identify, 32).reply)) ? 'o' : 'x';
    }
    QCOMPARE(pattern, QString("ooxo"));
    QCOMPARE(rig.meter.frameCount(cmd::Identify), 4);
    QCOMPARE(rig.meter.frameCount(cmd::Live), 7 + 4);
}

void TestSim::usbDownloadWithRetryAndResume()
{
    Rig rig;
    SimDataSet set;
    set.start = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    for (int k = 0; k < 10; ++k)
        set.samples.push_back({500 + k, 200 + k, 700 + k});
    QVERIFY(rig.meter.addDataSet(set));
    // Page 3 of the 'p' requests is lost once.
    rig.meter.faults().inject(SimFault::NoReply, 1, cmd::PageNext, 2);

    Exchange first = rig.send(cmd::PageStart, PageReplyLength, {0x00, 0x01});
    QCOMPARE(first.rc, 0);
    QCOMPARE(at(first.reply, 35), std::uint8_t(5));
    QCOMPARE(first.reply.mid(32, 2), QByteArray::fromHex("0001"));
    const int expected = ((at(first.reply, 10) << 16) | (at(first.reply, 11) << 8) | at(first.reply, 12)) + 1;
    QCOMPARE(expected, SimDataSetStart + 80 + 20);
    const int transfer = (expected + 31) / 32 * 32;

    QByteArray image = first.reply.left(32);
    int retries = 0;
    while (image.size() < transfer) {
        const Exchange page = rig.send(cmd::PageNext, PageReplyLength);
        if (page.rc == 0) {
            QCOMPARE(at(page.reply, 34), PageChecksum(Rig::u8(page.reply)));
            image += page.reply.left(32);
            continue;
        }
        ++retries; // the program's answer to a lost page: 'r', reply dropped
        QCOMPARE(rig.send(cmd::PageRetry, PageReplyLength).rc, 0);
    }
    rig.send(cmd::PageEnd, 0);
    QCOMPARE(retries, 1);
    QCOMPARE(image, rig.meter.memory().left(transfer));

    // Resume at page 300: 'P' 300 is echoed, the next 'p' brings bytes 300*32.
    Exchange sel = rig.send(cmd::PageStart, PageReplyLength, {0x01, 0x2C});
    QCOMPARE(sel.reply.mid(32, 2), QByteArray::fromHex("012C"));
    QCOMPARE(at(sel.reply, 35), std::uint8_t(5));
    const Exchange next = rig.send(cmd::PageNext, PageReplyLength);
    QCOMPARE(next.reply.left(32), rig.meter.memory().mid(300 * 32, 32));
    rig.send(cmd::PageEnd, 0);
    // Outside a download 'p' goes unanswered and 'r' reads a cell.
    QVERIFY(rig.send(cmd::PageNext, PageReplyLength).rc != 0);
    QCOMPARE(rig.send(cmd::ReadCell, 32, {0, 0, 8, 0}).reply.left(2), QByteArray("\x02r"));
}

void TestSim::serialLiveReply()
{
    ManualSimClock clock;
    SimMeter meter(&clock, Rig::options());
    SimSerialLink link(meter);
    meter.setReading(54, 25, 25);

    // Junk and a frame in two pieces.
    link.write(QByteArray("\x55\x03", 2) + frame(cmd::Live).left(3));
    link.write(frame(cmd::Live).mid(3));
    QCOMPARE(link.available(), 0);
    clock.advanceMs(SimSerialTurnaroundMs);
    QVERIFY(link.available() < LiveReplyLength); // still on the wire
    clock.advanceMs(200);
    QCOMPARE(link.available(), LiveReplyLength);
    const QByteArray r = link.read();
    QVERIFY(HasLiveMarkers(Rig::u8(r)));
    QCOMPARE(at(r, 62), LiveChecksum(Rig::u8(r)));
    QVERIFY(bit(r, 52, 4)); // Bluetooth symbol over the serial link
    QCOMPARE(word(r, 9), 540);

    meter.faults().inject(SimFault::WrongChecksum);
    link.write(frame(cmd::Live));
    clock.advanceMs(200);
    const QByteArray bad = link.read();
    QVERIFY(HasLiveMarkers(Rig::u8(bad)));
    QVERIFY(at(bad, 62) != LiveChecksum(Rig::u8(bad)));

    // The panel keys are not answered over the serial link.
    link.write(frame(cmd::KeyHold));
    clock.advanceMs(200);
    QCOMPARE(link.inFlight(), 0);
    QVERIFY(!meter.hold());
}

void TestSim::serialDownload()
{
    ManualSimClock clock;
    SimMeter meter(&clock, Rig::options());
    SimSerialLink link(meter, SimSerialPacing::Burst);
    SimDataSet set;
    for (int k = 0; k < 20; ++k)
        set.samples.push_back({400 + k, 100 - k, 900 + 3 * k});
    QVERIFY(meter.addDataSet(set));
    meter.faults().inject(SimFault::WrongChecksum, 1, cmd::PageNext, 1);

    auto request = [&](char letter) {
        link.write(frame(letter));
        clock.advanceMs(100);
        return link.read();
    };
    QByteArray page = request(cmd::PageStart); // frame bytes 2,3 are 0: from the start
    QCOMPARE(page.size(), PageReplyLength);
    QCOMPARE(at(page, 35), std::uint8_t(5));
    QByteArray image = page.left(32);
    int resent = 0;
    while (image.size() < 8 * 32) {
        page = request(cmd::PageNext);
        while (at(page, 34) != PageChecksum(Rig::u8(page))) {
            ++resent;
            page = request(cmd::PageBad); // the same page again
        }
        image += page.left(32);
    }
    request(cmd::PageEnd);
    QCOMPARE(resent, 1);
    QCOMPARE(image, meter.memory().left(8 * 32));
    // 'r' is a USB command: no answer over the serial link.
    link.write(frame(cmd::PageStart));
    clock.advanceMs(100);
    link.read();
    QVERIFY(request(cmd::PageRetry).isEmpty());
}

void TestSim::serialPortIdentifies()
{
    ManualSimClock clock;
    SimMeter meter(&clock, Rig::options());
    SimSerialPort port(meter, QStringLiteral("SIM"));
    port.setDeviceName(QStringLiteral("\\\\.\\COM3"));
    QVERIFY(!port.open());
    port.setDeviceName(QStringLiteral("\\\\.\\SIM"));
    QVERIFY(port.open());
    const QByteArray k = frame(cmd::Identify);
    QCOMPARE(port.write(Rig::u8(k), int(k.size())), int(k.size()));
    const std::int64_t start = clock.nowUs();
    while (port.waitingCount() < ShortReplyLength && clock.nowUs() - start < 500000)
        port.waitForInput(500);
    std::uint8_t buffer[64] = {};
    QCOMPARE(port.read(buffer, 64), ShortReplyLength);
    QVERIFY(IsMeterIdentification(buffer));
    port.close();
    QCOMPARE(port.waitingCount(), 0);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"

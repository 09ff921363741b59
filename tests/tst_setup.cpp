// Meter setup and service without the window: reports, typed input, the
// decoding of the information, coefficient and sensor replies, and every
// operation against the simulated meter (attempts, codes, pauses, the state
// the meter keeps afterwards, polling given back).

#include "link/commands.h"
#include "link/meterlink.h"
#include "setup/meterservice.h"
#include "setup/servicecommand.h"
#include "setup/setupreplies.h"
#include "tests/support/setuprig.h"

#include <QtTest>

#include <cstring>

using namespace kv;
using kvtest::SetupRig;

namespace {

std::uint8_t at(const QByteArray &b, int i) { return std::uint8_t(b.at(i)); }

QString Field(const MeterInformation &info, const QString &name)
{
    for (const auto &f : InformationFields(info, QStringLiteral("SN")))
        if (f.first == name)
            return f.second;
    return QStringLiteral("<no field>");
}

// The start of the data set at `h` as a logger reads it: six BCD bytes, the
// year counted from 2000; invalid when a byte is not BCD.
QDateTime BcdStart(const QByteArray &memory, int h)
{
    int v[6];
    for (int i = 0; i < 6; ++i) {
        const std::uint8_t b = at(memory, h + 3 + i);
        if ((b >> 4) > 9 || (b & 0x0F) > 9)
            return {};
        v[i] = (b >> 4) * 10 + (b & 0x0F);
    }
    return QDateTime(QDate(2000 + v[0], v[1], v[2]), QTime(v[3], v[4], v[5]), Qt::LocalTime);
}

// Counts the poll timer's stops and starts.
struct CountingTimer : LinkTimer {
    int stops = 0;
    int starts = 0;
    void stopPolling() override { ++stops; }
    void startPolling() override { ++starts; }
};

enum Operation { OpClock, OpInterval, OpErase, OpDefaults, OpInfo, OpCalibration, OpSensor, OpEraseLocations };

ServiceResult Run(MeterService &service, int op)
{
    switch (op) {
    case OpClock:
        return service.setMeterClock();
    case OpInterval:
        return service.setRecordingInterval({0x05, 0x30});
    case OpErase:
        return service.eraseMemory();
    case OpDefaults:
        return service.writeDefaults();
    case OpInfo:
        return service.readInformation();
    case OpCalibration:
        return service.readCalibration();
    case OpSensor:
        return service.readSensorModule();
    default:
        return service.eraseLocations();
    }
}

} // namespace

class TestSetup : public QObject {
    Q_OBJECT

private slots:
    void intervalRules_data();
    void intervalRules();
    void wholeNumbersAndAccessCode_data();
    void wholeNumbersAndAccessCode();
    void clockReport();
    void informationFields_data();
    void informationFields();
    void coefficientsAndSensor_data();
    void coefficientsAndSensor();
    void operationFaults_data();
    void operationFaults();
    void unpluggedClockFailsWith405();
    void cellsReadAndWritten();
    void cellWriteRetriesOnWrongEcho();
    void setupAllChangesTheMeter();
    void setupAllStopsWhenBluetoothFails();
    void testDataSetReadsBackWithItsStart();
    void linkHostGivesPollingBack();
    void linkHostRefusedWhileTheLinkIsHeld();
    void commandLineOutcomes();
};

void TestSetup::intervalRules_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("byte2");
    QTest::addColumn<int>("byte3");

    QTest::newRow("00:00") << "00" << "00" << false << 0 << 0;
    QTest::newRow("60:60") << "60" << "60" << true << 0x60 << 0x60;
    QTest::newRow("61:00") << "61" << "00" << false << 0 << 0;
    QTest::newRow("00:61") << "00" << "61" << false << 0 << 0;
    QTest::newRow("05:30") << "05" << "30" << true << 0x05 << 0x30;
    QTest::newRow("one digit") << "5" << "1" << true << 0x05 << 0x01;
    QTest::newRow("00:01") << "00" << "01" << true << 0x00 << 0x01;
    QTest::newRow("empty") << "" << "02" << false << 0 << 0;
    QTest::newRow("negative") << "-1" << "02" << false << 0 << 0;
}

// The rules of the typed interval, and what the meter receives and keeps.
void TestSetup::intervalRules()
{
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(bool, valid);
    QFETCH(int, byte2);
    QFETCH(int, byte3);

    const std::optional<IntervalBytes> bytes = IntervalParameters(minutes, seconds);
    QCOMPARE(bytes.has_value(), valid);
    QCOMPARE(ParseIntervalText(minutes + QLatin1Char(':') + seconds).has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(int(bytes->minutes), byte2);
    QCOMPARE(int(bytes->seconds), byte3);

    SetupRig rig;
    QVERIFY(rig.service.setRecordingInterval(*bytes).ok);
    const QByteArray frame = rig.lastFrame();
    QCOMPARE(frame.at(1), cmd::SetInterval);
    QCOMPARE(int(at(frame, 2)), byte2);
    QCOMPARE(int(at(frame, 3)), byte3);
    QCOMPARE(rig.meter.cell(13), std::uint8_t(minutes.toInt()));
    QCOMPARE(rig.meter.cell(14), std::uint8_t(seconds.toInt()));
}

void TestSetup::wholeNumbersAndAccessCode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<bool>("accessCode");

    QTest::newRow("code") << "8737" << true << true;
    QTest::newRow("leading zero") << "08737" << true << false;
    QTest::newRow("trailing space") << "8737 " << false << false;
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("sign") << "-12" << true << false;
    QTest::newRow("letters") << "12a" << false << false;
    QTest::newRow("too large") << "99999999999" << false << false;
}

void TestSetup::wholeNumbersAndAccessCode()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(bool, accessCode);
    QCOMPARE(ParseWholeNumber(text).has_value(), number);
    QCOMPARE(AccessCodeMatches(text), accessCode);
    QCOMPARE(NotAnIntegerMessage(text), QStringLiteral("'%1' is not a valid integer value").arg(text));
}

// The report for 14:07:09 on 31 December 2009, built over the bytes of an
// earlier reply; the meter sets its clock from it.
void TestSetup::clockReport()
{
    const QDateTime when(QDate(2009, 12, 31), QTime(14, 7, 9), Qt::LocalTime);
    SetupBlock block;
    block.fill(0xEE);
    BuildClockReport(block, when);
    const QByteArray bytes(reinterpret_cast<const char *>(block.data()), SetupBlockLength);
    QCOMPARE(bytes.left(11), QByteArray::fromHex("0907143112EE0900727463"));
    QCOMPARE(bytes.mid(11), QByteArray(21, char(0xEE)));

    SetupRig rig;
    rig.service.setTimeSource([when] { return when; });
    QVERIFY(rig.service.setMeterClock().ok);
    const QString seconds = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    QCOMPARE(rig.meter.meterClock().toString(seconds), when.toString(seconds));
    QVERIFY(rig.service.readInformation().ok);
    QCOMPARE(DecodeInformation(rig.state.information, QLocale::c()).meterTime, QStringLiteral("12/31/2009   14:07:09"));
    QCOMPARE(rig.state.serialText, rig.meter.serialText());
}

void TestSetup::informationFields_data()
{
    QTest::addColumn<QByteArray>("patch"); // pairs of position and value
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    const auto p = [](std::initializer_list<int> v) {
        QByteArray b;
        for (int x : v)
            b.append(char(x));
        return b;
    };
    QTest::newRow("pointer 2815") << p({10, 0x00, 11, 0x0A, 12, 0xFF}) << "C" << "memory_available" << "32000";
    QTest::newRow("pointer 258815") << p({10, 0x03, 11, 0xF2, 12, 0xFF}) << "C" << "memory_available" << "0";
    QTest::newRow("thermo 7") << p({18, 7}) << "C" << "thermo_type" << "";
    QTest::newRow("thermo 6") << p({18, 6}) << "C" << "thermo_type" << "S";
    QTest::newRow("sleep 6") << p({30, 6}) << "C" << "time_to_off" << "8 hours";
    QTest::newRow("sleep 7") << p({30, 7}) << "C" << "time_to_off" << "";
    QTest::newRow("sleep 0") << p({30, 0}) << "C" << "time_to_off" << "OFF";
    QTest::newRow("interval") << p({13, 2, 14, 5}) << "C" << "recording_interval" << "2:5";
    QTest::newRow("firmware") << p({31, 123}) << "C" << "firmware_version" << "1.23";
    QTest::newRow("firmware comma") << p({31, 123}) << "de_DE" << "firmware_version" << "1,23";
    QTest::newRow("offset comma") << p({23, 25}) << "de_DE" << "t1_offset" << "2,5";
    QTest::newRow("offset unsigned") << p({22, 255}) << "C" << "rh_offset" << "25.5";
    QTest::newRow("alarm low signed") << p({6, 0xFF, 7, 0xFC}) << "C" << "lo" << "-4";
    QTest::newRow("data sets") << p({8, 0x01, 9, 0x02}) << "C" << "data_sets" << "258";
    QTest::newRow("unit C") << p({16, 0x40}) << "C" << "unit" << "C";
    QTest::newRow("unit F") << p({16, 0x80}) << "C" << "unit" << "F";
    QTest::newRow("bluetooth") << p({2, 9}) << "C" << "bluetooth" << "ON";
    QTest::newRow("meter time") << p({40, 0x58, 41, 0x59, 42, 0x23, 43, 0x31, 44, 0x12, 46, 0x09}) << "C"
                                << "meter_time" << "12/31/2009   23:59:58";
    QTest::newRow("meter time not BCD") << p({40, 0x5A, 46, 0xFF}) << "C" << "meter_time"
                                        << "00/00/20FF   00:00:5A";
}

void TestSetup::informationFields()
{
    QFETCH(QByteArray, patch);
    QFETCH(QString, locale);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    InformationReply reply{};
    for (int i = 0; i + 1 < patch.size(); i += 2)
        reply[std::size_t(at(patch, i))] = at(patch, i + 1);
    QCOMPARE(Field(DecodeInformation(reply, QLocale(locale)), field), expected);
}

void TestSetup::coefficientsAndSensor_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected"); // T2 gain, or the sensor fields joined by '|'

    QByteArray gain(32, 0);
    gain[6] = 0x00;
    gain[7] = char(0x80);
    gain[8] = 0x3F;
    QTest::newRow("gain 1") << gain << "C" << "1.00000000";
    QTest::newRow("gain 1 comma") << gain << "de_DE" << "1,00000000";
    QByteArray negative = gain;
    negative[8] = char(0xBF);
    negative[7] = char(0xC0); // -1.5
    QTest::newRow("gain -1.5") << negative << "C" << "-1.50000000";
    QByteArray nan = gain;
    nan[8] = 0x7F;
    nan[7] = char(0xC0);
    QTest::newRow("gain not a number") << nan << "C" << "NAN";

    QByteArray sensor(32, 0);
    std::memcpy(sensor.data(), "V1.02H1.00", 10);
    sensor[10] = 0x12;
    sensor[11] = 0x0A;
    std::memcpy(sensor.data() + 12, "QM41", 4);
    sensor[16] = 0x12;
    sensor[17] = 0x34;
    sensor[20] = 0x09;
    sensor[21] = char(0xC4);
    sensor[26] = char(0xFF);
    sensor[27] = char(0xFF);
    QTest::newRow("sensor") << sensor << "C" << "V1.02|H1.00|0x120A|QM41|4660|0|25.0|655.4";
    QTest::newRow("sensor comma") << sensor << "de_DE" << "V1.02|H1.00|0x120A|QM41|4660|0|25,0|655,4";
}

void TestSetup::coefficientsAndSensor()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    SetupBlock block{};
    std::memcpy(block.data(), reply.constData(), SetupBlockLength);
    if (expected.contains(QLatin1Char('|'))) {
        const SensorModuleData s = DecodeSensorModule(block, QLocale(locale));
        const QStringList got{s.firmwareVersion, s.hardwareVersion, s.productId, s.modelName,
                              s.temperatureRaw, s.humidityRaw, s.calTLo, s.calRhHi};
        QCOMPARE(got.join(QLatin1Char('|')), expected);
    } else {
        QCOMPARE(DecodeCalibration(block, block, QLocale(locale)).t2Gain, expected);
    }
}

void TestSetup::operationFaults_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("frames"); // frames of `letter` the meter received

    const int none = int(SimFault::NoReply), marks = int(SimFault::WrongMarkers);
    QTest::newRow("clock no reply") << int(OpClock) << 't' << none << 3 << false << 405 << 3;
    QTest::newRow("clock no OK") << int(OpClock) << 't' << marks << 3 << false << 406 << 3;
    QTest::newRow("clock third attempt") << int(OpClock) << 't' << none << 2 << true << 0 << 3;
    QTest::newRow("defaults no OK") << int(OpDefaults) << 's' << marks << 3 << false << 406 << 3;
    QTest::newRow("erase no reply") << int(OpErase) << 'e' << none << 3 << false << 505 << 3;
    QTest::newRow("erase no OK") << int(OpErase) << 'e' << marks << 3 << false << 506 << 3;
    QTest::newRow("interval no reply") << int(OpInterval) << 'I' << none << 3 << false << 604 << 3;
    QTest::newRow("interval no OK") << int(OpInterval) << 'I' << marks << 3 << false << 605 << 3;
    QTest::newRow("info no reply") << int(OpInfo) << 'X' << none << 3 << false << 204 << 3;
    QTest::newRow("info once") << int(OpInfo) << 'X' << none << 1 << true << 0 << 2;
    QTest::newRow("Y no reply") << int(OpCalibration) << 'Y' << none << 3 << false << 704 << 3;
    QTest::newRow("Z no reply") << int(OpCalibration) << 'Z' << none << 3 << false << 708 << 3;
    QTest::newRow("Z no OK") << int(OpCalibration) << 'Z' << marks << 3 << false << 705 << 3;
    QTest::newRow("sensor no OK") << int(OpSensor) << 'v' << marks << 3 << false << 705 << 3;
    QTest::newRow("locations no reply") << int(OpEraseLocations) << 'n' << none << 3 << false << 505 << 3;
}

// Three attempts, the code of the last failing step, and the link always
// given back.
void TestSetup::operationFaults()
{
    QFETCH(int, operation);
    QFETCH(char, letter);
    QFETCH(int, fault);
    QFETCH(int, count);
    QFETCH(bool, ok);
    QFETCH(int, code);
    QFETCH(int, frames);

    SetupRig rig;
    rig.meter.faults().inject(SimFault(fault), count, letter);
    const ServiceResult r = Run(rig.service, operation);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.code, code);
    QCOMPARE(rig.meter.frameCount(letter), frames);
    QCOMPARE(rig.host.acquired, 1);
    QCOMPARE(rig.host.released, 1);
    QVERIFY(rig.host.polling);
    QVERIFY(!rig.host.busy);
}

void TestSetup::unpluggedClockFailsWith405()
{
    SetupRig rig;
    rig.usb.setUnplugged(true);
    const ServiceResult r = rig.service.setMeterClock();
    QVERIFY(!r.ok);
    QCOMPARE(r.code, 405);
    // The start pause, then per attempt the report pause and the read pause.
    QCOMPARE(rig.host.pauses, (QList<int>{500, 100, 100, 100, 100, 100, 100}));
    QVERIFY(rig.host.polling);
}

void TestSetup::cellsReadAndWritten()
{
    SetupRig rig;
    QVERIFY(rig.service.writeCell(2816, std::uint8_t(300)).ok);
    QCOMPARE(rig.lastFrame(), QByteArray::fromHex("0257000B002C03"));
    QCOMPARE(rig.meter.cell(2816), std::uint8_t(44));

    const std::optional<std::uint8_t> value = rig.service.readCell(2816);
    QVERIFY(value.has_value());
    QCOMPARE(int(*value), 44);
    QCOMPARE(rig.lastFrame(), QByteArray::fromHex("0272000B002C03")); // byte 5 keeps its value

    // Cell 2 is the Bluetooth switch; cells 8 and 9 the count a later 'X' reads.
    QVERIFY(rig.service.writeCell(2, 1).ok);
    QVERIFY(rig.meter.bluetooth());
    QVERIFY(rig.service.writeCell(9, 4).ok);
    QVERIFY(rig.service.readInformation().ok);
    QCOMPARE(rig.state.knownDataSets, std::optional<int>(4));

    QCOMPARE(rig.service.writeCell(0x1000000, 1).code, InvalidInputCode);
    QVERIFY(!rig.service.readCell(-1).has_value());

    // A read that keeps failing: five attempts, each followed by the recovery command.
    rig.meter.faults().inject(SimFault::NoReply, 5, cmd::ReadCell);
    QVERIFY(!rig.service.readCell(2816).has_value());
    QCOMPARE(rig.meter.frameCount(cmd::Recover), 5);
    QCOMPARE(rig.host.acquired, rig.host.released);
}

// A wrong echo costs two counted attempts (both bytes differ), 300 ms per
// byte, then 'Q' between 300 ms pauses; the third try succeeds here.
void TestSetup::cellWriteRetriesOnWrongEcho()
{
    SetupRig rig;
    rig.meter.faults().inject(SimFault::WrongMarkers, 1, cmd::WriteCell);
    const ServiceResult r = rig.service.WriteMeterCell(2, 1);
    QVERIFY(r.ok);
    QCOMPARE(rig.host.pauses, (QList<int>{300, 300, 300, 300}));
    QCOMPARE(rig.meter.frameCount(cmd::Recover), 1);
    QCOMPARE(rig.meter.frameCount(cmd::WriteCell), 2);

    rig.meter.faults().inject(SimFault::WrongMarkers, 3, cmd::WriteCell);
    const ServiceResult failed = rig.service.WriteMeterCell(2, 1);
    QVERIFY(!failed.ok);
    QCOMPARE(failed.code, 9004);
    QCOMPARE(rig.meter.frameCount(cmd::WriteCell), 5); // 2 + 2 + 2 counted: three frames

    rig.usb.setUnplugged(true);
    QCOMPARE(rig.service.WriteMeterCell(2, 1).code, 9000);
}

void TestSetup::setupAllChangesTheMeter()
{
    SetupRig rig;
    const QDateTime when(QDate(2026, 2, 3), QTime(4, 5, 6), Qt::LocalTime);
    rig.service.setTimeSource([when] { return when; });
    SimDataSet set;
    set.samples.resize(10);
    QVERIFY(rig.meter.addDataSet(set));
    rig.meter.setCell(30, 6); // sleep 8 hours, set back by the defaults

    QStringList steps;
    const ServiceResult r = rig.service.setupAll(IntervalBytes{0x01, 0x30}, [&](SetupStep s, const ServiceResult *res) {
        steps << QStringLiteral("%1%2").arg(int(s)).arg(res ? (res->ok ? "+" : "-") : "");
    });
    QVERIFY(r.ok);
    QCOMPARE(steps.join(QLatin1Char(' ')), QStringLiteral("0 0+ 1 1+ 2 2+ 3 3+ 4 4+ 5 5+"));
    QVERIFY(rig.meter.bluetooth());
    QCOMPARE(rig.meter.dataSetCount(), 0);
    QCOMPARE(rig.meter.memoryPointer(), SimEmptyPointer);
    QCOMPARE(rig.meter.cell(13), std::uint8_t(1));
    QCOMPARE(rig.meter.cell(14), std::uint8_t(30));
    QCOMPARE(rig.meter.cell(30), std::uint8_t(2));
    const MeterInformation info = DecodeInformation(rig.state.information, QLocale::c());
    QCOMPARE(info.interval, QStringLiteral("1:30"));
    QCOMPARE(info.bluetooth, QStringLiteral("ON"));
    QCOMPARE(rig.state.knownDataSets, std::optional<int>(0));
    // Pauses: defaults 700, 500, clock 700, 500, interval 500, 500, erase 510, 500, information 500.
    QCOMPARE(rig.host.pausedMs(), 4910);
    QCOMPARE(rig.host.acquired, 6);
    QCOMPARE(rig.host.released, 6);

    // An interval that is not valid fails its step only.
    QCOMPARE(rig.service.setupAll(std::nullopt).code, InvalidInputCode);
    QCOMPARE(rig.meter.frameCount(cmd::ReadInfo), 2);
}

void TestSetup::setupAllStopsWhenBluetoothFails()
{
    SetupRig rig;
    rig.meter.faults().inject(SimFault::WrongMarkers, 5, cmd::WriteCell);
    QList<SetupStep> started;
    const ServiceResult r = rig.service.setupAll(IntervalBytes{0, 2}, [&](SetupStep s, const ServiceResult *res) {
        if (!res)
            started << s;
    });
    QVERIFY(!r.ok);
    QCOMPARE(r.code, 9004);
    QCOMPARE(started, (QList<SetupStep>{SetupStep::Defaults, SetupStep::Bluetooth}));
    QCOMPARE(rig.meter.frameCount(cmd::WriteDefaults), 1);
    for (char letter : {cmd::SetClock, cmd::SetInterval, cmd::EraseMemory, cmd::ReadInfo})
        QCOMPARE(rig.meter.frameCount(letter), 0);
    QCOMPARE(rig.host.acquired, rig.host.released);
    QVERIFY(rig.host.polling);
}

// N = 1 at 0x0B00: end marker at 0x0B1A/0x0B1B, pointer 00 0B 1B, count 1,
// and a start time a logger reads back as the time it was written.
void TestSetup::testDataSetReadsBackWithItsStart()
{
    SetupRig rig;
    QVERIFY(rig.service.eraseMemory().ok);
    const QDateTime when(QDate(2026, 12, 10), QTime(13, 45, 56), Qt::LocalTime);
    rig.service.setTimeSource([when] { return when; });
    QVERIFY(rig.service.writeTestDataSet(75, 1).ok);

    const QByteArray &m = rig.meter.memory();
    QCOMPARE(m.mid(0x0B1A, 2), QByteArray::fromHex("5AA5"));
    QCOMPARE(m.mid(10, 3), QByteArray::fromHex("000B1B"));
    QCOMPARE(rig.meter.dataSetCount(), 1);
    QCOMPARE(rig.meter.memoryPointer(), 0x0B1B);
    QCOMPARE(m.mid(0x0B00, 18), QByteArray::fromHex("A55A14261210134556010F080001000000" "00"));
    QCOMPARE(BcdStart(m, 0x0B00), when);
    QCOMPARE(rig.meter.frameCount(cmd::Recover), 1);

    // The information read sees the data set.
    QVERIFY(rig.service.readInformation().ok);
    QCOMPARE(DecodeInformation(rig.state.information, QLocale::c()).dataSets, QStringLiteral("1"));

    // Limits: a data set that would not fit, an interval no data set carries.
    QCOMPARE(rig.service.writeTestDataSet(2, QuickRecMaxRecords + 1).code, InvalidInputCode);
    QCOMPARE(rig.service.writeTestDataSet(0, 1).code, InvalidInputCode);
    QVERIFY(!QuickRecCells(when, 2, QuickRecMaxRecords).empty());
    QVERIFY(QuickRecCells(when, 2, QuickRecMaxRecords).back().address <= setupcell::MemoryEnd);

    // Unplugged: five tries to open, then code 9000.
    rig.usb.setUnplugged(true);
    rig.host.pauses.clear();
    QCOMPARE(rig.service.writeTestDataSet(2, 1).code, 9000);
    QCOMPARE(rig.host.pauses, (QList<int>{500, 300, 300, 300, 300, 300}));
}

// Over the main window's link: polling stopped for the operation and started
// again after it, also when the operation fails.
void TestSetup::linkHostGivesPollingBack()
{
    SetupRig rig;
    MeterLink link(rig.usb);
    CountingTimer timer;
    link.setTimer(&timer);
    LinkServiceHost host(link);
    MeterService service(rig.usb, rig.state, host);
    rig.usb.setUnplugged(true);
    QCOMPARE(service.readInformation().code, 204); // the read step failed last
    QCOMPARE(timer.stops, 1);
    QCOMPARE(timer.starts, 1);
}

// Another operation holds the link (a download, a panel key): a setup
// operation sends nothing, and the window's close, which gives back what the
// window held, does not restart polling under that operation.
void TestSetup::linkHostRefusedWhileTheLinkIsHeld()
{
    SetupRig rig;
    MeterLink link(rig.usb);
    CountingTimer timer;
    link.setTimer(&timer);
    LinkServiceHost host(link);
    MeterService service(rig.usb, rig.state, host);
    {
        const LinkLease download(link, false);
        const ServiceResult r = service.readInformation();
        QVERIFY(!r.ok);
        QCOMPARE(r.code, LinkHeldCode);
        QCOMPARE(rig.meter.frameCount(cmd::ReadInfo), 0);
        host.releaseLink(); // the setup window closing meanwhile
        QVERIFY(link.isHeld());
        QCOMPARE(timer.starts, 0);
    }
    QCOMPARE(timer.stops, 1);
    QCOMPARE(timer.starts, 1);
    QVERIFY(service.readInformation().ok); // served once the link is free
    QCOMPARE(timer.starts, 2);
}

// What kv3917-cli prints and returns for a meter that fails, is missing or
// answers.
void TestSetup::commandLineOutcomes()
{
    SetupRig rig;
    rig.meter.faults().inject(SimFault::WrongMarkers, 3, cmd::EraseMemory);
    ServiceCommandOutput out = RunServiceCommand(ServiceCommand::Erase, {}, rig.usb, rig.host);
    QCOMPARE(out.exitStatus, ServiceExitFailed);
    QCOMPARE(out.error, QStringLiteral("erasing the memory failed: Fail code=506"));

    out = RunServiceCommand(ServiceCommand::SetInterval, {0x05, 0x30}, rig.usb, rig.host);
    QCOMPARE(out.exitStatus, ServiceExitOk);
    QCOMPARE(rig.meter.cell(14), std::uint8_t(30));

    rig.meter.setSerialText(QStringLiteral("A,\"B\""));
    out = RunServiceCommand(ServiceCommand::Info, {}, rig.usb, rig.host);
    QCOMPARE(out.exitStatus, ServiceExitOk);
    QCOMPARE(out.lines.size(), 16);
    QCOMPARE(out.lines.at(1), QStringLiteral("sn,\"A,\"\"B\"\"\""));
    QCOMPARE(out.lines.at(5), QStringLiteral("recording_interval,5:30"));

    rig.usb.setUnplugged(true);
    out = RunServiceCommand(ServiceCommand::SetClock, {}, rig.usb, rig.host);
    QCOMPARE(out.exitStatus, ServiceExitNoMeter);
    QVERIFY(out.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestSetup)
#include "tst_setup.moc"

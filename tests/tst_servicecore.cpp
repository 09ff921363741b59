// The service's pure parts: a live reading in base units, the settings from
// the command line and the config file, the log's prefixes and rate limit.

#include "service/channels.h"
#include "service/config.h"
#include "service/log.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace kv::service;

Q_DECLARE_METATYPE(kv::LiveReading)

namespace {

// A reading as the decoder leaves it: values in the display unit.
kv::LiveReading Live(std::uint8_t unit, float rh, float t1, float t2, float wet, float dew, std::uint8_t status = 0)
{
    kv::LiveReading r;
    r.UnitCode = unit;
    r.Rh = rh;
    r.T1 = t1;
    r.T2 = t2;
    r.WetBulb = wet;
    r.DewPoint = dew;
    r.StatusByte = status;
    r.Display.TypeKMark = true;
    return r;
}

const QDateTime Noon(QDate(2026, 3, 14), QTime(12, 0), QTimeZone(3600));

} // namespace

class TestServiceCore : public QObject {
    Q_OBJECT

private slots:
    void channelTable();
    void baseUnits_data();
    void baseUnits();
    void displayState_data();
    void displayState();
    void timeStrictlyIncreases();
    void commandLine_data();
    void commandLine();
    void configFile_data();
    void configFile();
    void logRateLimitPerKind();
};

void TestServiceCore::channelTable()
{
    // Outputs walk the table in ChannelId order and take their names from it.
    for (int i = 0; i < ChannelCount; ++i)
        QCOMPARE(int(MeterChannels[std::size_t(i)].id), i);
    QCOMPARE(MeterChannels[0].promChannel, nullptr);
    QVERIFY(!MeterChannels[0].temperature);
    for (int i = 1; i < ChannelCount; ++i) {
        QVERIFY(MeterChannels[std::size_t(i)].temperature);
        QCOMPARE(QString::fromLatin1(MeterChannels[std::size_t(i)].promChannel),
                 QString::fromLatin1(MeterChannels[std::size_t(i)].key));
    }
}

void TestServiceCore::baseUnits_data()
{
    QTest::addColumn<kv::LiveReading>("live");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QList<double>>("celsius"); // rh, t1, t2, wet bulb, dew point; NaN: out of range

    const double out = qQNaN();
    QTest::newRow("celsius") << Live(kv::UnitCelsius, 45.2f, 23.5f, 24.1f, 16.0f, 11.0f) << "C"
                             << QList<double>{45.2, 23.5, 24.1, 16.0, 11.0};
    QTest::newRow("fahrenheit") << Live(kv::UnitFahrenheit, 45.2f, 74.3f, 75.38f, 60.8f, 51.8f) << "F"
                                << QList<double>{45.2, 23.5, 24.1, 16.0, 11.0};
    QTest::newRow("kelvin, the meter's 273.2") << Live(kv::UnitKelvin, 45.2f, 296.7f, 297.3f, 289.2f, 284.2f) << "K"
                                               << QList<double>{45.2, 23.5, 24.1, 16.0, 11.0};
    QTest::newRow("raw: T2 in fahrenheit") << Live(kv::UnitRaw, 45.2f, 23.5f, 75.38f, 16.0f, 11.0f) << "raw"
                                           << QList<double>{45.2, 23.5, 24.1, 16.0, 11.0};
    QTest::newRow("below zero in fahrenheit") << Live(kv::UnitFahrenheit, 80.0f, 14.0f, -40.0f, 12.2f, 10.4f) << "F"
                                              << QList<double>{80.0, -10.0, -40.0, -11.0, -12.0};
    QTest::newRow("RH over range: derived values too")
        << Live(kv::UnitCelsius, 0.0f, 23.5f, 24.1f, 0.0f, 0.0f, 0x01) << "C" << QList<double>{out, 23.5, 24.1, out, out};
    QTest::newRow("T1 under range: derived values too")
        << Live(kv::UnitCelsius, 45.0f, 0.0f, 24.1f, 0.0f, 0.0f, 0x20) << "C" << QList<double>{45.0, out, 24.1, out, out};
    QTest::newRow("T2 over range alone")
        << Live(kv::UnitCelsius, 45.2f, 23.5f, 1372.0f, 16.0f, 11.0f, 0x04) << "C"
        << QList<double>{45.2, 23.5, out, 16.0, 11.0};
    QTest::newRow("T2 under range in kelvin")
        << Live(kv::UnitKelvin, 45.2f, 296.7f, 0.0f, 289.2f, 284.2f, 0x40) << "K"
        << QList<double>{45.2, 23.5, out, 16.0, 11.0};
}

void TestServiceCore::baseUnits()
{
    QFETCH(kv::LiveReading, live);
    QFETCH(QString, unit);
    QFETCH(QList<double>, celsius);
    const MeterReading r = ToMeterReading(live, Noon);
    QCOMPARE(r.displayUnit, unit);
    for (int i = 0; i < ChannelCount; ++i) {
        const auto c = std::size_t(i);
        if (qIsNaN(celsius[i])) {
            QVERIFY2(r.outOfRange[c], MeterChannels[c].key);
            QVERIFY2(!r.values[c].has_value(), MeterChannels[c].key);
        } else {
            QVERIFY2(!r.outOfRange[c], MeterChannels[c].key);
            QVERIFY2(r.values[c].has_value(), MeterChannels[c].key);
            QVERIFY2(qAbs(*r.values[c] - celsius[i]) < 0.011,
                     qPrintable(QStringLiteral("%1: %2").arg(MeterChannels[c].key).arg(*r.values[c])));
        }
    }
}

void TestServiceCore::displayState_data()
{
    QTest::addColumn<int>("type");   // index into the marks K J E T N R S, -1 none
    QTest::addColumn<int>("mode");   // 0 none, 1 MAX, 2 MIN, 3 AVG
    QTest::addColumn<bool>("hold");
    QTest::addColumn<bool>("logging");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<QString>("modeKey");
    QTest::newRow("K, normal") << 0 << 0 << false << false << "K" << "normal";
    QTest::newRow("J, MAX, hold") << 1 << 1 << true << false << "J" << "max";
    QTest::newRow("S, MIN, recording") << 6 << 2 << false << true << "S" << "min";
    QTest::newRow("T, AVG") << 3 << 3 << false << false << "T" << "avg";
    QTest::newRow("no type shown") << -1 << 0 << false << false << "" << "normal";
}

void TestServiceCore::displayState()
{
    QFETCH(int, type);
    QFETCH(int, mode);
    QFETCH(bool, hold);
    QFETCH(bool, logging);
    QFETCH(QString, typeText);
    QFETCH(QString, modeKey);
    kv::LiveReading live = Live(kv::UnitCelsius, 40, 20, 20, 15, 10);
    live.Display.TypeKMark = false;
    bool kv::DisplayState::*marks[] = {&kv::DisplayState::TypeKMark, &kv::DisplayState::TypeJMark,
                                       &kv::DisplayState::TypeEMark, &kv::DisplayState::TypeTMark,
                                       &kv::DisplayState::TypeNMark, &kv::DisplayState::TypeRMark,
                                       &kv::DisplayState::TypeSMark};
    if (type >= 0)
        live.Display.*marks[type] = true;
    live.Display.MaxMark = mode == 1;
    live.Display.MinMark = mode == 2;
    live.Display.AvgMark = mode == 3;
    live.Display.HoldMark = hold;
    live.MeterLogging = logging;
    const MeterReading r = ToMeterReading(live, Noon);
    QCOMPARE(r.thermocouple, typeText);
    QCOMPARE(QString::fromLatin1(DisplayModeKey(r.mode)), modeKey);
    QCOMPARE(r.hold, hold);
    QCOMPARE(r.meterLogging, logging);
}

void TestServiceCore::timeStrictlyIncreases()
{
    const kv::LiveReading live = Live(kv::UnitCelsius, 40, 20, 20, 15, 10);
    const MeterReading first = ToMeterReading(live, Noon);
    QCOMPARE(first.timeMs, Noon.toMSecsSinceEpoch());
    QCOMPARE(first.time, Noon);
    QCOMPARE(first.time.offsetFromUtc(), 3600);
    // The same millisecond again, and a clock stepped back: still later.
    const MeterReading same = ToMeterReading(live, Noon, first.timeMs);
    QCOMPARE(same.timeMs, first.timeMs + 1);
    QCOMPARE(same.time.toMSecsSinceEpoch(), same.timeMs);
    const MeterReading back = ToMeterReading(live, Noon.addSecs(-60), same.timeMs);
    QCOMPARE(back.timeMs, same.timeMs + 1);
    const MeterReading later = ToMeterReading(live, Noon.addMSecs(500), back.timeMs);
    QCOMPARE(later.timeMs, Noon.toMSecsSinceEpoch() + 500);
}

void TestServiceCore::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("demo");
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<bool>("usb");
    const int run = int(ParseOutcome::Run), error = int(ParseOutcome::Error);
    QTest::newRow("defaults") << QStringList{} << run << QStringList{} << 0 << 500 << true;
    QTest::newRow("ports repeat, no duplicates")
        << QStringList{"--port", "ttyUSB0", "--port=/dev/rfcomm0", "--port", "ttyUSB0"} << run
        << QStringList{"ttyUSB0", "/dev/rfcomm0"} << 0 << 500 << true;
    QTest::newRow("demo, period, no USB") << QStringList{"--demo", "4", "--period", "2.5", "--no-usb"} << run
                                          << QStringList{} << 4 << 2500 << false;
    QTest::newRow("shortest period") << QStringList{"--period=0.1"} << run << QStringList{} << 0 << 100 << true;
    QTest::newRow("period too short") << QStringList{"--period", "0.05"} << error << QStringList{} << 0 << 500 << true;
    QTest::newRow("period not a number") << QStringList{"--period", "fast"} << error << QStringList{} << 0 << 500 << true;
    QTest::newRow("negative demo") << QStringList{"--demo", "-1"} << error << QStringList{} << 0 << 500 << true;
    QTest::newRow("empty port") << QStringList{"--port="} << error << QStringList{} << 0 << 500 << true;
    QTest::newRow("positional argument") << QStringList{"ttyUSB0"} << error << QStringList{} << 0 << 500 << true;
    QTest::newRow("help wins") << QStringList{"--demo", "2", "--help"} << int(ParseOutcome::Help) << QStringList{}
                               << 2 << 500 << true;
}

void TestServiceCore::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, outcome);
    QFETCH(QStringList, ports);
    QFETCH(int, demo);
    QFETCH(int, periodMs);
    QFETCH(bool, usb);
    CommandLine line;
    QString error;
    QCOMPARE(int(ParseCommandLine(args, line, &error)), outcome);
    if (outcome == int(ParseOutcome::Error)) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(line.values.ports, ports);
    QCOMPARE(line.values.demo, demo);
    QCOMPARE(line.values.periodMs, periodMs);
    QCOMPARE(line.values.usb, usb);
}

void TestServiceCore::configFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("demo");
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("listen");

    QTest::newRow("every key") << QByteArray("port = /dev/ttyUSB0, /dev/rfcomm0\ndemo = 2\nperiod = 1.5\nno-usb = true\n"
                                             "listen = 127.0.0.1:9391\ntextfile = /tmp/kv.prom\nstate-dir = /tmp/s\n")
                               << QStringList{} << true << QStringList{"/dev/ttyUSB0", "/dev/rfcomm0"} << 2 << 1500
                               << false << "127.0.0.1:9391";
    QTest::newRow("in a section") << QByteArray("[kv3917d]\ndemo = 3\n") << QStringList{} << true << QStringList{}
                                  << 3 << 500 << true << "";
    QTest::newRow("options win") << QByteArray("port = /dev/ttyS0\ndemo = 2\nperiod = 3\n")
                                 << QStringList{"--port", "/dev/ttyUSB1", "--period", "1"} << true
                                 << QStringList{"/dev/ttyUSB1"} << 2 << 1000 << true << "";
    QTest::newRow("unknown key ignored") << QByteArray("colour = blue\ndemo = 1\n") << QStringList{} << true
                                         << QStringList{} << 1 << 500 << true << "";
    QTest::newRow("bad period") << QByteArray("period = soon\n") << QStringList{} << false << QStringList{} << 0 << 500
                                << true << "";
    QTest::newRow("bad no-usb") << QByteArray("no-usb = maybe\n") << QStringList{} << false << QStringList{} << 0
                                << 500 << true << "";
    QTest::newRow("bad value the options override")
        << QByteArray("period = soon\n") << QStringList{"--period", "2"} << true << QStringList{} << 0 << 2000 << true
        << "";
}

void TestServiceCore::configFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QStringList, ports);
    QFETCH(int, demo);
    QFETCH(int, periodMs);
    QFETCH(bool, usb);
    QFETCH(QString, listen);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kv3917d.conf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();

    CommandLine line;
    QCOMPARE(ParseCommandLine(QStringList{QStringLiteral("--config"), path} + args, line, nullptr), ParseOutcome::Run);
    ServiceConfig config;
    QString error;
    QStringList warnings;
    QCOMPARE(ResolveConfig(line, config, &error, &warnings), ok);
    if (!ok) {
        QVERIFY(error.startsWith(path));
        return;
    }
    QCOMPARE(config.ports, ports);
    QCOMPARE(config.demo, demo);
    QCOMPARE(config.periodMs, periodMs);
    QCOMPARE(config.usb, usb);
    QCOMPARE(config.listen, listen);
    QVERIFY(!config.stateDir.isEmpty());
    QCOMPARE(warnings.size(), file.contains("colour") ? 1 : 0);
}

void TestServiceCore::logRateLimitPerKind()
{
    QStringList lines;
    std::int64_t now = 0;
    SetLogWriter([&](const QString &line) { lines << line; });
    SetLogClock([&] { return now; });
    ResetLogLimits();
    for (int i = 0; i < 20; ++i) {
        LogFault(QStringLiteral("silent ttyUSB0"), LogPriority::Warning, QStringLiteral("ttyUSB0 silent"));
        now += 100;
    }
    LogFault(QStringLiteral("silent ttyUSB1"), LogPriority::Warning, QStringLiteral("ttyUSB1 silent"));
    QCOMPARE(lines.filter(QStringLiteral("ttyUSB0")).size(), LogBurst);
    QCOMPARE(lines.filter(QStringLiteral("ttyUSB1")).size(), 1);
    // The next interval: one line again, with the count of those left out.
    now += LogIntervalMs;
    LogFault(QStringLiteral("silent ttyUSB0"), LogPriority::Warning, QStringLiteral("ttyUSB0 silent"));
    QVERIFY2(lines.last().endsWith(QStringLiteral("(15 similar messages left out)")), qPrintable(lines.last()));
    // Plain messages are never limited.
    for (int i = 0; i < 10; ++i)
        Log(LogPriority::Info, QStringLiteral("plain"));
    QCOMPARE(lines.filter(QStringLiteral("plain")).size(), 10);
    SetLogWriter(nullptr);
    SetLogClock(nullptr);
    ResetLogLimits();
}

QTEST_GUILESS_MAIN(TestServiceCore)
#include "tst_servicecore.moc"

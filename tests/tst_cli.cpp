// kv3917-cli live, run as a process against the simulated meter on a
// pseudo-terminal: the CSV it writes, range flags, exit statuses, Ctrl-C,
// and kv3917-sim as its own process.
#include "live/psychro.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"
#include "tests/support/cliprocess.h"
#include "tests/support/ptymeter.h"
#include "tests/testsupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using kvtest::RunCli;

namespace {

constexpr int ProcessTimeoutMs = 30000;

using kvtest::Lines;
using kvtest::PtyMeter;

const QString Header = QStringLiteral("time,rh,t1,t2,wet_bulb,dew_point,unit");
const QRegularExpression TimeStamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"));
const QRegularExpression OneDecimal(QStringLiteral("^-?\\d+\\.\\d$"));

QString OneDecimalText(float v) { return QString::number(double(v), 'f', 1); }

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"record"};
        QTest::newRow("no source") << QStringList{"live"};
        QTest::newRow("two sources") << QStringList{"live", "--usb", "--demo"};
        QTest::newRow("port without path") << QStringList{"live", "--port"};
        QTest::newRow("count zero") << QStringList{"live", "--demo", "--count", "0"};
        QTest::newRow("count not a number") << QStringList{"live", "--demo", "--count=many"};
        QTest::newRow("unknown option") << QStringList{"live", "--demo", "--fast"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        const kvtest::CliRun run = RunCli(args);
        QCOMPARE(run.exitStatus, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 64);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.errLines.size(), 1);
    }

    void help()
    {
        for (const QStringList &args : {QStringList{"--help"}, QStringList{"live", "--help"}}) {
            const kvtest::CliRun run = RunCli(args);
            QCOMPARE(run.exitCode, 0);
            QVERIFY(!run.out.isEmpty());
            QVERIFY(run.out.first().startsWith(QLatin1String("Usage: kv3917-cli live (--port PATH | --usb | --demo) [--count N]")));
            QVERIFY(run.errLines.isEmpty());
        }
    }

    void readings_data()
    {
        QTest::addColumn<double>("rh");
        QTest::addColumn<double>("t1");
        QTest::addColumn<double>("t2");  // degrees C
        QTest::addColumn<int>("unit");   // display unit of the meter
        QTest::addColumn<QStringList>("expected"); // rh, t1, t2, wet bulb, dew point, unit; "#" any value
        const float wet = kv::WetBulbTemperature(25.0, 54.0);
        const float dew = kv::DewPointTemperature(25.0, 54.0);
        QTest::newRow("celsius") << 54.0 << 25.0 << 30.0 << 1
                                 << QStringList{"54.0", "25.0", "30.0", OneDecimalText(wet), OneDecimalText(dew), "C"};
        QTest::newRow("fahrenheit") << 54.0 << 25.0 << 30.0 << 0 << QStringList{"54.0", "77.0", "86.0", "#", "#", "F"};
        QTest::newRow("kelvin") << 54.0 << 25.0 << 30.0 << 2 << QStringList{"54.0", "298.2", "303.2", "#", "#", "K"};
        QTest::newRow("rh over range") << 105.0 << 25.0 << 30.0 << 1 << QStringList{"OL", "25.0", "30.0", "", "", "C"};
        QTest::newRow("t1 over range") << 54.0 << 70.0 << 30.0 << 1 << QStringList{"54.0", "OL", "30.0", "", "", "C"};
        QTest::newRow("t2 over range") << 54.0 << 25.0 << 1400.0 << 1 << QStringList{"54.0", "25.0", "OL", "#", "#", "C"};
        QTest::newRow("t2 under range") << 54.0 << 25.0 << -250.0 << 1 << QStringList{"54.0", "25.0", "-OL", "#", "#", "C"};
    }
    void readings()
    {
        QFETCH(double, rh);
        QFETCH(double, t1);
        QFETCH(double, t2);
        QFETCH(int, unit);
        QFETCH(QStringList, expected);
        PtyMeter pty;
        pty.meter.setReading(rh, t1, t2);
        pty.meter.setDisplayUnit(static_cast<std::uint8_t>(unit));
        pty.server.start();

        const kvtest::CliRun run = RunCli({"live", "--port", pty.server.slavePath(), "--count", "3"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.errLines.isEmpty());
        QCOMPARE(run.out.size(), 4);
        QCOMPARE(run.out.first(), Header);
        for (int i = 1; i < run.out.size(); ++i) {
            const QStringList fields = run.out.at(i).split(QLatin1Char(','));
            QCOMPARE(fields.size(), 7);
            QVERIFY2(TimeStamp.match(fields.first()).hasMatch(), qPrintable(fields.first()));
            for (int k = 0; k < expected.size(); ++k) {
                if (expected.at(k) == QLatin1String("#"))
                    QVERIFY2(OneDecimal.match(fields.at(k + 1)).hasMatch(), qPrintable(run.out.at(i)));
                else
                    QCOMPARE(fields.at(k + 1), expected.at(k));
            }
        }
        pty.server.stop();
        QCOMPARE(pty.meter.frameCount('K'), 1);
        QCOMPARE(pty.meter.frameCount('A'), 3);
    }

    void noMeter_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("silentPty");
        QTest::newRow("nothing answers on the port") << QStringList{"live", "--port"} << true;
        QTest::newRow("no such port") << QStringList{"live", "--port", "/nonexistent/ttyKV"} << false;
        QTest::newRow("no meter on USB") << QStringList{"live", "--usb"} << false;
    }
    void noMeter()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, silentPty);
        PtyMeter pty;
        if (silentPty) {
            pty.meter.faults().setDeviceAbsent(true);
            pty.server.start();
            args << pty.server.slavePath();
        }
        const kvtest::CliRun run = RunCli(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.errLines.size(), 1);
    }

    void connectionLost()
    {
        PtyMeter pty;
        pty.meter.faults().vanishAfter(3); // the identification and two readings
        pty.server.start();
        const kvtest::CliRun run = RunCli({"live", "--port", pty.server.slavePath()});
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.out.size(), 3);
        QCOMPARE(run.out.first(), Header);
        QCOMPARE(run.errLines.size(), 1);
    }

    void interruptEndsCleanly()
    {
        PtyMeter pty;
        pty.server.start();
        QProcess process;
        process.start(QStringLiteral(KV_CLI_PATH), {"live", "--port", pty.server.slavePath()});
        QVERIFY(process.waitForStarted());
        // Lines arrive one by one, flushed as written.
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (out.count('\n') < 3 && clock.elapsed() < ProcessTimeoutMs) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        QVERIFY(out.count('\n') >= 3);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(ProcessTimeoutMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        out += process.readAllStandardOutput();
        QVERIFY(out.endsWith('\n'));
        QVERIFY(process.readAllStandardError().isEmpty());
    }

    void demoMeter()
    {
        const kvtest::CliRun run = RunCli({"live", "--demo", "--count", "2"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.size(), 3);
        QCOMPARE(run.out.first(), Header);
    }

    void simulatorProcess()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("kv3917"));
        QProcess sim;
        sim.start(QStringLiteral(KV_SIM_PATH),
                  {"--line-rate", "--no-drift", "--reading", "54,25,30", "--link", link});
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), ProcessTimeoutMs);
        const QString path = QString::fromUtf8(sim.readLine()).trimmed();
        QVERIFY(path.startsWith(QLatin1String("/dev/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);

        const kvtest::CliRun run = RunCli({"live", "--port", link, "--count", "2"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.size(), 3);
        QVERIFY(run.out.at(1).contains(QLatin1String(",54.0,25.0,30.0,")));

        ::kill(static_cast<pid_t>(sim.processId()), SIGINT);
        QVERIFY(sim.waitForFinished(ProcessTimeoutMs));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"

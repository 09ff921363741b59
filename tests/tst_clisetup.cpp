// kv3917-cli's setup commands run as processes against the simulated meter
// (--demo) and against USB without a meter: output, usage errors, exit
// statuses.
#include "tests/support/cliprocess.h"
#include "tests/testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using kvtest::RunCli;

class TestCliSetup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void statuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error"); // part of the one error line; empty: none
        QTest::newRow("erase without --yes") << QStringList{"erase", "--demo"} << 64 << "--yes";
        QTest::newRow("interval 00:00") << QStringList{"set-interval", "00:00", "--demo"} << 64 << "Invalid Input";
        QTest::newRow("interval 61:00") << QStringList{"set-interval", "61:00", "--demo"} << 64 << "Invalid Input";
        QTest::newRow("interval missing") << QStringList{"set-interval", "--demo"} << 64 << "MM:SS";
        QTest::newRow("serial port") << QStringList{"info", "--port", "/dev/ttyS0"} << 64 << "USB only";
        QTest::newRow("no source") << QStringList{"set-clock"} << 64 << "--usb";
        QTest::newRow("yes elsewhere") << QStringList{"info", "--demo", "--yes"} << 64 << "--yes";
        QTest::newRow("no meter") << QStringList{"set-clock", "--usb"} << 2 << "no meter";
        QTest::newRow("clock") << QStringList{"set-clock", "--demo"} << 0 << "";
        QTest::newRow("interval 60:60") << QStringList{"set-interval", "60:60", "--demo"} << 0 << "";
        QTest::newRow("erase") << QStringList{"erase", "--yes", "--demo"} << 0 << "";
    }
    void statuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const kvtest::CliRun run = RunCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        if (error.isEmpty()) {
            QVERIFY(run.errLines.isEmpty());
        } else {
            QCOMPARE(run.errLines.size(), 1);
            QVERIFY2(run.errLines.first().contains(error), qPrintable(run.errLines.first()));
        }
    }

    void info()
    {
        const kvtest::CliRun run = RunCli({"info", "--demo"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.errLines.isEmpty());
        QStringList names;
        for (const QString &line : run.out)
            names << line.section(QLatin1Char(','), 0, 0);
        QCOMPARE(names, (QStringList{"firmware_version", "sn", "bluetooth", "thermo_type", "unit",
                                     "recording_interval", "rh_offset", "t1_offset", "t2_offset", "alarm", "hi",
                                     "lo", "time_to_off", "meter_time", "data_sets", "memory_available"}));
        QCOMPARE(run.out.at(0), QStringLiteral("firmware_version,1.23"));
        QVERIFY(QRegularExpression(QStringLiteral("^meter_time,\\d\\d/\\d\\d/20\\d\\d   \\d\\d:\\d\\d:\\d\\d$"))
                    .match(run.out.at(13))
                    .hasMatch());
    }

    void help()
    {
        const kvtest::CliRun run = RunCli({"erase", "--help"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.first().startsWith(QLatin1String("Usage: kv3917-cli info")));
        QVERIFY(RunCli({"--help"}).out.contains(QStringLiteral("       kv3917-cli erase --yes (--usb | --demo)")));
    }
};

QTEST_GUILESS_MAIN(TestCliSetup)
#include "tst_clisetup.moc"

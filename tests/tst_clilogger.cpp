// kv3917-cli sets and export, run as processes on collection files: the CSV
// they write, damaged files, and exit statuses.
#include "live/psychro.h"
#include "logger/loggerimage.h"
#include "service/lineprotocol.h"
#include "sim/simmeter.h"
#include "tests/support/loggerimages.h"
#include "tests/support/cliprocess.h"
#include "tests/testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using kvtest::LoggerImageBuilder;
using kvtest::RawSample;
using kvtest::RawSet;
using kvtest::SetOf;

using kvtest::RunCli;

namespace {

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Two data sets: 3 samples in C (type K) from 31 March 2025 23:59:58 every
// 2 s, with offsets; 2 samples with an unknown unit code and type from
// 1 January 2026, interval bytes 61 and 5 (5 s).
QByteArray TwoSets()
{
    RawSet first;
    first.samples = {{455, 231, 700}, {1001, 231, 700}, {455, -251, -3300}};
    first.rhOffset = 12;
    first.t1Offset = -9;
    first.t2Offset = 18;
    RawSet second;
    second.start = {0x26, 0x01, 0x01, 0x00, 0x00, 0x00};
    second.intervalMinutes = 61;
    second.intervalSeconds = 5;
    second.unit = 7;
    second.couple = 9;
    second.samples = {{500, 200, 2120}, {500, 200, 2120}};
    return LoggerImageBuilder().add(first).add(second).image();
}

} // namespace

class TestCliLogger : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void sets()
    {
        QTemporaryDir dir;
        const kvtest::CliRun run = RunCli({QStringLiteral("sets"), Write(dir, QStringLiteral("two.REC"), TwoSets())});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, QStringList({"set,start,interval,count,unit,couple,rh_offset,t1_offset,t2_offset",
                                       "1,2025-03-31T23:59:58,2,3,C,K,1.2,-0.5,1.0",
                                       "2,2026-01-01T00:00:00,5,2,,K,0.0,0.0,0.0"}));
    }

    void exportSamples_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("rows");
        const QString wb = QString::number(double(kv::WetBulbTemperature(23.1, 45.5)), 'f', 1);
        const QString dp = QString::number(double(kv::DewPointTemperature(23.1, 45.5)), 'f', 1);
        const QStringList first{
            QStringLiteral("1,2025-03-31T23:59:58,45.5,23.1,21.1,%1,%2,C").arg(wb, dp),
            QStringLiteral("1,2025-04-01T00:00:00,OL,23.1,21.1,,,C"),
            QStringLiteral("1,2025-04-01T00:00:02,45.5,OL,-OL,,,C"),
        };
        const QStringList second{QStringLiteral("2,2026-01-01T00:00:00,50.0,20.0,100.0,%1,%2,")
                                     .arg(QString::number(double(kv::WetBulbTemperature(20.0, 50.0)), 'f', 1),
                                          QString::number(double(kv::DewPointTemperature(20.0, 50.0)), 'f', 1)),
                                 QStringLiteral("2,2026-01-01T00:00:05,50.0,20.0,100.0,%1,%2,")
                                     .arg(QString::number(double(kv::WetBulbTemperature(20.0, 50.0)), 'f', 1),
                                          QString::number(double(kv::DewPointTemperature(20.0, 50.0)), 'f', 1))};
        QTest::newRow("all") << QStringList() << first + second;
        QTest::newRow("--set 2") << QStringList{"--set", "2"} << second;
        QTest::newRow("--set=1") << QStringList{"--set=1"} << first;
    }
    void exportSamples()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        const kvtest::CliRun run = RunCli(QStringList{QStringLiteral("export"), Write(dir, QStringLiteral("two.REC"), TwoSets())}
                               + options);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.value(0), QStringLiteral("set,time,rh,t1,t2,wet_bulb,dew_point,unit"));
        QCOMPARE(run.out.mid(1), rows);
    }

    // A file that ends inside its second data set: the first is listed, a
    // warning says so.
    void truncatedFile()
    {
        QTemporaryDir dir;
        const QByteArray whole = LoggerImageBuilder().add(SetOf(2)).add(SetOf(9)).image(2, false);
        const QString path = Write(dir, QStringLiteral("cut.REC"), whole.left(whole.size() - 30));
        const kvtest::CliRun sets = RunCli({QStringLiteral("sets"), path});
        QCOMPARE(sets.exitCode, 0);
        QCOMPARE(sets.out.size(), 2);
        QVERIFY2(sets.err.contains(QStringLiteral("data set 2 of 2")), qPrintable(sets.err));
        const kvtest::CliRun exported = RunCli({QStringLiteral("export"), path});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(exported.out.size(), 3);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("bytes");  // "-": no file
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QByteArray hundred(100, char(0x11));
        hundred[8] = 0;
        hundred[9] = 0;
        const QByteArray two = TwoSets();
        QTest::newRow("missing") << "sets" << QByteArray("-") << QStringList() << 66 << "cannot read";
        QTest::newRow("empty") << "export" << QByteArray() << QStringList() << 65 << "empty";
        QTest::newRow("no data set") << "sets" << hundred << QStringList() << 65 << "no data set";
        QTest::newRow("count 4001") << "sets" << LoggerImageBuilder().add(SetOf(1)).image(4001) << QStringList()
                                    << 65 << "4001";
        QTest::newRow("no complete data set") << "export" << two.left(2850) << QStringList() << 65 << "damaged";
        QTest::newRow("too large") << "sets" << QByteArray(0x40001, char(1)) << QStringList() << 65
                                   << "not a logger image";
        QTest::newRow("--set 3 of 2") << "export" << two << QStringList{"--set", "3"} << 64 << "2 data set";
        QTest::newRow("--set 0") << "export" << two << QStringList{"--set", "0"} << 64 << "--set";
        QTest::newRow("--set x") << "export" << two << QStringList{"--set", "x"} << 64 << "--set";
        QTest::newRow("sets --set") << "sets" << two << QStringList{"--set", "1"} << 64 << "unknown option";
        QTest::newRow("two files") << "sets" << two << QStringList{"other.REC"} << 64 << "one file";
    }
    void refused()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = bytes == "-" ? dir.filePath(QStringLiteral("none.REC"))
                                          : Write(dir, QStringLiteral("in.REC"), bytes);
        const kvtest::CliRun run = RunCli(QStringList{command, path} + options);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void missingFileArgument()
    {
        const kvtest::CliRun run = RunCli({QStringLiteral("export")});
        QCOMPARE(run.exitCode, 64);
        QVERIFY(run.out.isEmpty());
    }

    // What the simulated meter records reads back as the data sets it holds.
    void simulatedMeterMemory()
    {
        kv::SimOptions options;
        options.drift = false;
        kv::SimMeter meter(nullptr, options);
        QTemporaryDir dir;
        const QString path =
            Write(dir, QStringLiteral("sim.REC"), meter.memory().left((meter.memoryPointer() + 32) / 32 * 32));
        const kvtest::CliRun run = RunCli({QStringLiteral("sets"), path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.size(), 4);
        QVERIFY(run.out[1].contains(QStringLiteral(",2,150,C,K,")));
        QVERIFY(run.out[2].contains(QStringLiteral(",10,180,F,J,")));
        QVERIFY(run.out[3].contains(QStringLiteral(",60,300,C,K,")));
        const kvtest::CliRun samples = RunCli({QStringLiteral("export"), path, QStringLiteral("--set"), QStringLiteral("3")});
        QCOMPARE(samples.exitCode, 0);
        QCOMPARE(samples.out.size(), 301);
    }

    // --format lines writes the points the service writes for the same data sets.
    void exportLines_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("meter");
        QTest::addColumn<QList<int>>("sets");
        QTest::newRow("all, named after the file") << QStringList{} << "two" << QList<int>{0, 1};
        QTest::newRow("one set, a serial with a space")
            << QStringList{QStringLiteral("--set"), QStringLiteral("2"), QStringLiteral("--meter"), QStringLiteral("KV 1")}
            << "KV 1" << QList<int>{1};
    }
    void exportLines()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, meter);
        QFETCH(QList<int>, sets);
        QTemporaryDir dir;
        const QString path = Write(dir, QStringLiteral("two.REC"), TwoSets());
        const kvtest::CliRun run =
            RunCli(QStringList{QStringLiteral("export"), path, QStringLiteral("--format"), QStringLiteral("lines")} + options);
        QCOMPARE(run.exitCode, 0);
        const kv::LoggerParse parse = kv::ParseLoggerImage(TwoSets(), 0);
        QByteArray expected;
        for (int s : sets)
            for (const kv::service::TimedLine &line : kv::service::LoggerSetLines(parse, s, meter))
                expected += line.line + '\n';
        QCOMPARE(run.outBytes, expected);
        QVERIFY(run.outBytes.startsWith("kv3917,meter="));
    }

    void meterNeedsLines()
    {
        QTemporaryDir dir;
        const kvtest::CliRun run = RunCli({QStringLiteral("export"), Write(dir, QStringLiteral("two.REC"), TwoSets()),
                                           QStringLiteral("--meter"), QStringLiteral("X")});
        QCOMPARE(run.exitCode, 64);
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliLogger)
#include "tst_clilogger.moc"

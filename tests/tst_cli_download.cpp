// kv3917-cli download, run as a process against the simulated meter on a
// pseudo-terminal: the file it writes, its exit statuses, and that nothing
// is written unless the download succeeded.
#include "link/commands.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"
#include "tests/support/cliprocess.h"
#include "tests/support/ptymeter.h"
#include "tests/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int ProcessTimeoutMs = 60000;

kvtest::CliRun RunCli(const QStringList &args) { return kvtest::RunCli(args, ProcessTimeoutMs); }

// The download needs no serial pacing: the meter answers at once.
struct PtyMeter : kvtest::PtyMeter {
    PtyMeter() : kvtest::PtyMeter(kv::SimSerialPacing::Burst) {}
};

kv::SimDataSet SmallSet()
{
    kv::SimDataSet set;
    set.start = QDateTime(QDate(2025, 3, 31), QTime(23, 59, 58), Qt::LocalTime);
    for (int k = 0; k < 40; ++k)
        set.samples.push_back({450 + k, 230 - k, 750 + 2 * k});
    return set;
}

} // namespace

class TestCliDownload : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no output") << QStringList{"download", "--demo"};
        QTest::newRow("no source") << QStringList{"download", "--output", "x.REC"};
        QTest::newRow("two sources") << QStringList{"download", "--usb", "--demo", "--output", "x.REC"};
        QTest::newRow("unknown option") << QStringList{"download", "--demo", "--output", "x.REC", "--fast"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        const kvtest::CliRun run = RunCli(args);
        QCOMPARE(run.exitCode, 64);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.REC"))));
    }

    void writesTheImage()
    {
        PtyMeter pty;
        QVERIFY(pty.meter.addDataSet(SmallSet()));
        QVERIFY(pty.meter.addDataSet(SmallSet()));
        // A page with a wrong check byte on the way is asked for again.
        pty.meter.faults().inject(kv::SimFault::WrongChecksum, 1, kv::cmd::PageNext, 20);
        pty.server.start();
        QTemporaryDir dir;
        const QString output = dir.filePath(QStringLiteral("memory.REC"));

        const kvtest::CliRun run = RunCli({"download", "--port", pty.server.slavePath(), "--output", output});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.contains(QStringLiteral("bytes received")));
        pty.server.stop();
        const int used = pty.meter.memoryPointer() + 1;
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), pty.meter.memory().left((used + 31) / 32 * 32));
    }

    // kv3917-sim as its own process serves a collection file with page
    // faults; the download brings back the same bytes.
    void simulatorServesACollection_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *fault : {"no-reply", "checksum", "stray"})
            QTest::newRow(fault) << QString::fromLatin1(fault);
    }
    void simulatorServesACollection()
    {
        QFETCH(QString, fault);
        kv::SimMeter source(nullptr, kvtest::QuietMeter());
        QVERIFY(source.addDataSet(SmallSet()));
        const int used = source.memoryPointer() + 1;
        const QByteArray image = source.memory().left((used + 31) / 32 * 32);
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("in.REC"));
        const QString output = dir.filePath(QStringLiteral("out.REC"));
        QFile in(input);
        QVERIFY(in.open(QIODevice::WriteOnly));
        in.write(image);
        in.close();

        QProcess sim;
        sim.start(QStringLiteral(KV_SIM_PATH),
                  {"--memory", input, "--page-fault-every", "40", "--page-fault", fault, "--no-drift"});
        QVERIFY(sim.waitForReadyRead(ProcessTimeoutMs));
        const QString path = QString::fromUtf8(sim.readLine()).trimmed();
        const kvtest::CliRun run = RunCli({"download", "--port", path, "--output", output, "--quiet"});
        sim.terminate();
        sim.waitForFinished();
        QCOMPARE(run.exitCode, 0);
        QFile out(output);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), image);
    }

    void refusals_data()
    {
        QTest::addColumn<int>("situation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty memory") << 0 << 5 << "There was not any data recorded in momery of meter !";
        QTest::newRow("meter recording") << 1 << 6
                                         << "The meter is recording data, please stop recording before loading data.";
        QTest::newRow("no valid first page") << 2 << 4 << "error code=9";
        QTest::newRow("no meter") << 3 << 2 << "no meter answered";
    }
    void refusals()
    {
        QFETCH(int, situation);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        PtyMeter pty;
        if (situation != 0)
            QVERIFY(pty.meter.addDataSet(SmallSet()));
        if (situation == 1) {
            const std::uint8_t rec[kv::FrameLength] = {kv::FrameStart, std::uint8_t(kv::cmd::KeyRec), 0, 0, 0, 0,
                                                       kv::FrameEnd};
            pty.meter.receiveFrame(rec, kv::SimLink::Usb);
            QVERIFY(pty.meter.logging());
        } else if (situation == 2) {
            pty.meter.faults().inject(kv::SimFault::WrongChecksum, 3, kv::cmd::PageStart);
        } else if (situation == 3) {
            pty.meter.faults().setDeviceAbsent(true);
        }
        pty.server.start();
        QTemporaryDir dir;
        // An older file of the same name stays as it was.
        const QString output = dir.filePath(QStringLiteral("memory.REC"));
        QFile old(output);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older");
        old.close();

        const kvtest::CliRun run = RunCli({"download", "--port", pty.server.slavePath(), "--output", output, "--quiet"});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("older"));
    }
};

QTEST_GUILESS_MAIN(TestCliDownload)
#include "tst_cli_download.moc"

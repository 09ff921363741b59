// The line-protocol output against a real InfluxDB 1.x server started by
// the test: readings of several meters written and queried back, an outage
// of the server, a writer restarted and one killed during an outage, and
// the field logger import of simulated meters (three data sets, a full
// memory) with its archive compared with kv3917-cli download and export.

#include "link/commands.h"
#include "live/decoder.h"
#include "live/livereading.h"
#include "logger/loggercsv.h"
#include "logger/loggerimage.h"
#include "service/fieldimport.h"
#include "service/linesink.h"
#include "sim/simdownloadrig.h"
#include "tests/support/cliprocess.h"
#include "tests/support/influxserver.h"
#include "tests/support/loggerimages.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <map>

using namespace kv::service;

namespace {

constexpr int WriteLimitMs = 120000;   // generous: a loaded machine under ASan
constexpr int ChildLimitMs = 60000;
constexpr std::chrono::milliseconds FastRetry{100};
constexpr std::chrono::milliseconds SlowestRetry{500};
constexpr int ChildSpooledBeforeKill = 60;
// 2026-12-01 08:00:00 UTC: the readings' own times.
constexpr std::int64_t BaseMs = 1796112000000;

MeterInfo Meter(int n)
{
    MeterInfo m;
    m.serial = QStringLiteral("KV3917-TEST %1").arg(n);   // a space to escape
    m.port = QStringLiteral("demo:%1").arg(n);
    m.transport = QStringLiteral("demo");
    return m;
}

// Reading i of meter n: every seventh with T2 out of range, meter 1 shows °F.
MeterReading Reading(int n, int i, std::int64_t baseMs = BaseMs)
{
    MeterReading r;
    r.timeMs = baseMs + 500LL * i;
    r.time = QDateTime::fromMSecsSinceEpoch(r.timeMs);
    r.values = {40.0 + n + (i % 10) * 0.1, 20.0 + i * 0.05, 24.0 - n * 0.125, 15.5, 10.25};
    if (i % 7 == 3) {
        r.values[2].reset();
        r.outOfRange[2] = true;
    }
    r.displayUnit = n == 1 ? QStringLiteral("F") : QStringLiteral("C");
    r.thermocouple = n == 2 ? QStringLiteral("J") : QStringLiteral("K");
    return r;
}

LineTargetOptions Influx1(const QUrl &url, const QString &db)
{
    LineTargetOptions t;
    t.kind = LineTargetKind::Influx1;
    t.url = url;
    t.database = db;
    return t;
}

std::unique_ptr<LineSink> MakeSink(const QUrl &url, const QString &db, const QString &state)
{
    auto sink = std::make_unique<LineSink>(QList<LineTargetOptions>{Influx1(url, db)}, state, LineOptions());
    for (LineTarget *t : sink->targets())
        t->setRetryDelays(FastRetry, SlowestRetry);
    return sink;
}

QString Quoted(const QString &serial)
{
    QString s = serial;
    s.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

// The point a reading gives, as the database returns it.
QVariantMap Expected(const MeterInfo &meter, const MeterReading &r)
{
    QVariantMap row;
    row.insert(QStringLiteral("time"), qlonglong(r.timeMs));
    row.insert(QStringLiteral("meter"), meter.serial);
    row.insert(QStringLiteral("unit"), r.displayUnit);
    row.insert(QStringLiteral("thermocouple"), r.thermocouple);
    for (const ChannelInfo &c : MeterChannels) {
        const std::optional<double> &v = r.values[size_t(c.id)];
        row.insert(QString::fromLatin1(c.key), v ? QVariant(FieldNumber(*v).toDouble()) : QVariant());
    }
    return row;
}

// A database row in the form of Expected(): numbers as doubles, times as integers.
QVariantMap Normalised(QVariantMap row)
{
    for (auto it = row.begin(); it != row.end(); ++it) {
        if (it.key() == QLatin1String("time"))
            it.value() = it.value().toLongLong();
        else if (it.value().isValid() && !it.value().isNull() && it.value().canConvert<double>()
                 && it.value().typeId() != QMetaType::QString)
            it.value() = it.value().toDouble();
        else if (it.value().isNull())
            it.value() = QVariant();
    }
    return row;
}

QList<QVariantMap> MeterRows(kvtest::InfluxServer &server, const QString &db, const QString &serial)
{
    QList<QVariantMap> rows;
    for (const QVariantMap &row :
         server.rows(QStringLiteral("SELECT * FROM kv3917 WHERE meter = %1 ORDER BY time").arg(Quoted(serial)), db))
        rows << Normalised(row);
    return rows;
}

QList<qlonglong> Times(const QList<QVariantMap> &rows)
{
    QList<qlonglong> times;
    for (const QVariantMap &r : rows)
        times << r.value(QStringLiteral("time")).toLongLong();
    return times;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Report(const char *what, const LineCounters &c)
{
    std::fprintf(stderr, "%s: written %llu, spooled %llu, replayed %llu, dropped %llu, duplicates %llu, failed writes %llu\n",
                 what, static_cast<unsigned long long>(c.written), static_cast<unsigned long long>(c.spooled),
                 static_cast<unsigned long long>(c.replayed), static_cast<unsigned long long>(c.dropped),
                 static_cast<unsigned long long>(c.duplicates), static_cast<unsigned long long>(c.writeFailures));
}

// The child process of childKilledDuringOutage: feeds readings of one meter
// to a sink whose server is down and says how many are in the spool, until
// it is killed.
int RunSpoolWriter(const QStringList &args)
{
    const QString state = args.value(2);
    const QUrl url(args.value(3));
    const QString db = args.value(4);
    std::unique_ptr<LineSink> sink = MakeSink(url, db, state);
    if (!sink->open())
        return 1;
    const MeterInfo meter = Meter(9);
    sink->meterUp(meter);
    int next = 0;
    std::uint64_t told = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        sink->reading(meter, Reading(9, next++));
        const std::uint64_t spooled = sink->counters().spooled;
        if (spooled != told) {
            told = spooled;
            std::printf("spooled %llu\n", static_cast<unsigned long long>(spooled));
            std::fflush(stdout);
        }
    });
    timer.start(5);
    return QCoreApplication::exec();
}

} // namespace

class TestInfluxDb : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readingsOfSeveralMeters();
    void outageIsFilledIn();
    void writerRestartedDuringOutage();
    void childKilledDuringOutage();
    void fieldImport();

private:
    bool restartServer();
    void waitIdle(LineSink &sink);

    QTemporaryDir m_dir;
    std::unique_ptr<kvtest::InfluxServer> m_server;
};

void TestInfluxDb::initTestCase()
{
    if (kvtest::InfluxdPath().isEmpty())
        QSKIP("influxd is not installed (scripts/install-deps --test installs it)");
    QVERIFY(m_dir.isValid());
    m_server = std::make_unique<kvtest::InfluxServer>(m_dir.filePath(QStringLiteral("influxdb")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("influxdb")));
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
    for (const char *db : {"live", "outage", "restart", "killed", "logger"})
        QVERIFY(m_server->createDatabase(QString::fromLatin1(db)));
}

void TestInfluxDb::cleanupTestCase()
{
    if (m_server)
        m_server->stop();
}

bool TestInfluxDb::restartServer()
{
    QString error;
    if (!m_server->start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    return true;
}

void TestInfluxDb::waitIdle(LineSink &sink)
{
    QTRY_VERIFY_WITH_TIMEOUT(sink.idle(), WriteLimitMs);
}

void TestInfluxDb::readingsOfSeveralMeters()
{
    QTemporaryDir state;
    std::unique_ptr<LineSink> sink = MakeSink(m_server->url(), QStringLiteral("live"), state.path());
    QVERIFY(sink->open());
    constexpr int Meters = 3;
    constexpr int Readings = 40;
    for (int n = 0; n < Meters; ++n)
        sink->meterUp(Meter(n));
    for (int i = 0; i < Readings; ++i)
        for (int n = 0; n < Meters; ++n)
            sink->reading(Meter(n), Reading(n, i));
    // A reading not after the one before is left out.
    sink->reading(Meter(0), Reading(0, Readings - 1));
    waitIdle(*sink);
    QCOMPARE(sink->counters().written, std::uint64_t(Meters * Readings));
    QCOMPARE(sink->counters().duplicates, std::uint64_t(1));
    QCOMPARE(sink->counters().spooled, std::uint64_t(0));

    for (int n = 0; n < Meters; ++n) {
        const QList<QVariantMap> rows = MeterRows(*m_server, QStringLiteral("live"), Meter(n).serial);
        QCOMPARE(rows.size(), Readings);
        for (int i = 0; i < Readings; ++i)
            QCOMPARE(rows[i], Expected(Meter(n), Reading(n, i)));
    }
}

void TestInfluxDb::outageIsFilledIn()
{
    QTemporaryDir state;
    std::unique_ptr<LineSink> sink = MakeSink(m_server->url(), QStringLiteral("outage"), state.path());
    QVERIFY(sink->open());
    const MeterInfo a = Meter(4), b = Meter(5);
    sink->meterUp(a);
    sink->meterUp(b);
    int next = 0;
    const auto feed = [&](int count) {
        for (int k = 0; k < count; ++k, ++next) {
            sink->reading(a, Reading(4, next));
            sink->reading(b, Reading(5, next));
        }
    };
    feed(20);
    waitIdle(*sink);

    m_server->stop();
    feed(30);                                   // the batch that finds the server gone
    QTRY_VERIFY_WITH_TIMEOUT(sink->counters().writeFailures > 0, WriteLimitMs);
    feed(50);                                   // straight to the spool
    QVERIFY(sink->counters().spooled >= 100);
    QVERIFY(!sink->idle());
    QVERIFY(restartServer());
    feed(10);                                   // behind the spool
    waitIdle(*sink);

    const LineCounters c = sink->counters();
    Report("outage", c);
    QCOMPARE(c.written + c.replayed, std::uint64_t(2 * next));
    QCOMPARE(c.spooled, c.replayed);
    QCOMPARE(c.dropped, std::uint64_t(0));
    for (int n : {4, 5}) {
        const MeterInfo m = Meter(n);
        const QList<QVariantMap> rows = MeterRows(*m_server, QStringLiteral("outage"), m.serial);
        QCOMPARE(rows.size(), next);            // each reading once
        for (int i = 0; i < next; ++i)
            QCOMPARE(rows[i], Expected(m, Reading(n, i)));
    }
}

void TestInfluxDb::writerRestartedDuringOutage()
{
    QTemporaryDir state;
    const MeterInfo m = Meter(6);
    m_server->stop();
    {
        std::unique_ptr<LineSink> sink = MakeSink(m_server->url(), QStringLiteral("restart"), state.path());
        QVERIFY(sink->open());
        sink->meterUp(m);
        for (int i = 0; i < 25; ++i)
            sink->reading(m, Reading(6, i));
        QTRY_VERIFY_WITH_TIMEOUT(sink->counters().writeFailures > 0, WriteLimitMs);
        for (int i = 25; i < 40; ++i)
            sink->reading(m, Reading(6, i));
        sink->stop();
    }
    std::unique_ptr<LineSink> again = MakeSink(m_server->url(), QStringLiteral("restart"), state.path());
    QVERIFY(again->open());
    QCOMPARE(again->counters().spoolPoints, 40);
    QVERIFY(restartServer());
    waitIdle(*again);
    QCOMPARE(again->counters().replayed, std::uint64_t(40));
    const QList<QVariantMap> rows = MeterRows(*m_server, QStringLiteral("restart"), m.serial);
    QCOMPARE(rows.size(), 40);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(rows[i], Expected(m, Reading(6, i)));
}

void TestInfluxDb::childKilledDuringOutage()
{
    QTemporaryDir state;
    m_server->stop();
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--spool-writer"), state.path(), m_server->url().toString(), QStringLiteral("killed")});
    QVERIFY(child.waitForStarted(ChildLimitMs));
    std::uint64_t spooled = 0;
    QDeadlineTimer deadline(ChildLimitMs);
    while (spooled < ChildSpooledBeforeKill && !deadline.hasExpired() && child.state() == QProcess::Running) {
        if (!child.canReadLine() && !child.waitForReadyRead(1000))
            continue;
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("spooled "))
                spooled = line.mid(8).toULongLong();
        }
    }
    QVERIFY2(spooled >= ChildSpooledBeforeKill, "the writer did not spool in time");
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(ChildLimitMs));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    std::unique_ptr<LineSink> again = MakeSink(m_server->url(), QStringLiteral("killed"), state.path());
    QVERIFY(again->open());
    QVERIFY(again->counters().spoolPoints >= qint64(spooled));
    QVERIFY(restartServer());
    waitIdle(*again);
    Report("killed writer, replay", again->counters());
    const QList<QVariantMap> rows = MeterRows(*m_server, QStringLiteral("killed"), Meter(9).serial);
    // Every reading the writer had spooled, once, each with its own time.
    QVERIFY(rows.size() >= int(spooled));
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i], Expected(Meter(9), Reading(9, i)));
}

void TestInfluxDb::fieldImport()
{
    // A meter back from the field with three data sets, one with a full memory.
    kvtest::RawSet first = kvtest::SetOf(120, {455, 231, 752});
    kvtest::RawSet second = kvtest::SetOf(75, {610, 180, 700});
    second.start = {0x25, 0x04, 0x01, 0x06, 0x30, 0x00};
    second.unit = 0;
    second.intervalSeconds = 5;
    kvtest::RawSet third = kvtest::SetOf(40, {300, -52, 320});
    third.start = {0x25, 0x04, 0x02, 0x10, 0x00, 0x00};
    third.unit = 2;
    third.couple = 1;
    third.samples[3].t2F10 = 30000;   // beyond the thermocouple's range
    const QByteArray threeSets = kvtest::LoggerImageBuilder().add(first).add(second).add(third).image();
    kvtest::RawSet full = kvtest::SetOf(32413, {500, 200, 700});
    full.start = {0x24, 0x12, 0x01, 0x00, 0x00, 0x00};
    const QByteArray fullMemory = kvtest::LoggerImageBuilder().add(full).image();
    QCOMPARE(fullMemory.size(), kv::LoggerMaxImageSize);

    QTemporaryDir state;
    QTemporaryDir archive;
    FieldImportOptions options;
    options.stateDir = state.path();
    options.archiveDir = archive.path();
    const FieldImporter importer(options);
    std::unique_ptr<LineSink> sink = MakeSink(m_server->url(), QStringLiteral("logger"), state.path());
    QVERIFY(sink->open());

    struct Case {
        QString serial;
        QByteArray image;
    };
    for (const Case &c : {Case{QStringLiteral("KV3917-FIELD-3"), threeSets}, Case{QStringLiteral("KV3917-FULL"), fullMemory}}) {
        kv::SimDownloadRig rig(kv::SimLink::Usb);
        rig.meter.loadLoggerImage(c.image);
        rig.meter.setSerialText(c.serial);
        const FieldImportResult result = importer.run(rig.link, c.serial, false, rig.clock);
        QVERIFY2(result.outcome == FieldImportOutcome::Imported, qPrintable(result.message));
        QVERIFY(sink->addImported(result.lines));
        QVERIFY(importer.commit(result));
        waitIdle(*sink);

        const kv::LoggerParse parse = kv::ParseLoggerImage(c.image, 0);
        QCOMPARE(result.dataSets, int(parse.dataSets.size()));
        int samples = 0;
        QList<qlonglong> times;
        for (int s = 0; s < int(parse.dataSets.size()); ++s) {
            samples += parse.dataSets[size_t(s)].count;
            for (const TimedLine &l : LoggerSetLines(parse, s, c.serial))
                times << qlonglong(l.timeMs);
        }
        QCOMPARE(result.samples, samples);
        std::sort(times.begin(), times.end());
        // Every sample in the database at its own time.
        const QList<QVariantMap> rows = MeterRows(*m_server, QStringLiteral("logger"), c.serial);
        QCOMPARE(rows.size(), samples);
        QCOMPARE(Times(rows), times);

        // The archive: the image as downloaded and each data set's CSV.
        QCOMPARE(ReadFile(QDir(result.folder).filePath(QStringLiteral("logger.REC"))), rig.meter.memory().left(c.image.size()));
        for (int s = 0; s < int(parse.dataSets.size()); ++s) {
            const QString csv = QDir(result.folder).filePath(QStringLiteral("set-%1.csv").arg(s + 1, 3, 10, QLatin1Char('0')));
            const kvtest::CliRun exported = kvtest::RunCli(
                {QStringLiteral("export"), QDir(result.folder).filePath(QStringLiteral("logger.REC")), QStringLiteral("--set"),
                 QString::number(s + 1)});
            QCOMPARE(exported.exitCode, 0);
            QCOMPARE(ReadFile(csv), exported.outBytes);
        }

        // Attached again: nothing new, nothing imported twice.
        const FieldImportResult again = importer.run(rig.link, c.serial, false, rig.clock);
        QCOMPARE(int(again.outcome), int(FieldImportOutcome::NothingNew));
        QVERIFY(again.lines.empty());
        QCOMPARE(QDir(archive.filePath(c.serial)).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    // The three-set image as kv3917-cli download reads it from a simulated meter.
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("in.REC"));
    const QString output = dir.filePath(QStringLiteral("out.REC"));
    {
        QFile in(input);
        QVERIFY(in.open(QIODevice::WriteOnly));
        in.write(threeSets);
    }
    QProcess sim;
    sim.start(QStringLiteral(KV_SIM_PATH), {QStringLiteral("--memory"), input, QStringLiteral("--no-drift")});
    QVERIFY(sim.waitForReadyRead(ChildLimitMs));
    const QString path = QString::fromUtf8(sim.readLine()).trimmed();
    const kvtest::CliRun download = kvtest::RunCli({QStringLiteral("download"), QStringLiteral("--port"), path,
                                                    QStringLiteral("--output"), output, QStringLiteral("--quiet")},
                                                   ChildLimitMs);
    sim.terminate();
    sim.waitForFinished();
    QCOMPARE(download.exitCode, 0);
    const QStringList folders = QDir(archive.filePath(QStringLiteral("KV3917-FIELD-3"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 1);
    QCOMPARE(ReadFile(archive.filePath(QStringLiteral("KV3917-FIELD-3/%1/logger.REC").arg(folders.first()))),
             ReadFile(output));

    // A meter that records is left alone: no download at all.
    kv::SimDownloadRig recording(kv::SimLink::Usb);
    recording.meter.loadLoggerImage(threeSets);
    QVERIFY(recording.link.QueryUsb(kv::cmd::KeyRec));
    QVERIFY(recording.link.ReadLiveReply());
    kv::LiveReading reading;
    kv::DecodeLiveReply(recording.link.Reply.data(), reading);
    QVERIFY(reading.MeterLogging);
    recording.meter.clearLog();
    const FieldImportResult left = importer.run(recording.link, QStringLiteral("KV3917-REC"), reading.MeterLogging,
                                                recording.clock);
    QCOMPARE(int(left.outcome), int(FieldImportOutcome::Recording));
    QCOMPARE(recording.meter.frameCount('P'), 0);
    QVERIFY(!QFileInfo::exists(archive.filePath(QStringLiteral("KV3917-REC"))));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == QLatin1String("--spool-writer"))
        return RunSpoolWriter(args);
    TestInfluxDb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_influxdb.moc"

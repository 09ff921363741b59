// The line-protocol output: one point appended to the spool (the cost of a
// reading while the database is away), the replay of a spool to a private
// InfluxDB 1.x server on the loopback, and a full logger memory's 32,413
// points reaching that server once the download has ended.
#include "service/fieldimport.h"
#include "service/linesink.h"
#include "sim/simdownloadrig.h"
#include "tests/support/influxserver.h"
#include "tests/support/loggerimages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace kv::service;

constexpr int ReplayPoints = 50000;
constexpr int WaitLimitMs = 300000;

struct Server {
    QTemporaryDir dir;
    kvtest::InfluxServer influx{dir.path()};
    bool ok = false;
    int databases = 0;
};

// One server for every benchmark of the run, stopped with the application.
Server *SharedServer()
{
    static Server *server = nullptr;
    if (!server) {
        server = new Server;
        QString error;
        server->ok = server->influx.start(&error);
        qAddPostRoutine([] {
            delete server;
            server = nullptr;
        });
    }
    return server && server->ok ? server : nullptr;
}

QString NewDatabase(Server &server)
{
    const QString name = QStringLiteral("bench%1").arg(++server.databases);
    server.influx.createDatabase(name);
    return name;
}

std::unique_ptr<LineSink> Sink(Server &server, const QString &db, const QString &state)
{
    LineTargetOptions t;
    t.kind = LineTargetKind::Influx1;
    t.url = server.influx.url();
    t.database = db;
    return std::make_unique<LineSink>(QList<LineTargetOptions>{t}, state, LineOptions());
}

bool WaitIdle(LineSink &sink)
{
    if (sink.idle())
        return true;
    QEventLoop loop;
    QObject::connect(sink.targets().first(), &LineTarget::becameIdle, &loop, &QEventLoop::quit);
    QTimer::singleShot(WaitLimitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return sink.idle();
}

QByteArray Line(std::int64_t timeMs)
{
    LinePoint p;
    p.meter = QStringLiteral("KV3917-2210-0417");
    p.unit = QStringLiteral("C");
    p.thermocouple = QStringLiteral("K");
    p.timeMs = timeMs;
    p.values = {45.2, 23.5, 24.1, 16.0, 11.0};
    return LineOf(p);
}

void BM_SpoolAppend(benchmark::State &state)
{
    QTemporaryDir dir;
    Spool spool(dir.path());
    if (!spool.open()) {
        state.SkipWithError("cannot open the spool");
        return;
    }
    std::int64_t t = 1796112000000;
    std::vector<SpoolPoint> one{SpoolPoint{t, Line(t)}};
    for (auto _ : state) {
        one[0].timeMs = t;   // the line's text does not matter to the spool
        t += 500;
        if (!spool.append(one)) {
            state.SkipWithError("cannot append");
            return;
        }
    }
}
BENCHMARK(BM_SpoolAppend);

void BM_SpoolReplayToInflux(benchmark::State &state)
{
    Server *server = SharedServer();
    if (!server) {
        state.SkipWithError("influxd cannot be started");
        return;
    }
    std::int64_t t = 1796112000000;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir stateDir;
        const QString db = NewDatabase(*server);
        {
            Spool spool(LineSink::spoolFolder(stateDir.path(), Sink(*server, db, stateDir.path())->targets().first()->options()));
            spool.open();
            std::vector<SpoolPoint> points;
            for (int i = 0; i < ReplayPoints; ++i, t += 500)
                points.push_back({t, Line(t)});
            spool.append(points);
        }
        std::unique_ptr<LineSink> sink = Sink(*server, db, stateDir.path());
        state.ResumeTiming();
        sink->open();
        if (!WaitIdle(*sink) || sink->counters().replayed != ReplayPoints) {
            state.SkipWithError("the spool was not replayed");
            return;
        }
    }
    state.counters["points"] = benchmark::Counter(double(ReplayPoints) * double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpoolReplayToInflux)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FullMemoryImportToInflux(benchmark::State &state)
{
    Server *server = SharedServer();
    if (!server) {
        state.SkipWithError("influxd cannot be started");
        return;
    }
    kvtest::RawSet full = kvtest::SetOf(32413, {500, 200, 700});
    const QByteArray image = kvtest::LoggerImageBuilder().add(full).image();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        FieldImportOptions options;
        options.stateDir = dir.filePath(QStringLiteral("state"));
        options.archiveDir = dir.filePath(QStringLiteral("archive"));
        kv::SimDownloadRig rig(kv::SimLink::Usb);
        rig.meter.loadLoggerImage(image);
        const FieldImportResult result =
            FieldImporter(options).run(rig.link, QStringLiteral("KV-FULL-%1").arg(++n), false, rig.clock);
        std::unique_ptr<LineSink> sink = Sink(*server, NewDatabase(*server), options.stateDir);
        sink->open();
        state.ResumeTiming();
        // From the end of the download: into the spool, then to the server.
        if (!sink->addImported(result.lines) || !WaitIdle(*sink) || sink->counters().replayed != 32413) {
            state.SkipWithError("the import did not reach the server");
            return;
        }
    }
}
BENCHMARK(BM_FullMemoryImportToInflux)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

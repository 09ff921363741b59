// The service with many meters: 32 simulated meters on pseudo-terminals at
// 9600 baud polled twice a second with one more meter silent — the kv3917d
// process's share of one core and its resident memory, and the p99 interval
// between two readings of a meter; and an hour of polling, accelerated, for
// the memory it leaves behind.
#include "service/service.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace kv::service;

namespace {

constexpr int MeterCount = 32;
constexpr int WarmUpMs = 5000;
constexpr int MeasureMs = 20000;
// Accelerated hour: polls an hour at 2 Hz makes, at a much shorter period.
constexpr int HourPolls = 7200;
constexpr int AcceleratedPeriodMs = 5;
constexpr int AcceleratedMeters = 4;

struct PtyMeters {
    std::vector<std::unique_ptr<kv::SimMeter>> meters;
    std::vector<std::unique_ptr<kv::SimPtyServer>> servers;
    QStringList paths;

    PtyMeters(int count, bool oneSilent)
    {
        for (int i = 0; i < count + (oneSilent ? 1 : 0); ++i) {
            kv::SimOptions options;
            options.seed = kv::SimDefaultSeed + std::uint32_t(i);
            options.prefillLogger = false;
            meters.push_back(std::make_unique<kv::SimMeter>(nullptr, options));
            if (i == count)
                meters.back()->faults().setDeviceAbsent(true);
            servers.push_back(std::make_unique<kv::SimPtyServer>(*meters.back(), kv::SimSerialPacing::Baud9600));
            servers.back()->start();
            paths << servers.back()->slavePath();
        }
    }
    ~PtyMeters()
    {
        for (auto &s : servers)
            s->stop();
    }
};

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// utime + stime of a process in seconds, and its resident memory in kB.
double ProcessCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return 0;
    return double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

long ResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The kv3917d process with 32 meters and a silent one.
void BM_ServiceProcess32Meters(benchmark::State &state)
{
    PtyMeters pty(MeterCount, true);
    for (auto _ : state) {
        QProcess service;
        QStringList args{QStringLiteral("--no-usb"), QStringLiteral("--state-dir"), QStringLiteral("/tmp/kv3917d-bench"),
                         QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")};
        for (const QString &p : pty.paths)
            args << QStringLiteral("--port") << p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KV3917_LOCK_DIR"), QStringLiteral("/tmp"));
        service.setProcessEnvironment(env);
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service.start(QStringLiteral(KV_DAEMON_PATH), args);
        if (!service.waitForStarted()) {
            state.SkipWithError("kv3917d did not start");
            return;
        }
        Wait(WarmUpMs);
        const double cpu0 = ProcessCpuSeconds(service.processId());
        QElapsedTimer clock;
        clock.start();
        Wait(MeasureMs);
        const double cpu = ProcessCpuSeconds(service.processId()) - cpu0;
        state.counters["cpu_percent"] = 100.0 * cpu / (double(clock.elapsed()) / 1000.0);
        state.counters["rss_mb"] = double(ResidentKb(service.processId())) / 1024.0;
        ::kill(pid_t(service.processId()), SIGTERM);
        service.waitForFinished();
    }
}
BENCHMARK(BM_ServiceProcess32Meters)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

class IntervalSink : public Sink {
public:
    std::map<QString, std::vector<std::int64_t>> times;
    bool measuring = false;
    void meterUp(const MeterInfo &) override {}
    void meterDown(const MeterInfo &) override {}
    void reading(const MeterInfo &m, const MeterReading &r) override
    {
        if (measuring)
            times[m.serial].push_back(r.timeMs);
    }
};

// Every meter keeps its period while one more is silent.
void BM_ServicePollInterval32Meters(benchmark::State &state)
{
    PtyMeters pty(MeterCount, true);
    for (auto _ : state) {
        IntervalSink sink;
        Service service;
        service.addSink(&sink);
        ServiceConfig config;
        config.usb = false;
        config.ports = pty.paths;
        service.start(config);
        Wait(WarmUpMs);
        sink.measuring = true;
        Wait(MeasureMs);
        service.stop();
        std::vector<std::int64_t> intervals;
        for (const auto &[serial, t] : sink.times)
            for (std::size_t i = 1; i < t.size(); ++i)
                intervals.push_back(t[i] - t[i - 1]);
        std::sort(intervals.begin(), intervals.end());
        if (intervals.empty()) {
            state.SkipWithError("no readings");
            return;
        }
        const double p99 = double(intervals[intervals.size() * 99 / 100]);
        state.counters["p99_interval_ms"] = p99;
        state.counters["p99_per_period"] = p99 / DefaultPollPeriodMs;
        state.counters["meters_read"] = double(sink.times.size());
    }
}
BENCHMARK(BM_ServicePollInterval32Meters)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

long SelfResidentKb() { return ResidentKb(QCoreApplication::applicationPid()); }

// An hour's polls of each meter at a period of a few milliseconds.
void BM_ServiceHourOfPollingMemory(benchmark::State &state)
{
    for (auto _ : state) {
        IntervalSink sink;
        Service service;
        ServiceConfig config;
        config.usb = false;
        config.demo = AcceleratedMeters;
        config.periodMs = AcceleratedPeriodMs;
        service.start(config);
        const auto polls = [&] {
            std::uint64_t least = UINT64_MAX;
            for (const MeterStatus &m : service.meters())
                least = std::min(least, m.polls);
            return service.meters().isEmpty() ? 0 : least;
        };
        // The first minute's worth settles the allocator.
        while (polls() < HourPolls / 60)
            Wait(100);
        const long before = SelfResidentKb();
        QElapsedTimer clock;
        clock.start();
        while (polls() < HourPolls && clock.elapsed() < 10 * 60 * 1000)
            Wait(200);
        const long after = SelfResidentKb();
        service.stop();
        state.counters["polls_per_meter"] = double(polls());
        state.counters["growth_kb"] = double(after - before);
    }
}
BENCHMARK(BM_ServiceHourOfPollingMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

// The MQTT output against a private mosquitto on loopback: reading-to-
// subscriber latency for 32 meters at 2 Hz (p50/p99), the CPU its main
// thread adds, and the replay of a full queue of 10,000 readings after the
// broker comes back.  Run with --benchmark_repetitions=N for medians.
#include "service/mqttsink.h"
#include "tests/support/meterreadings.h"
#include "tests/support/mosquittobroker.h"
#include "tests/support/mqttsubscriber.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

using namespace kv::service;

namespace {

constexpr int Meters = 32;
constexpr int PollMs = 500;
constexpr int RunMs = 4000;
constexpr int ReplayReadings = 10000;

std::int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

MqttOptions optionsFor(const kvtest::MosquittoBroker &broker, int queueSize = MqttDefaultQueueSize)
{
    MqttOptions options;
    QString error;
    options.set(QStringLiteral("mqtt"), broker.url(), &error);
    options.set(QStringLiteral("mqtt-queue"), QString::number(queueSize), &error);
    options.backoffMinMs = 20;
    options.backoffMaxMs = 50;
    options.finish(QProcessEnvironment(), &error);
    return options;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// 32 meters polled at 2 Hz, each on its own phase, for RunMs; with a sink,
// or (baseline) with the readings going nowhere.
struct MeterRun {
    std::map<std::pair<int, int>, std::int64_t> sentNs; // (meter, index) -> when handed to the sink
    double cpuSeconds = 0;

    void run(MqttSink *sink)
    {
        std::vector<MeterInfo> meters;
        for (int m = 0; m < Meters; ++m)
            meters.push_back(kvtest::SyntheticMeter(QStringLiteral("KVB%1").arg(m, 3, 10, QLatin1Char('0'))));
        if (sink)
            for (const MeterInfo &meter : meters)
                sink->meterUp(meter);
        std::vector<std::unique_ptr<QTimer>> timers;
        std::vector<int> next(Meters, 0);
        const double cpuStart = threadCpuSeconds();
        for (int m = 0; m < Meters; ++m) {
            auto timer = std::make_unique<QTimer>();
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer.get(), &QTimer::timeout, [this, sink, m, &meters, &next] {
                const MeterReading reading = kvtest::SyntheticReading(next[std::size_t(m)]);
                sentNs[{m, next[std::size_t(m)]}] = steadyNs();
                ++next[std::size_t(m)];
                if (sink)
                    sink->reading(meters[std::size_t(m)], reading);
            });
            QTimer *raw = timer.get();
            QTimer::singleShot(PollMs * m / Meters, raw, [raw] { raw->start(PollMs); });
            timers.push_back(std::move(timer));
        }
        runEventLoopFor(RunMs);
        timers.clear();
        cpuSeconds = threadCpuSeconds() - cpuStart;
    }
};

void BM_MqttLatency32MetersAt2Hz(benchmark::State &state)
{
    kvtest::MosquittoBroker broker;
    if (!broker.start()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    for (auto _ : state) {
        MeterRun baseline;
        baseline.run(nullptr);

        kvtest::MqttSubscriber subscriber;
        if (!subscriber.connect(broker.port(), QStringLiteral("kv3917/+/state"))) {
            state.SkipWithError("no subscriber");
            return;
        }
        MqttSink sink(optionsFor(broker));
        sink.start();
        QElapsedTimer wait;
        wait.start();
        while (!sink.counters().connected && wait.elapsed() < 10000)
            runEventLoopFor(10);
        MeterRun run;
        run.run(&sink);
        runEventLoopFor(200); // the last ones arrive
        std::vector<double> latenciesMs;
        for (const auto &message : subscriber.messages()) {
            const int meter = message.topic.section(u'/', 1, 1).mid(3).toInt();
            const QString time = QJsonDocument::fromJson(message.payload).object().value(u"time").toString();
            const qint64 ms = QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch();
            const int index = int((ms - kvtest::SyntheticReading(0).timeMs) / PollMs);
            const auto sent = run.sentNs.find({meter, index});
            if (sent != run.sentNs.end())
                latenciesMs.push_back(double(message.receivedNs - sent->second) / 1e6);
        }
        if (latenciesMs.size() < run.sentNs.size()) {
            state.SkipWithError("readings did not arrive");
            return;
        }
        std::sort(latenciesMs.begin(), latenciesMs.end());
        state.counters["p50_ms"] = latenciesMs[latenciesMs.size() / 2];
        state.counters["p99_ms"] = latenciesMs[latenciesMs.size() * 99 / 100];
        state.counters["messages"] = double(latenciesMs.size());
        state.counters["cpu_added_percent"] = 100.0 * (run.cpuSeconds - baseline.cpuSeconds) / (RunMs / 1000.0);
        sink.stop();
    }
}
BENCHMARK(BM_MqttLatency32MetersAt2Hz)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MqttReplayFullQueue(benchmark::State &state)
{
    kvtest::MosquittoBroker broker;
    if (!broker.start()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    const MeterInfo meter = kvtest::SyntheticMeter();
    for (auto _ : state) {
        broker.stop();
        MqttSink sink(optionsFor(broker, ReplayReadings));
        sink.start();
        sink.meterUp(meter);
        for (int i = 0; i < ReplayReadings; ++i)
            sink.reading(meter, kvtest::SyntheticReading(i));
        if (!broker.start()) {
            state.SkipWithError("mosquitto did not start again");
            return;
        }
        kvtest::MqttSubscriber subscriber;
        if (!subscriber.connect(broker.port(), QStringLiteral("kv3917/+/state"))) {
            state.SkipWithError("no subscriber");
            return;
        }
        QElapsedTimer replay;
        QObject::connect(&sink.client(), &MqttClient::connected, [&replay] { replay.start(); });
        qint64 ackedNs = -1; // every reading acknowledged by the broker
        if (!subscriber.waitWithEvents(
                [&](const kvtest::MqttSubscriber &s) {
                    if (ackedNs < 0 && replay.isValid() && sink.counters().queued == 0)
                        ackedNs = replay.nsecsElapsed();
                    return s.size() >= ReplayReadings;
                },
                60000)) {
            state.SkipWithError("the queue was not replayed");
            return;
        }
        const qint64 receivedNs = replay.nsecsElapsed();
        for (int i = 0; i < 6000 && ackedNs < 0; ++i) {
            if (sink.counters().queued == 0)
                ackedNs = replay.nsecsElapsed();
            else
                QTest::qWait(1);
        }
        // The replay proper: until the broker acknowledged every reading.
        state.SetIterationTime(double(ackedNs) / 1e9);
        state.counters["subscriber_has_all_ms"] = double(receivedNs) / 1e6;
        sink.stop();
    }
}
BENCHMARK(BM_MqttReplayFullQueue)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MqttStatePayload(benchmark::State &state)
{
    const MeterReading reading = kvtest::SyntheticReading(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(StatePayload(reading));
}
BENCHMARK(BM_MqttStatePayload);

} // namespace

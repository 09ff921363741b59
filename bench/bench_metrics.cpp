// The service's read-only outputs for 32 meters: /metrics as Prometheus
// scrapes it (through PrometheusExposition, the StatusSource copy included),
// the JSON document and the status page.  Run with
// --benchmark_repetitions=10 --benchmark_report_aggregates_only=true for medians.
#include "service/prometheus.h"
#include "service/statuspage.h"
#include "tests/support/fakestatus.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int Meters = 32;

kvtest::FakeStatus ThirtyTwoMeters()
{
    kvtest::FakeStatus status;
    for (int i = 0; i < Meters; ++i) {
        auto meter = kvtest::NumberedMeter(i);
        if (i % 8 == 7)
            meter.state = kv::service::MeterState::Down;
        if (i % 5 == 4)
            kvtest::OutOfRange(*meter.last, kv::service::ChannelId::T2);
        // Values as a meter in °F gives them: many digits after conversion.
        meter.last->values[std::size_t(kv::service::ChannelId::T1)] = (77.3 + i - 32.0) * 5.0 / 9.0;
        status.list << meter;
    }
    return status;
}

void BM_MetricsRender32(benchmark::State &state)
{
    const kvtest::FakeStatus status = ThirtyTwoMeters();
    const kv::service::PrometheusExposition exposition(status);
    for (auto _ : state) {
        QByteArray text = exposition.render();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * exposition.render().size());
}
BENCHMARK(BM_MetricsRender32)->Unit(benchmark::kMicrosecond);

void BM_MetersJson32(benchmark::State &state)
{
    const kvtest::FakeStatus status = ThirtyTwoMeters();
    for (auto _ : state) {
        QByteArray json = kv::service::RenderMetersJson(status.meters(), true);
        benchmark::DoNotOptimize(json.data());
    }
}
BENCHMARK(BM_MetersJson32)->Unit(benchmark::kMicrosecond);

void BM_StatusPage32(benchmark::State &state)
{
    const kvtest::FakeStatus status = ThirtyTwoMeters();
    for (auto _ : state) {
        QByteArray page = kv::service::RenderStatusPage(status.meters(), true);
        benchmark::DoNotOptimize(page.data());
    }
}
BENCHMARK(BM_StatusPage32)->Unit(benchmark::kMicrosecond);

} // namespace

// Chart redraw and state block with five channels of 100,000 points.

#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/graphfile.h"
#include "realtime/datetime.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

constexpr int Channels = 5;
constexpr int PointsPerChannel = 100000;

// A shown chart holding a long recording: 2 s samples, a gap in T2.
std::unique_ptr<kv::Chart> MakeChart()
{
    auto chart = std::make_unique<kv::Chart>();
    chart->resize(1000, 600);
    chart->setSubsets(Channels);
    chart->setPoints(PointsPerChannel);
    const double t0 = kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(8, 0, 0)));
    std::vector<double> x(size_t(Channels) * PointsPerChannel);
    std::vector<float> y(x.size());
    for (int p = 0; p < PointsPerChannel; ++p) {
        for (int s = 0; s < Channels; ++s) {
            const size_t i = size_t(p) * Channels + size_t(s);
            x[i] = t0 + p * 2 * kv::OneSecond;
            y[i] = float(20 + 10 * s + 5 * std::sin(p / 500.0 + s) + 0.3 * std::sin(p * 0.7));
        }
    }
    for (int p = 40000; p < 40500; ++p)
        y[size_t(p) * Channels + 2] = 9999.0f;
    chart->setXDataIIArray(x.data(), qsizetype(x.size()));
    chart->setYDataArray(y.data(), qsizetype(y.size()));
    chart->setDateTimeMode(kv::sgVBDateTime);
    chart->setManualScaleControlX(kv::sgManualMinAndMax);
    chart->setManualMinX(t0);
    chart->setManualMaxX(t0 + PointsPerChannel * 2 * kv::OneSecond);
    chart->setManualScaleControlY(kv::sgManualMinAndMax);
    chart->setManualMinY(-10);
    chart->setManualMaxY(80);
    chart->setVertLineAnnotation(0, t0 + 1000 * 2 * kv::OneSecond);
    chart->setVertLineAnnotation(1, t0 + 9000 * 2 * kv::OneSecond);
    chart->show();
    chart->redrawNow();
    return chart;
}

void BM_ChartRedraw100k(benchmark::State &state)
{
    auto chart = MakeChart();
    for (auto _ : state) {
        chart->resetImage();
        chart->redrawNow();
    }
}
BENCHMARK(BM_ChartRedraw100k)->Unit(benchmark::kMillisecond);

// A recording in progress: half the points recorded, each iteration adds
// the next sample (five cells) and redraws, as one real-time tick does.
void BM_ChartSampleAndRedraw100k(benchmark::State &state)
{
    auto chart = MakeChart();
    constexpr int Half = PointsPerChannel / 2;
    auto clearSecondHalf = [&] {
        for (int p = Half; p < PointsPerChannel; ++p)
            for (int s = 0; s < Channels; ++s)
                chart->setYData(s, p, 9999.0f);
        chart->redrawNow();
    };
    clearSecondHalf();
    int p = Half;
    for (auto _ : state) {
        if (p == PointsPerChannel) {
            state.PauseTiming();
            clearSecondHalf();
            p = Half;
            state.ResumeTiming();
        }
        for (int s = 0; s < Channels; ++s)
            chart->setYData(s, p, float(25 + s));
        ++p;
        chart->redrawNow();
    }
}
BENCHMARK(BM_ChartSampleAndRedraw100k)->Unit(benchmark::kMillisecond);

void BM_ChartStateStore100k(benchmark::State &state)
{
    auto chart = MakeChart();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray block = chart->storeState();
        bytes = block.size();
        benchmark::DoNotOptimize(block.constData());
    }
    state.counters["block_bytes"] = double(bytes);
}
BENCHMARK(BM_ChartStateStore100k)->Unit(benchmark::kMillisecond);

void BM_ChartStateLoad100k(benchmark::State &state)
{
    auto chart = MakeChart();
    const QByteArray block = chart->storeState();
    kv::Chart target;
    for (auto _ : state) {
        if (!target.loadState(block))
            state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_ChartStateLoad100k)->Unit(benchmark::kMillisecond);

// Store into a block and restore it into a second chart, as a graph file
// round trip does; reports the graph file's size.
void BM_ChartStateRoundTrip100k(benchmark::State &state)
{
    auto chart = MakeChart();
    kv::Chart target;
    for (auto _ : state) {
        if (!target.loadState(chart->storeState()))
            state.SkipWithError("load failed");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.ghf"));
    kv::WriteGraphFile(*chart, path, nullptr);
    state.counters["file_bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_ChartStateRoundTrip100k)->Unit(benchmark::kMillisecond);

} // namespace

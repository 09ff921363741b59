// The real-time graph with a full recording, and the text export.

#include "ui/mainwindow.h"
#include "tests/support/children.h"
#include "app/prompt.h"
#include "chart/view/chart.h"
#include "chart/model/chartstate.h"
#include "ui/savegraph.h"
#include "files/textfile.h"
#include "ui/graphwindow.h"
#include "ui/rangedialog.h"
#include "realtime/datetime.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <QBuffer>
#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int Channels = 5;
// The longest recording the setup dialog takes (five digits).
constexpr int LongestRecording = 99999;
constexpr int ExportPoints = 100000;

const QDateTime StartTime(QDate(2024, 5, 3), QTime(8, 0, 0));

// Points 0 .. recorded-1 of a chart of `points`, 2 s apart.
void FillRecording(kv::Chart &chart, int points, int recorded)
{
    chart.setSubsets(Channels);
    chart.setPoints(points);
    const double t0 = kv::ToDateTime(StartTime);
    std::vector<double> x(size_t(Channels) * size_t(points), 0.0);
    std::vector<float> y(x.size(), 9999.0f);
    for (int p = 0; p < recorded; ++p)
        for (int s = 0; s < Channels; ++s) {
            const size_t i = size_t(p) * Channels + size_t(s);
            x[i] = t0 + p * 2 * kv::OneSecond;
            y[i] = float(20 + 10 * s + 5 * std::sin(p / 500.0 + s) + 0.3 * std::sin(p * 0.7));
        }
    chart.setXDataIIArray(x.data(), qsizetype(x.size()));
    chart.setYDataArray(y.data(), qsizetype(y.size()));
}

// The last sample of the longest recording: the point is written, the
// statistics boxes updated, the chart redrawn, and the full graph stops the
// recording from inside the poll tick (LinkBusy set, as the tick holds it).
void BM_AddRealTimeSampleFull(benchmark::State &state)
{
    QStandardPaths::setTestModeEnabled(true);
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, kv::SimOptions{1, false, false, {}});
    kv::SimUsbTransfer usb(meter);
    MainWindow main(usb);
    main.show();
    main.connection().stopPolling();
    child<QTimer>(main, "MaxMinTimer")->stop();
    GraphWindow &graph = *main.realTimeGraph();
    graph.parentWidget()->resize(800, 600);
    kv::Chart &chart = graph.chart();
    FillRecording(chart, LongestRecording, LongestRecording - 1);
    const double t0 = kv::ToDateTime(StartTime);
    chart.setManualMinX(t0);

    kv::LiveReading reading;
    reading.Rh = 45.3f;
    reading.T1 = 23.1f;
    reading.T2 = 31.7f;
    reading.WetBulb = 16.2f;
    reading.DewPoint = 10.4f;
    const QDateTime stamp = StartTime.addSecs(2LL * (LongestRecording - 1));
    auto prepare = [&] {
        for (int s = 0; s < Channels; ++s) {
            chart.setXDataII(s, LongestRecording - 1, 0.0);
            chart.setYData(s, LongestRecording - 1, 9999.0f);
        }
        chart.setManualMaxX(t0 + (LongestRecording - 2) * 2 * kv::OneSecond);
        chart.redrawNow();
        // A recording one sample short of full.
        main.recorder().start(LongestRecording);
        for (int p = 0; p < LongestRecording - 1; ++p)
            main.recorder().addSample(reading, t0);
        main.connection().link().LinkBusy = true;
    };
    prepare();
    for (auto _ : state) {
        emit main.connection().sampleDue(reading, stamp);
        chart.redrawNow();
        state.PauseTiming();
        if (main.recorder().isRecording() || chart.Points() != LongestRecording)
            state.SkipWithError("the full graph did not stop the recording");
        prepare();
        state.ResumeTiming();
    }
    main.connection().link().LinkBusy = false;
    main.recorder().setUnsaved(false);
    main.recorder().setRecording(false);
}
BENCHMARK(BM_AddRealTimeSampleFull)->Unit(benchmark::kMillisecond);

// 100,000 points written as TAB-separated text, range "All", with the
// progress dialog.
void BM_ExportGraphText100k(benchmark::State &state)
{
    kv::Chart chart;
    FillRecording(chart, ExportPoints, ExportPoints);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.txt"));
    kv::ScriptedPrompts prompts;
    kv::PromptScope scope(prompts);
    for (auto _ : state) {
        prompts.dialogs.push_back([](QDialog &) { return RangeDialog::ResultOk; });
        if (kv::ExportGraphText(nullptr, chart, path, QLatin1Char('\t')) != kv::SaveOutcome::Saved)
            state.SkipWithError("export failed");
    }
    state.counters["file_bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_ExportGraphText100k)->Unit(benchmark::kMillisecond);

// The lines alone, into memory: formatting without dialogs and disk.
void BM_WriteGraphText100k(benchmark::State &state)
{
    kv::Chart chart;
    FillRecording(chart, ExportPoints, ExportPoints);
    const kv::ChartState &chartState = chart.state();
    kv::GraphTextColumns columns;
    columns.points = ExportPoints;
    columns.x = chartState.subsets[0].x.constData();
    for (size_t s = 0; s < Channels; ++s)
        columns.y[s] = chartState.subsets[s].y.constData();
    const kv::TextFileFormat format = kv::TextFileFormat::fromLocale(QLatin1Char('\t'));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        kv::WriteGraphText(buffer, columns, 1, ExportPoints, format);
        benchmark::DoNotOptimize(buffer.data().size());
    }
}
BENCHMARK(BM_WriteGraphText100k)->Unit(benchmark::kMillisecond);

} // namespace

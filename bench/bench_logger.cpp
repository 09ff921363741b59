// Splitting a full logger memory image into data sets, and drawing the
// largest data set on the "DataLogger" window.

#include "chart/view/chart.h"
#include "logger/loggerdata.h"
#include "logger/loggerimage.h"
#include "realtime/datetime.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"

#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int SmallSets = 4000;
constexpr int SmallSetSamples = 5;

// The largest data set the 262144-byte memory holds after the 2816 bytes of
// settings: header and end marker take 20 bytes.
constexpr int LargestSetSamples =
    (kv::LoggerMaxImageSize - kv::LoggerFirstSetOffset - kv::LoggerSetOverhead) / kv::LoggerSampleSize;

// A day of readings: values that change, as a recording's do.
kvtest::RawSample Reading(int k)
{
    return {int(450 + 150 * std::sin(k / 700.0)), int(220 + 60 * std::sin(k / 900.0 + 1)),
            int(720 + 400 * std::sin(k / 300.0))};
}

QByteArray FullImage(bool oneLargeSet)
{
    kvtest::LoggerImageBuilder builder;
    if (oneLargeSet) {
        kvtest::RawSet set;
        for (int k = 0; k < LargestSetSamples; ++k)
            set.samples.push_back(Reading(k));
        builder.add(set);
    } else {
        for (int s = 0; s < SmallSets; ++s) {
            kvtest::RawSet set;
            for (int k = 0; k < SmallSetSamples; ++k)
                set.samples.push_back(Reading(s * SmallSetSamples + k));
            builder.add(set);
        }
    }
    QByteArray image = builder.image();
    image.append(QByteArray(kv::LoggerMaxImageSize - image.size(), char(0xFF)));
    return image;
}

// Arg 0: one data set filling the memory; arg 1: 4000 small data sets.
void BM_ParseLoggerImageFull(benchmark::State &state)
{
    const QByteArray image = FullImage(state.range(0) == 0);
    const double now = kv::NowDateTime();
    for (auto _ : state) {
        kv::LoggerParse parse = kv::ParseLoggerImage(image, now);
        if (parse.code != kv::LoggerParseOk) {
            state.SkipWithError("image not parsed");
            break;
        }
        benchmark::DoNotOptimize(parse.series.values.data());
    }
    state.SetLabel(state.range(0) == 0 ? "one set of 32413 samples" : "4000 sets of 5 samples");
}
BENCHMARK(BM_ParseLoggerImageFull)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The data set filling the memory put on the chart of the "DataLogger"
// window (points, statistics, boxes) and drawn.
void BM_ShowDataSetFull(benchmark::State &state)
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, kv::SimOptions{1, false, false, {}});
    kv::SimUsbTransfer usb(meter);
    MainWindow main(usb);
    main.show();
    main.connection().stopPolling();
    child<QTimer>(main, "MaxMinTimer")->stop();
    kv::LoggerData data;
    data.setDataFolder(dir.path());
    auto *graph = new GraphWindow(LoggerGraphCaption, main.recorder(), main.annotationCursor(), main.settings());
    graph->attachLoggerData(data);
    main.addChild(graph)->resize(1000, 700);
    graph->parentWidget()->show();
    if (data.setImage(FullImage(true)) != kv::LoggerParseOk) {
        state.SkipWithError("image not parsed");
        return;
    }
    for (auto _ : state) {
        graph->showDataSet(data, 0);
        graph->chart().redrawNow();
    }
    if (graph->chart().Points() != LargestSetSamples)
        state.SkipWithError("the data set was not drawn");
}
BENCHMARK(BM_ShowDataSetFull)->Unit(benchmark::kMillisecond);

} // namespace

// Chart redraw and state block with five channels of 100,000 points.

#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/graphfile.h"
#include "realtime/datetime.h"
#include "ui/graphtools.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <cmath>
#include <memory>

namespace {

constexpr int Channels = 5;
constexpr int PointsPerChannel = 100000;

const double StartTime = kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(8, 0, 0)));

// The recording every chart benchmark draws: 2 s samples, a gap in T2;
// point by point with one point's channels consecutive.
struct Recording {
    std::vector<double> x;
    std::vector<float> y;
};

const Recording &LongRecording()
{
    static const Recording r = [] {
        Recording out;
        out.x.resize(size_t(Channels) * PointsPerChannel);
        out.y.resize(out.x.size());
        for (int p = 0; p < PointsPerChannel; ++p) {
            for (int s = 0; s < Channels; ++s) {
                const size_t i = size_t(p) * Channels + size_t(s);
                out.x[i] = StartTime + p * 2 * kv::OneSecond;
                out.y[i] = float(20 + 10 * s + 5 * std::sin(p / 500.0 + s) + 0.3 * std::sin(p * 0.7));
            }
        }
        for (int p = 40000; p < 40500; ++p)
            out.y[size_t(p) * Channels + 2] = 9999.0f;
        return out;
    }();
    return r;
}

// A shown chart holding the long recording.
std::unique_ptr<kv::Chart> MakeChart()
{
    auto chart = std::make_unique<kv::Chart>();
    chart->resize(1000, 600);
    chart->setSubsets(Channels);
    chart->setPoints(PointsPerChannel);
    const double t0 = StartTime;
    const std::vector<double> &x = LongRecording().x;
    const std::vector<float> &y = LongRecording().y;
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

// The baseline a peer would have: the same data in a plain QCustomPlot, one
// QCPGraph per channel, 1-pixel pens, adaptive sampling, the null value as a gap.
void BM_PlainQCustomPlotRedraw100k(benchmark::State &state)
{
    QCustomPlot plot;
    plot.resize(1000, 600);
    const Recording &r = LongRecording();
    const QColor colors[Channels] = {Qt::yellow, Qt::blue, Qt::red, Qt::green, Qt::magenta};
    for (int s = 0; s < Channels; ++s) {
        QVector<double> keys(PointsPerChannel), values(PointsPerChannel);
        for (int p = 0; p < PointsPerChannel; ++p) {
            const size_t i = size_t(p) * Channels + size_t(s);
            keys[p] = r.x[i];
            values[p] = r.y[i] == 9999.0f ? qQNaN() : double(r.y[i]);
        }
        QCPGraph *graph = plot.addGraph();
        graph->setPen(QPen(colors[s], 1));
        graph->setAdaptiveSampling(true);
        graph->setData(keys, values, true);
    }
    plot.xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>::create());
    plot.xAxis->setRange(StartTime, StartTime + PointsPerChannel * 2 * kv::OneSecond);
    plot.yAxis->setRange(-10, 80);
    plot.show();
    plot.replot();
    for (auto _ : state)
        plot.replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_PlainQCustomPlotRedraw100k)->Unit(benchmark::kMillisecond);

QCustomPlot *Surface(kv::Chart &chart) { return chart.findChild<QCustomPlot *>(); }

// One mouse move over the chart with the value read-out it updates; a full
// replot would be a fault.
void BM_MouseReadout100k(benchmark::State &state)
{
    auto chart = MakeChart();
    kv::AnnotationCursor cursor;
    quint32 color = 0;
    QLabel readout(chart.get());
    GraphTools tools(*chart, cursor, color, readout);
    QCustomPlot *surface = Surface(*chart);
    const QRect plot = chart->plottingRect().translated(-surface->pos());
    QApplication::processEvents();
    int replots = 0;
    QObject::connect(surface, &QCustomPlot::afterReplot, [&replots] { ++replots; });
    int step = 0;
    for (auto _ : state) {
        const QPointF at(plot.left() + 10 + (step++ * 7) % (plot.width() - 20), plot.center().y());
        QMouseEvent move(QEvent::MouseMove, at, surface->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(surface, &move);
        QApplication::processEvents();
    }
    if (replots > 0)
        state.SkipWithError("a mouse move replotted the chart");
    if (readout.text().isEmpty())
        state.SkipWithError("no read-out");
}
BENCHMARK(BM_MouseReadout100k)->Unit(benchmark::kMicrosecond);

// One cross placed by a click and drawn.
void BM_PlaceNote100k(benchmark::State &state)
{
    auto chart = MakeChart();
    kv::AnnotationCursor cursor;
    quint32 color = 0xffffff;
    QLabel readout(chart.get());
    GraphTools tools(*chart, cursor, color, readout);
    tools.chooseTool(kv::AnnotationTool::Cross);
    QCustomPlot *surface = Surface(*chart);
    const QRect plot = chart->plottingRect().translated(-surface->pos());
    int step = 0;
    for (auto _ : state) {
        const QPointF at(plot.left() + (step * 13) % (plot.width() - 20), plot.top() + (step * 7) % (plot.height() - 20));
        ++step;
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, surface->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(surface, &click);
        }
        QApplication::processEvents();
        if (chart->graphAnnotationIndexes().size() != 1)
            state.SkipWithError("the click placed no note");
        // Each iteration places the chart's only note.
        state.PauseTiming();
        chart->clearGraphAnnotations();
        cursor.restartNumbering();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlaceNote100k)->Unit(benchmark::kMillisecond);

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

// Text tables of 100,000 rows: opening a text file as a table window, saving
// a table, drawing it as a graph, printing it.

#include "app/prompt.h"
#include "chart/view/chart.h"
#include "files/textfile.h"
#include "files/texttable.h"
#include "realtime/datetime.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "ui/filecommands.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"
#include "ui/tablefiles.h"
#include "ui/tableprinter.h"
#include "ui/tablewindow.h"

#include <QBuffer>
#include <QFile>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <vector>

namespace {

constexpr int TableRows = 100000;
constexpr int Channels = 5;

// Resident memory of the process in bytes.
double ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : 0;
}

// A graph export of `rows` points 2 s apart, as the program writes it.
QByteArray ExportedLines(int rows)
{
    const double t0 = kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(8, 0, 0)));
    std::vector<double> x(static_cast<size_t>(rows));
    std::array<std::vector<double>, Channels> y;
    kv::GraphTextColumns columns;
    columns.points = rows;
    for (int p = 0; p < rows; ++p)
        x[size_t(p)] = t0 + 2 * p * kv::OneSecond;
    columns.x = x.data();
    for (int s = 0; s < Channels; ++s) {
        y[size_t(s)].resize(size_t(rows));
        for (int p = 0; p < rows; ++p)
            y[size_t(s)][size_t(p)] = 20 + 10 * s + 5 * std::sin(p / 500.0 + s);
        columns.y[size_t(s)] = y[size_t(s)].data();
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    kv::WriteGraphText(buffer, columns, 1, rows, kv::TextFileFormat::fromLocale(QLatin1Char('\t')));
    return buffer.data();
}

kv::TextTable TableOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    kv::TextTable table;
    kv::ReadTextTable(buffer, QLatin1Char('\t'), table);
    return table;
}

class BenchHost : public kv::DocumentHost {
public:
    explicit BenchHost(MainWindow &main) : m_main(main) {}
    QWidget *active = nullptr;
    QWidget *dialogParent() override { return &m_main; }
    QWidget *activeDocument() const override { return active; }
    QString initialFolder() const override { return {}; }
    GraphWindow *createGraphWindow(const QString &caption) override
    {
        auto *g = new GraphWindow(caption, m_main.recorder(), m_main.annotationCursor(), m_main.settings());
        m_main.addChild(g);
        return g;
    }
    kv::TableWindow *createTableWindow(const QString &caption) override
    {
        auto *t = new kv::TableWindow(caption);
        m_main.addChild(t)->show();
        return t;
    }
    void showDocument(QWidget *window) override { window->show(); }
    QRect openedGraphGeometry() const override { return QRect(0, 0, 800, 500); }

private:
    MainWindow &m_main;
};

// 100,000 exported lines opened as a table window, progress dialog included;
// the counter is what the process grows by while the window holds them.
void BM_ImportText100k(benchmark::State &state)
{
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.txt"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(ExportedLines(TableRows));
    }
    double growth = 0;
    for (auto _ : state) {
        const double before = ResidentBytes();
        kv::TableWindow *window = kv::ImportTextTable(nullptr, path, {});
        benchmark::DoNotOptimize(window);
        state.PauseTiming();
        growth = ResidentBytes() - before;
        if (!window || window->table().rows() != TableRows)
            state.SkipWithError("rows missing");
        delete window;
        state.ResumeTiming();
    }
    state.counters["growth_MB"] = growth / (1024.0 * 1024.0);
}
BENCHMARK(BM_ImportText100k)->Unit(benchmark::kMillisecond)->Iterations(5);

// A table of 100,000 rows written as text.
void BM_ExportTable100k(benchmark::State &state)
{
    const kv::TextTable table = TableOf(ExportedLines(TableRows));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const kv::TextWriteResult result = kv::WriteTableText(file, table, 1, table.rows(), QLatin1Char('\t'));
        if (result.lines != TableRows)
            state.SkipWithError("lines missing");
    }
}
BENCHMARK(BM_ExportTable100k)->Unit(benchmark::kMillisecond)->Iterations(10);

// "Output Tabular to graph" on a table window of 100,000 rows: the new
// graph window, its progress dialog, the chart filled and its statistics.
void BM_TableToGraph100k(benchmark::State &state)
{
    QStandardPaths::setTestModeEnabled(true);
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, kv::SimOptions{1, false, false, {}});
    kv::SimUsbTransfer usb(meter);
    kv::ScriptedPrompts prompts;
    kv::PromptScope scope(prompts);
    MainWindow main(usb);
    BenchHost host(main);
    kv::FileCommands commands(host);
    auto *table = new kv::TableWindow(QStringLiteral("run.txt"));
    table->model().setTable(TableOf(ExportedLines(TableRows)));
    host.active = table;
    for (auto _ : state) {
        GraphWindow *graph = commands.outputTableToGraph();
        state.PauseTiming();
        if (!graph || graph->chart().Points() != TableRows)
            state.SkipWithError("no graph");
        delete graph->parentWidget();
        state.ResumeTiming();
    }
    delete table;
}
BENCHMARK(BM_TableToGraph100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// The printout of a table of 100,000 rows to a PDF file.
void BM_PrintTable100k(benchmark::State &state)
{
    const kv::TextTable table = TableOf(ExportedLines(TableRows));
    QTemporaryDir dir;
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("table.pdf")));
        if (!kv::PrintTable(printer, table))
            state.SkipWithError("not printed");
    }
}
BENCHMARK(BM_PrintTable100k)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

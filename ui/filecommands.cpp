#include "ui/filecommands.h"

#include "app/prompt.h"
#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "chart/view/chart.h"
#include "files/filefilters.h"
#include "files/tabletograph.h"
#include "realtime/statistics.h"
#include "ui/graphwindow.h"
#include "ui/rangedialog.h"
#include "ui/tablefiles.h"
#include "ui/tableprinter.h"
#include "ui/tablewindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>

namespace kv {
namespace {

// A table's graph: five series, Y from -20 to 100.
constexpr int TableGraphSubsets = GraphChannelCount;
constexpr double TableGraphYMin = -20;
constexpr double TableGraphYMax = 100;
// While a table is drawn, window messages are handled this often.
constexpr int ProgressEventsIntervalMs = 50;

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

// The single-file choice of the open command when no collection hooks are
// installed.
constexpr int ChooseSingleFile = CollectionHooks::SingleFile;

} // namespace

FileCommands::FileCommands(DocumentHost &host, QObject *parent) : QObject(parent), m_host(host) {}

FileCommands::~FileCommands() = default;

QPrinter &FileCommands::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

// ---- save and open ------------------------------------------------------------------------

void FileCommands::save()
{
    QWidget *active = m_host.activeDocument();
    QWidget *parent = m_host.dialogParent();
    QString fileName;
    if (auto *table = qobject_cast<TableWindow *>(active)) {
        if (ExportTableText(parent, table->table(), m_host.initialFolder(), &fileName) == SaveOutcome::Saved)
            emit fileUsed(fileName);
        return;
    }
    auto *graph = qobject_cast<GraphWindow *>(active);
    if (!graph)
        return;
    if (graph->isLoggerGraph() && m_collections) {
        // The logger's data: the whole collection or the data set shown.
        switch (m_collections->chooseSave(parent)) {
        case CollectionHooks::Collection:
            fileName = m_collections->saveCollection(parent);
            if (!fileName.isEmpty())
                emit fileUsed(fileName);
            return;
        case CollectionHooks::SingleFile:
            break;
        default:
            return;
        }
    }
    if (SaveGraphToFile(parent, graph->chart(), m_host.initialFolder(), &fileName) != SaveOutcome::Saved)
        return;
    emit graphSaved(graph);
    emit fileUsed(fileName);
}

void FileCommands::open()
{
    QWidget *parent = m_host.dialogParent();
    const int choice =
        m_collections ? m_collections->chooseOpen(parent, OpenSingleFileCaption()) : ChooseSingleFile;
    if (choice == CollectionHooks::Collection) {
        const QString fileName = m_collections->openCollection(parent);
        if (!fileName.isEmpty())
            emit fileUsed(fileName);
    } else if (choice == CollectionHooks::SingleFile)
        openSingleDataFile();
}

QWidget *FileCommands::openSingleDataFile()
{
    FileDialogRequest request;
    request.folder = m_host.initialFolder();
    request.filter = QtFileFilter(GraphFileFilter());
    request.defaultSuffix = GraphDefaultExtension.toLower();
    const QString fileName = Prompts().openFileName(m_host.dialogParent(), request);
    if (fileName.isEmpty())
        return nullptr;
    const QString extension = QFileInfo(fileName).suffix().toLower();
    QWidget *window = nullptr;
    if (extension == QLatin1String("csv") || extension == QLatin1String("txt"))
        window = openTextFile(fileName);
    else if (extension == QLatin1String("ghf"))
        window = openGraphFile(fileName);
    if (window)
        emit fileUsed(fileName);
    return window;
}

TableWindow *FileCommands::openTextFile(const QString &fileName)
{
    return ImportTextTable(m_host.dialogParent(), fileName,
                           [this](const QString &caption) { return m_host.createTableWindow(caption); });
}

GraphWindow *FileCommands::openGraphFile(const QString &fileName)
{
    QWidget *parent = m_host.dialogParent();
    // The whole file, checked, before any window is made.
    QByteArray block;
    QString error;
    if (!ReadGraphFileBlock(fileName, &block, &error)) {
        Prompts().error(parent, error);
        return nullptr;
    }
    ChartState state;
    if (!LoadChartState(block, &state, &error)) {
        Prompts().error(parent, QCoreApplication::translate("kv", "\"%1\" is not a graph file: %2")
                                    .arg(Native(fileName), error));
        return nullptr;
    }

    GraphWindow *window = m_host.createGraphWindow(Native(QFileInfo(fileName).absoluteFilePath()));
    if (!window)
        return nullptr;
    Chart &chart = window->chart();
    chart.loadState(block);
    block.clear();
    m_host.showDocument(window);
    const QRect place = m_host.openedGraphGeometry();
    if (QWidget *frame = window->parentWidget())
        frame->setGeometry(place);
    else
        window->setGeometry(place);

    window->showGraphStatistics();
    // A file of a split graph keeps the box ticked; clearing it for an
    // unsplit one runs the split handler, which leaves one axis.
    window->setSplitView(chart.MultiAxesSubsets(1) != 0);
    chart.setAllowDataLabels(sgNoDataLabels);
    chart.reinitAndReset();
    window->updateAnnotationTools();
    chart.setAllowGraphAnnotHotSpots(true);
    return window;
}

// ---- table to graph -------------------------------------------------------------------------

GraphWindow *FileCommands::outputTableToGraph()
{
    auto *tableWindow = qobject_cast<TableWindow *>(m_host.activeDocument());
    if (!tableWindow)
        return nullptr;
    QWidget *parent = m_host.dialogParent();
    if (!tableWindow->model().hasData()) {
        Prompts().message(parent, NoDataToGraphText);
        return nullptr;
    }
    // A copy: the table window may be closed while the rows are drawn.
    const TextTable table = tableWindow->table();
    const QLocale locale;
    QPointer<GraphWindow> window = m_host.createGraphWindow(tableWindow->windowTitle());
    if (!window)
        return nullptr;
    const TableGraphRange range = TableGraphExtent(table, locale);
    if (range.status != TableGraphRange::Ok) {
        // The window stays, empty.
        m_host.showDocument(window);
        Prompts().error(parent, range.error);
        return window;
    }
    Chart &chart = window->chart();
    SetUpGraph(chart, TableGraphSubsets, range.points, range.first, range.last, TableGraphYMin, TableGraphYMax);
    window->updateAnnotationTools();

    TableGraphPoints points;
    {
        RangeDialog progress(parent);
        progress.showProgress(GraphingProgressCaption, GraphingText, range.points, false);
        QElapsedTimer sinceEvents;
        sinceEvents.start();
        points = TableGraphValues(table, locale, [&](int row) {
            progress.setProgressValue(row);
            if (sinceEvents.elapsed() >= ProgressEventsIntervalMs) {
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
        });
        progress.hide();
    }
    if (!window)
        return nullptr;   // closed while the rows were drawn
    chart.setXDataIIArray(points.x.data(), qsizetype(points.x.size()));
    chart.setYDataArray(points.y.data(), qsizetype(points.y.size()));
    m_host.showDocument(window);
    window->showGraphStatistics();
    chart.reinitAndReset();
    chart.resetImage();
    return window;
}

// ---- printing ---------------------------------------------------------------------------------

void FileCommands::print()
{
    QWidget *active = m_host.activeDocument();
    if (auto *table = qobject_cast<TableWindow *>(active))
        printTableDialog(table->table());
    else if (auto *graph = qobject_cast<GraphWindow *>(active))
        printGraph(*graph);
}

bool FileCommands::printTableDialog(const TextTable &table)
{
    QPrinter &p = printer();
    if (!m_pageChosen)
        p.setPageOrientation(QPageLayout::Portrait);
    QPrintDialog dialog(&p, m_host.dialogParent());
    if (Prompts().exec(dialog) != QDialog::Accepted)
        return false;
    return PrintTable(p, table);
}

void FileCommands::printGraph(GraphWindow &window)
{
    QPointer<GraphWindow> guard(&window);
    Chart &chart = window.chart();
    // The customisation dialog without its font, graph, colour and subset pages.
    chart.setAllowFontPage(false);
    chart.setAllowPage1(false);
    chart.setAllowPage2(false);
    chart.setAllowSubsetsPage(false);
    chart.customize();
    if (!guard)
        return;
    chart.setAllowFontPage(true);
    chart.setAllowPage1(true);
    chart.setAllowPage2(true);
    chart.setAllowSubsetsPage(true);

    QPrinter &p = printer();
    if (!m_pageChosen)
        p.setPageOrientation(chart.DefOrientation() == sgPortrait ? QPageLayout::Portrait : QPageLayout::Landscape);
    QPrintDialog dialog(&p, m_host.dialogParent());
    if (Prompts().exec(dialog) != QDialog::Accepted || !guard)
        return;
    chart.print(&p);
}

void FileCommands::printPreview()
{
    QWidget *active = m_host.activeDocument();
    QPointer<TableWindow> table = qobject_cast<TableWindow *>(active);
    QPointer<GraphWindow> graph = qobject_cast<GraphWindow *>(active);
    if (!table && !graph)
        return;
    QPrinter &p = printer();
    if (!m_pageChosen) {
        const bool landscape = graph && graph->chart().DefOrientation() != sgPortrait;
        p.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    }
    QPrintPreviewDialog preview(&p, m_host.dialogParent());
    preview.setObjectName(QStringLiteral("PrintPreview"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter *target) {
        if (table)
            PrintTable(*target, table->table());
        else if (graph)
            graph->chart().print(target);
    });
    Prompts().exec(preview);
}

void FileCommands::printerSetup()
{
    QPageSetupDialog dialog(&printer(), m_host.dialogParent());
    if (Prompts().exec(dialog) == QDialog::Accepted)
        m_pageChosen = true;
}

} // namespace kv

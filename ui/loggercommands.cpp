// The main window's logger commands: the "DataLogger" window, and the save
// and open commands' collection branches.

#include "ui/mainwindow.h"

#include "app/prompt.h"
#include "chart/view/chart.h"
#include "realtime/channels.h"
#include "realtime/datetime.h"
#include "ui/collectioncommands.h"
#include "ui/graphwindow.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// The empty chart of a new "DataLogger" window.
constexpr int EmptyLoggerPoints = 500;
constexpr double EmptyLoggerSeconds = 500;
constexpr double EmptyLoggerYMin = 30;
constexpr double EmptyLoggerYMax = 130;
// The window is this much less high than the main window's client area.
constexpr int LoggerGraphHeightSlack = 60;

} // namespace

GraphWindow &MainWindow::ensureLoggerGraph()
{
    if (LoggerGraph) {
        LoggerGraph->restoreWindow();
        return *LoggerGraph;
    }
    auto *graph = new GraphWindow(LoggerGraphCaption, Recorder, annotationCursor, m_settings);
    QMdiSubWindow *sub = addGraphWindow(graph);
    LoggerGraph = graph;
    sub->setGeometry(0, 0, m_mdiArea->viewport()->width(),
                     std::max(m_mdiArea->viewport()->height() - LoggerGraphHeightSlack, 200));
    const double now = Now();
    SetUpGraph(graph->chart(), kv::GraphChannelCount, EmptyLoggerPoints, now,
               now + EmptyLoggerSeconds * kv::OneSecond, EmptyLoggerYMin, EmptyLoggerYMax);
    graph->updateAnnotationTools();
    graph->chart().setAllowGraphAnnotHotSpots(true);
    graph->attachLoggerData(LoggerData);
    sub->show();
    sub->raise();
    return *graph;
}

bool MainWindow::saveLoggerGraph()
{
    if (!LoggerGraph)
        return false;
    QString fileName;
    if (!kv::SaveLoggerGraph(this, LoggerData, LoggerGraph->chart(), InitialFolder(), &fileName))
        return false;
    addRecentFile(fileName);
    return true;
}

bool MainWindow::openCollection()
{
    QString fileName;
    if (!kv::OpenCollection(this, LoggerData, InitialFolder(), [this] { ensureLoggerGraph(); }, &fileName))
        return false;
    addRecentFile(fileName);
    return true;
}

void MainWindow::offerDownloadRestore()
{
    const kv::LeftDownload left = LoggerData.leftDownload();
    if (!left.found)
        return;
    if (kv::Prompts().askYesNo(this, kv::RestoreDownloadQuestion(left)) != kv::Answer::Yes) {
        LoggerData.discardLeftDownload();
        return;
    }
    ensureLoggerGraph();
    LoggerData.restoreLeftDownload(left);
}

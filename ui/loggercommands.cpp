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
    if (m_loggerGraph) {
        m_loggerGraph->restoreWindow();
        return *m_loggerGraph;
    }
    auto *graph = new GraphWindow(LoggerGraphCaption, m_recorder, m_annotationCursor, m_settings);
    QMdiSubWindow *sub = addGraphWindow(graph);
    m_loggerGraph = graph;
    sub->setGeometry(0, 0, m_mdiArea->viewport()->width(),
                     std::max(m_mdiArea->viewport()->height() - LoggerGraphHeightSlack, 200));
    const double start = now();
    SetUpGraph(graph->chart(), kv::GraphChannelCount, EmptyLoggerPoints, start,
               start + EmptyLoggerSeconds * kv::OneSecond, EmptyLoggerYMin, EmptyLoggerYMax);
    graph->updateAnnotationTools();
    graph->chart().setAllowGraphAnnotHotSpots(true);
    graph->attachLoggerData(m_loggerData);
    sub->show();
    sub->raise();
    return *graph;
}

bool MainWindow::saveLoggerGraph()
{
    if (!m_loggerGraph)
        return false;
    QString fileName;
    if (!kv::SaveLoggerGraph(this, m_loggerData, m_loggerGraph->chart(), initialFolder(), &fileName))
        return false;
    addRecentFile(fileName);
    return true;
}

bool MainWindow::openCollection()
{
    QString fileName;
    if (!kv::OpenCollection(this, m_loggerData, initialFolder(), [this] { ensureLoggerGraph(); }, &fileName))
        return false;
    addRecentFile(fileName);
    return true;
}

void MainWindow::offerDownloadRestore()
{
    const kv::LeftDownload left = m_loggerData.leftDownload();
    if (!left.found)
        return;
    if (kv::Prompts().askYesNo(this, kv::RestoreDownloadQuestion(left)) != kv::Answer::Yes) {
        m_loggerData.discardLeftDownload();
        return;
    }
    ensureLoggerGraph();
    m_loggerData.restoreLeftDownload(left);
}

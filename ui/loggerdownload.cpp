#include "ui/loggerdownload.h"

#include "app/prompt.h"
#include "chart/view/chart.h"
#include "realtime/channels.h"
#include "realtime/datetime.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

GraphWindow &EnsureLoggerGraph(MainWindow &main)
{
    if (GraphWindow *graph = main.LoggerGraph) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(graph->parentWidget()))
            sub->showNormal();
        else
            graph->showNormal();
        return *graph;
    }
    auto *graph = new GraphWindow(main, LoggerGraphCaption);
    QMdiSubWindow *sub = main.AddChild(graph);
    main.LoggerGraph = graph;
    graph->pnlDataSets->show();
    const QSize client = main.MdiArea->viewport()->size();
    sub->showNormal();
    sub->setGeometry(0, 0, client.width(), client.height() - LoggerGraphHeightMargin);
    const double now = main.Now();
    SetUpGraph(*graph->PESGraph1, kv::GraphChannelCount, LoggerGraphPoints, now,
               now + LoggerGraphSpanSeconds * kv::OneSecond, LoggerGraphYMin, LoggerGraphYMax);
    graph->UpdateAnnotationTools();
    graph->PESGraph1->setAllowGraphAnnotHotSpots(true);
    return *graph;
}

MainWindowLoggerDownload::MainWindowLoggerDownload(MainWindow &main)
    : m_main(main), m_progress(&main), m_command(main.Link, *this, m_clock)
{
}

int MainWindowLoggerDownload::loadData() { return m_command.loadData(); }

bool MainWindowLoggerDownload::meterRecording() const { return m_main.Poll.Reading.MeterLogging; }

void MainWindowLoggerDownload::showMessage(const QString &text) { kv::Prompts().message(&m_main, text); }

void MainWindowLoggerDownload::showErrorReport(const QString &text) { kv::Prompts().error(&m_main, text); }

void MainWindowLoggerDownload::ensureLoggerGraph() { EnsureLoggerGraph(m_main); }

int MainWindowLoggerDownload::showLoggerImage(const QByteArray &image, QString &workingFolderError)
{
    GraphWindow &graph = EnsureLoggerGraph(m_main);
    if (showImageHook)
        return showImageHook(graph, image, workingFolderError);
    const int code = kv::CheckLoggerDataSetCount(image);
    if (code == kv::DownloadOk)
        workingFolderError =
            kv::WriteWorkingCopy(m_main.DataFolder, QCoreApplication::applicationDirPath(), image).folderError;
    return code;
}

void MainWindowLoggerDownload::markLoggerDataUnsaved() { m_main.LoggerDataUnsaved = true; }

void MainWindowLoggerDownload::resetPollFailures() { m_main.Poll.PollFailures = 0; }

void MainWindowLoggerDownload::connectSelectedPort() { m_main.connectSelectedPort(); }

void MainWindowLoggerDownload::dropLink() { m_main.dropLink(); }

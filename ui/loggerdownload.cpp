#include "ui/loggerdownload.h"

#include "app/prompt.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"


GraphWindow &EnsureLoggerGraph(MainWindow &main) { return main.ensureLoggerGraph(); }

MainWindowLoggerDownload::MainWindowLoggerDownload(MainWindow &main)
    : m_main(main), m_progress(&main), m_command(main.connection().link(), *this, m_clock)
{
}

int MainWindowLoggerDownload::loadData() { return m_command.loadData(); }

bool MainWindowLoggerDownload::meterRecording() const { return m_main.connection().poll().Reading.MeterLogging; }

void MainWindowLoggerDownload::showMessage(const QString &text) { kv::Prompts().message(&m_main, text); }

void MainWindowLoggerDownload::showErrorReport(const QString &text) { kv::Prompts().error(&m_main, text); }

void MainWindowLoggerDownload::ensureLoggerGraph() { EnsureLoggerGraph(m_main); }

int MainWindowLoggerDownload::showLoggerImage(const QByteArray &image, QString &workingFolderError)
{
    EnsureLoggerGraph(m_main);
    const kv::LoggerLoad load = m_main.loggerData().acceptDownload(image);
    workingFolderError = load.workingCopy.folderError;
    return load.code;
}

void MainWindowLoggerDownload::markLoggerDataUnsaved() { m_main.loggerData().setUnsaved(true); }

void MainWindowLoggerDownload::resetPollFailures() { m_main.connection().poll().PollFailures = 0; }

void MainWindowLoggerDownload::connectSelectedPort() { m_main.connectSelectedPort(); }

void MainWindowLoggerDownload::dropLink() { m_main.dropLink(); }

#pragma once
// The main window's side of the "Data Logger" command (LoadData1Click): the
// command's questions go to the prompt service, its progress to the progress
// dialog, the data to the "DataLogger" graph window, and the link back to
// the poll loop.  The window connects "&Load " and the "Data Logger" button
// to loadData().

#include "logger/downloadcommand.h"
#include "ui/downloadprogressdialog.h"

#include <QByteArray>


class GraphWindow;
class MainWindow;

// EnsureLoggerGraph: restores the "DataLogger" graph window or creates it.
GraphWindow &EnsureLoggerGraph(MainWindow &main);

class MainWindowLoggerDownload : public kv::LoggerDownloadView {
public:
    explicit MainWindowLoggerDownload(MainWindow &main);

    // The whole command; a second start while a download runs does nothing.
    int loadData();
    bool downloadInProgress() const { return m_command.downloadInProgress(); }

    // kv::LoggerDownloadView
    bool meterRecording() const override;
    void showMessage(const QString &text) override;
    void showErrorReport(const QString &text) override;
    void ensureLoggerGraph() override;
    int showLoggerImage(const QByteArray &image, QString &workingFolderError) override;
    void markLoggerDataUnsaved() override;
    void resetPollFailures() override;
    void connectSelectedPort() override;
    void dropLink() override;
    kv::DownloadProgress &downloadProgress() override { return m_progress; }

private:
    MainWindow &m_main;
    DownloadProgressDialog m_progress;
    kv::DownloadClock m_clock;
    kv::LoggerDownloadCommand m_command;
};

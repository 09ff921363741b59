#pragma once
// The "Data Logger" command around the download: refuses without a meter or
// while the meter records, borrows the link from the poll loop, downloads,
// reports the outcome and hands the link back.  A second start while a
// download runs does nothing.  UI-free: what the window shows and does goes
// through LoggerDownloadView.

#include "logger/download.h"

#include <QString>

namespace kv {

const QString NoConnectionMessage = QStringLiteral("There is no connection with multimeter !");
const QString MeterRecordingMessage =
    QStringLiteral("The meter is recording data, please stop recording before loading data.");
const QString NoDataRecordedMessage = QStringLiteral("There was not any data recorded in momery of meter !");
const QString DownloadErrorMessage = QStringLiteral("There was error,please try again!   error code=");

// Pause before the serial port is opened again after a download.
constexpr int SerialHandBackPauseMs = 1000;

class LoggerDownloadView {
public:
    virtual ~LoggerDownloadView() = default;
    // MeterLogging of the last live reading.
    virtual bool meterRecording() const = 0;
    virtual void showMessage(const QString &text) = 0;
    // The program's error report (a failure outside the meter's codes).
    virtual void showErrorReport(const QString &text) = 0;
    // Restores or creates the "DataLogger" graph window.
    virtual void ensureLoggerGraph() = 0;
    // Parses a downloaded image, shows its first data set in the
    // "DataLogger" window and writes the working copy (WriteWorkingCopy);
    // returns 0 or the parse's code (6, 2, ...), and the list stays as it
    // was for a non-zero code.  A working folder that can be neither found
    // nor created leaves its path in `workingFolderError`.
    virtual int showLoggerImage(const QByteArray &image, QString &workingFolderError) = 0;
    // LoggerDataUnsaved is to be set: downloaded data is on show, not saved.
    virtual void markLoggerDataUnsaved() = 0;
    // The hand-back: over the serial port the poll failures are reset and
    // the port is connected again (ConnectSelectedPort); over USB the link is
    // dropped so the next poll tick identifies the meter anew (DropLink).
    virtual void resetPollFailures() = 0;
    virtual void connectSelectedPort() = 0;
    virtual void dropLink() = 0;
    // The progress of the download (the window's progress dialog).
    virtual DownloadProgress &downloadProgress() = 0;
};

class LoggerDownloadCommand {
public:
    LoggerDownloadCommand(MeterLink &link, LoggerDownloadView &view, DownloadClock &clock);

    // LoadData1Click: the whole command.  Returns the download's code, or -2
    // when the command did nothing (refused, or a download already runs).
    int loadData();
    bool downloadInProgress() const { return m_inProgress; }

    static constexpr int NotStarted = -2;

private:
    void handBack(LinkLease &lease);

    MeterLink &m_link;
    LoggerDownloadView &m_view;
    DownloadClock &m_clock;
    bool m_inProgress = false;
};

} // namespace kv

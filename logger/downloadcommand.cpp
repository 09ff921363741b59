#include "logger/downloadcommand.h"

namespace kv {

LoggerDownloadCommand::LoggerDownloadCommand(MeterLink &link, LoggerDownloadView &view, DownloadClock &clock)
    : m_link(link), m_view(view), m_clock(clock)
{
}

int LoggerDownloadCommand::loadData()
{
    if (m_inProgress)
        return NotStarted;
    m_inProgress = true;
    if (!m_link.isConnected()) {
        m_view.showMessage(NoConnectionMessage);
        m_inProgress = false;
        return NotStarted;
    }
    if (m_view.meterRecording()) {
        m_view.showMessage(MeterRecordingMessage);
        m_inProgress = false;
        return NotStarted;
    }
    // Refused while another operation holds the link (a download started
    // from inside its pauses).
    LinkLease lease(m_link, true);
    if (!lease) {
        m_inProgress = false;
        return NotStarted;
    }
    m_view.ensureLoggerGraph();

    QString folderError;
    LoggerDownloadSteps steps;
    steps.parse = [this, &folderError](const QByteArray &image) { return m_view.showLoggerImage(image, folderError); };
    LoggerDownloadOutcome outcome = DownloadLoggerMemory(m_link, m_view.downloadProgress(), m_clock, steps);
    if (outcome.code == DownloadOk && !folderError.isEmpty()) {
        outcome.code = DownloadWorkingFolderFailed;
        outcome.message = folderError;
    }

    switch (outcome.code) {
    case DownloadOk:
        m_view.markLoggerDataUnsaved();
        break;
    case DownloadNoDataSet:
        m_view.showMessage(NoDataRecordedMessage);
        break;
    case DownloadWorkingFolderFailed:
        // The data sets are on show; only their working copy is missing.
        m_view.markLoggerDataUnsaved();
        m_view.showErrorReport(outcome.message);
        break;
    default:
        m_view.showMessage(DownloadErrorMessage + QString::number(outcome.code));
        SendDownloadRecovery(m_link);
        break;
    }
    handBack(lease);
    m_inProgress = false;
    return outcome.code;
}

void LoggerDownloadCommand::handBack(LinkLease &lease)
{
    // The reconnection and the drop are operations of their own: the
    // download's hold ends just before them, with no event handled between.
    if (m_link.isSerial() && m_link.isConnected()) {
        m_view.resetPollFailures();
        if (SerialPort *port = m_link.serial())
            port->clearInput();
        m_clock.pause(SerialHandBackPauseMs);
        lease.release();
        m_view.connectSelectedPort();
    } else {
        lease.release();
        m_view.dropLink();
    }
}

} // namespace kv

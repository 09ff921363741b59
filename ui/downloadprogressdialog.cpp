#include "ui/downloadprogressdialog.h"

#include "ui/rangedialog.h"

namespace {
const QString BytesReceivedText = QStringLiteral("bytes received");
const QString TotalBytesText = QStringLiteral("total bytes");
} // namespace

DownloadProgressDialog::DownloadProgressDialog(QWidget *parent) : m_parent(parent) {}

DownloadProgressDialog::~DownloadProgressDialog() { finished(); }

void DownloadProgressDialog::started(int transferSize)
{
    finished();
    m_dialog = new RangeDialog(m_parent);
    m_dialog->setObjectName(QStringLiteral("frmDownloadProgress"));
    m_dialog->showProgress(DownloadProgressCaption, BytesReceivedText, transferSize, false);
    m_dialog->showByteCounts(TotalBytesText, transferSize);
    m_dialog->repaint();
}

void DownloadProgressDialog::advanced(int bytesReceived)
{
    if (!m_dialog)
        return;
    m_dialog->setBytesReceived(bytesReceived);
}

void DownloadProgressDialog::pageRejected()
{
    // The serial download handles no events: paint what the dialog shows.
    if (m_dialog)
        m_dialog->repaint();
}

void DownloadProgressDialog::finished()
{
    if (!m_dialog)
        return;
    m_dialog->hide();
    delete m_dialog.data();
}

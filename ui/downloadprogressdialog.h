#pragma once
// The progress of a logger download: the range and progress dialog, shown
// without waiting and on top, captioned "Data Retriving Progress", with the
// bar over the transfer size and the bytes received and total bytes.  It
// opens when the first page has arrived and closes when the read ends.

#include "logger/download.h"
#include "ui/rangedialog.h"

#include <QPointer>

const QString DownloadProgressCaption = QStringLiteral("Data Retriving Progress");

class DownloadProgressDialog : public kv::DownloadProgress {
public:
    explicit DownloadProgressDialog(QWidget *parent);
    ~DownloadProgressDialog() override;
    DownloadProgressDialog(const DownloadProgressDialog &) = delete;
    DownloadProgressDialog &operator=(const DownloadProgressDialog &) = delete;

    // ShowDownloadProgress.
    void started(int transferSize) override;
    void advanced(int bytesReceived) override;
    void pageRejected() override;
    void finished() override;

    // The open dialog, or null.
    RangeDialog *dialog() const { return m_dialog; }

private:
    QWidget *m_parent;
    QPointer<RangeDialog> m_dialog;
};

// The download's progress dialog: caption, texts, bar and labels while a
// download from the simulated meter runs, and closed when it ends.
#include "sim/simdownloadrig.h"
#include "ui/downloadprogressdialog.h"
#include "ui/rangedialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace kv;

namespace {

// What the dialog showed after each stored page.
struct Watched : DownloadProgressDialog {
    using DownloadProgressDialog::DownloadProgressDialog;
    QStringList received;
    QList<int> bar;
    void advanced(int bytes) override
    {
        DownloadProgressDialog::advanced(bytes);
        received << dialog()->lblBytesReceived->text();
        bar << dialog()->Progress1->value();
    }
};

} // namespace

class TestDownloadDialog : public QObject {
    Q_OBJECT
private slots:
    void showsTheDownload()
    {
        QWidget main;
        Watched progress(&main);
        progress.started(1024);
        RangeDialog *dialog = main.findChild<RangeDialog *>(QStringLiteral("frmDownloadProgress"));
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Data Retriving Progress"));
        QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->SText1->text(), QStringLiteral("bytes received"));
        QCOMPARE(dialog->SText2->text(), QStringLiteral("total bytes"));
        QCOMPARE(dialog->lblBytesReceived->text(), QStringLiteral("0"));
        QCOMPARE(dialog->lblTotalBytes->text(), QStringLiteral("1024"));
        QCOMPARE(dialog->Progress1->maximum(), 1024);
        QVERIFY(dialog->Progress1->isVisible() && !dialog->BitBtn2->isVisible() && !dialog->GroupBox1->isVisible());
        progress.advanced(512);
        if (!qEnvironmentVariableIsEmpty("KV_GRAB_DIR"))
            dialog->grab().save(qEnvironmentVariable("KV_GRAB_DIR") + QStringLiteral("/downloadprogress.png"));
        progress.finished();
        QVERIFY(!main.findChild<RangeDialog *>());
    }

    void followsARealDownload()
    {
        for (SimLink link : {SimLink::Usb, SimLink::Serial}) {
            SimDownloadRig rig(link);
            rig.fillMemory(1000);
            rig.meter.faults().inject(SimFault::WrongChecksum, 1, 'p', 3);
            QWidget main;
            Watched progress(&main);
            LoggerDownload download(rig.link, progress, rig.clock);
            QCOMPARE(download.run(), int(DownloadOk));
            QCOMPARE(progress.received.size(), 31);
            QCOMPARE(progress.received.first(), QStringLiteral("64"));
            QCOMPARE(progress.received.last(), QStringLiteral("1024"));
            QCOMPARE(progress.bar.last(), 1024);
            QVERIFY(!main.findChild<RangeDialog *>()); // closed when the read ended
        }
    }
};

QTEST_MAIN(TestDownloadDialog)
#include "tst_downloaddialog.moc"

// The download's progress dialog: caption, texts, bar and labels while a
// download from the simulated meter runs, and closed when it ends; the
// download from the main window, and the other users of the link started
// during its pauses (refused: the download owns the meter).
#include "app/prompt.h"
#include "app/settings.h"
#include "link/commands.h"
#include "logger/downloadcommand.h"
#include "sim/simdownloadrig.h"
#include "tests/support/children.h"
#include "tests/testsupport.h"
#include "ui/downloadprogressdialog.h"
#include "ui/graphwindow.h"
#include "ui/loggerdownload.h"
#include "ui/mainwindow.h"
#include "ui/metersetupwindow.h"
#include "ui/panelwindow.h"
#include "ui/rangedialog.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
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
        received << child<QLabel>(dialog(), "lblBytesReceived")->text();
        bar << child<QProgressBar>(dialog(), "Progress1")->value();
    }
};

} // namespace

class TestDownloadDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }
    // A window destroyed with its download unsaved leaves that download to
    // be offered at the next start; each test starts without one.
    void init()
    {
        LoggerData left;
        left.setDataFolder(DetermineDataFolder());
        left.discardLeftDownload();
    }

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
        QCOMPARE(child<QLabel>(dialog, "SText1")->text(), QStringLiteral("bytes received"));
        QCOMPARE(child<QLabel>(dialog, "SText2")->text(), QStringLiteral("total bytes"));
        QCOMPARE(child<QLabel>(dialog, "lblBytesReceived")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLabel>(dialog, "lblTotalBytes")->text(), QStringLiteral("1024"));
        auto *bar = child<QProgressBar>(dialog, "Progress1");
        QCOMPARE(bar->maximum(), 1024);
        QVERIFY(bar->isVisible() && !child<QPushButton>(dialog, "BitBtn2")->isVisible()
                && !child<QGroupBox>(dialog, "GroupBox1")->isVisible());
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

    // The command from the main window: refused without a meter; with one,
    // the "DataLogger" window opens at the top left, gets the image, and the
    // USB link is dropped for the next poll tick to find the meter again.
    void mainWindowLoadsData()
    {
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        SimOptions options = SimDownloadRig::DefaultOptions();
        options.usbLatencyMs = 0;
        SimMeter meter(nullptr, options);
        SimDataSet set;
        for (int k = 0; k < 100; ++k)
            set.samples.push_back({450, 230, 750});
        QVERIFY(meter.addDataSet(set));
        SimUsbTransfer usb(meter);
        MainWindow main(usb);
        main.resize(1000, 760);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        MainWindowLoggerDownload &logger = *main.loggerDownload();

        main.connection().link().Kind = kv::LinkKind::None;
        child<QAction>(main, "LoadData1")->trigger();
        QCOMPARE(prompts.shown, QStringList{NoConnectionMessage});
        QVERIFY(!main.loggerGraph());

        main.connection().link().Kind = kv::LinkKind::Usb;
        child<QToolButton>(main, "btnDataLogger")->setEnabled(true);
        QTest::mouseClick(child<QToolButton>(main, "btnDataLogger"), Qt::LeftButton);
        QVERIFY(main.loggerGraph());
        GraphWindow *graph = main.loggerGraph();
        QCOMPARE(graph->windowTitle(), QStringLiteral("DataLogger"));
        QVERIFY(child<QFrame>(graph, "pnlDataSets")->isVisible());
        const QRect frame = graph->parentWidget()->geometry();
        const QSize client = child<QMdiArea>(main, "MdiArea")->viewport()->size();
        QCOMPARE(frame.topLeft(), QPoint(0, 0));
        QCOMPARE(frame.width(), client.width());
        QVERIFY(main.loggerData().unsaved());
        const int used = meter.memoryPointer() + 1;
        QCOMPARE(main.loggerData().image(), meter.memory().left((used + 31) / 32 * 32));
        QCOMPARE(int(main.loggerData().dataSets().size()), 1);
        QVERIFY(!main.connection().link().isConnected()); // dropped: the next tick identifies the meter
        QCOMPARE(prompts.shown.size(), 1);
        if (!qEnvironmentVariableIsEmpty("KV_GRAB_DIR"))
            main.grab().save(qEnvironmentVariable("KV_GRAB_DIR") + QStringLiteral("/mainlogger.png"));

        // A second download reuses the window.
        main.connection().link().Kind = kv::LinkKind::Usb;
        graph->parentWidget()->showMinimized();
        QCOMPARE(logger.loadData(), int(DownloadOk));
        QCOMPARE(main.loggerGraph(), graph);
        QVERIFY(!graph->parentWidget()->isMinimized());
        QCOMPARE(int(main.loggerData().dataSets().size()), 1);
    }

    // The download's pauses handle events: a panel key, a port name typed
    // in the port box, a setup button, the search and disconnect buttons and
    // a second download arriving there are refused or find their controls
    // disabled.  Only the download's own frames reach the meter, its image is
    // exact, and polling and the controls come back once it has ended.
    void otherLinkUsersWaitForTheDownload()
    {
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        SimOptions options = SimDownloadRig::DefaultOptions();
        options.usbLatencyMs = 0;
        SimMeter meter(nullptr, options);
        SimDataSet set;
        for (int k = 0; k < 200; ++k)
            set.samples.push_back({450, 230, 750});
        QVERIFY(meter.addDataSet(set));
        SimUsbTransfer usb(meter);
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.connection().stopPolling();
        main.connection().poll().PollTick(); // the USB meter is identified
        QVERIFY(main.connection().link().isUsb());
        main.showSetupWindow();
        QVERIFY(main.panel() && main.setupWindow());
        auto *portBox = child<QComboBox>(main, "ComboBoxDeviceName");
        auto *loadAction = child<QAction>(main, "LoadData1");
        auto *readButton = child<QPushButton>(main.setupWindow(), "Button4");
        QVERIFY(readButton->isEnabled() && portBox->isEnabled() && loadAction->isEnabled());
        main.connection().startPolling();
        meter.clearLog();

        // One user after another, each time the download lets events run.
        QStringList tried;
        QList<bool> enabledSeen;
        QList<bool> pollingSeen;
        int next = 0;
        QTimer users;
        users.setInterval(0);
        connect(&users, &QTimer::timeout, &main, [&] {
            if (!main.loggerDownload()->downloadInProgress() || !main.loggerGraph())
                return;
            pollingSeen << main.connection().isPolling();
            enabledSeen << (portBox->isEnabled() || loadAction->isEnabled() || readButton->isEnabled()
                            || child<QToolButton>(main, "BitBtn1")->isEnabled()
                            || child<QToolButton>(main, "BitBtn2")->isEnabled()
                            || child<QToolButton>(main, "btnDataLogger")->isEnabled());
            switch (next++ % 6) {
            case 0:
                tried << QStringLiteral("key");
                QTest::mouseClick(child<kv::PanelKey>(main.panel(), "btnHOLD"), Qt::LeftButton);
                main.panel()->pressMemKey();
                break;
            case 1:
                tried << QStringLiteral("port");
                portBox->setEditText(QStringLiteral("/dev/kv3917-no-such-port"));
                break;
            case 2:
                tried << QStringLiteral("setup");
                QTest::mouseClick(readButton, Qt::LeftButton);
                break;
            case 3:
                tried << QStringLiteral("search");
                main.searchPorts();
                break;
            case 4:
                tried << QStringLiteral("disconnect");
                main.dropLink();
                break;
            default:
                tried << QStringLiteral("download");
                loadAction->trigger();
                main.loadLoggerData();
                break;
            }
        });
        users.start();
        QCOMPARE(main.loggerDownload()->loadData(), int(DownloadOk));
        users.stop();

        QVERIFY2(tried.size() >= 6, qPrintable(tried.join(QLatin1Char(' '))));
        QVERIFY(!pollingSeen.contains(true));
        QVERIFY(!enabledSeen.contains(true));
        const int used = meter.memoryPointer() + 1;
        QCOMPARE(main.loggerData().image(), meter.memory().left((used + 31) / 32 * 32));
        for (const SimLogEntry &entry : meter.log())
            QVERIFY2(entry.letter() == kv::cmd::PageStart || entry.letter() == kv::cmd::PageNext
                         || entry.letter() == kv::cmd::PageEnd,
                     qPrintable(QStringLiteral("frame '%1' reached the meter").arg(QLatin1Char(entry.letter()))));
        QCOMPARE(meter.frameCount(kv::cmd::PageStart), 1);
        QVERIFY(prompts.shown.isEmpty());

        // The link handed back: polling and every control again.
        QVERIFY(main.connection().isPolling());
        QVERIFY(!main.connection().isLinkHeld());
        QVERIFY(portBox->isEnabled() && loadAction->isEnabled() && readButton->isEnabled());
        QVERIFY(child<QToolButton>(main, "BitBtn1")->isEnabled());
    }
};

QTEST_MAIN(TestDownloadDialog)
#include "tst_downloaddialog.moc"

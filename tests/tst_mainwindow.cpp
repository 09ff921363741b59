// The main window: controls and their initial states, start-up, About,
// help, and the settings written at exit.
#include "ui/aboutdialog.h"
#include "ui/mainwindow.h"
#include "app/prompt.h"
#include "app/settings.h"
#include "ui/graphwindow.h"
#include "ui/metersetupwindow.h"
#include "ui/panelwindow.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

// Records the URLs handed to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        std::unique_ptr<QSettings> settings(kv::OpenUserSettings());
        settings->clear();
    }

    void toolBar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("visible");
        QTest::newRow("open") << "SpeedButton1" << "Open File" << true << true;
        QTest::newRow("save") << "SpeedButton2" << "Save to file" << true << true;
        QTest::newRow("print") << "btnPrint" << "Print" << true << true;
        QTest::newRow("logger") << "btnDataLogger" << "Data Logger" << true << true;
        QTest::newRow("output") << "btnOutputToGraph" << "Output Tabular to graph" << false << true;
        QTest::newRow("run") << "btnRun" << "Start Graphing Real Time Data" << false << true;
        QTest::newRow("stop") << "btnStop" << "Stop Graphing Real Time Data" << false << true;
        QTest::newRow("help") << "SpeedButton8" << "Help" << true << false;
        QTest::newRow("search") << "BitBtn1" << "search bluetooth device" << true << true;
        QTest::newRow("disconnect") << "BitBtn2" << "disconnect bluetooth device" << true << true;
    }
    void toolBar()
    {
        QFETCH(QString, name);
        QFETCH(QString, hint);
        QFETCH(bool, enabled);
        QFETCH(bool, visible);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        auto *button = main.findChild<QToolButton *>(name);
        QVERIFY(button);
        QCOMPARE(button->toolTip(), hint);
        QCOMPARE(button->isEnabled(), enabled);
        QCOMPARE(button->isVisible(), visible);
        QVERIFY(button->autoRaise());
    }

    void menusAndStartUp()
    {
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        QCOMPARE(main.windowTitle(), QString("KV3917"));
        QVERIFY(!main.connection().isPolling());
        QVERIFY(child<QTimer>(main, "MaxMinTimer")->isActive());
        QVERIFY(child<QAction>(main, "Setup1")->isVisible());
        main.show();
        QVERIFY(!child<QAction>(main, "Setup1")->isVisible()); // hidden from FormShow on
        QVERIFY(main.connection().isPolling());
        QCOMPARE(child<QTimer>(main, "MainTimer")->interval(), 500);
        QCOMPARE(main.statusText(1), QString("Off Connection"));
        QVERIFY(main.panel());
        QVERIFY(main.realTimeGraph());
        QVERIFY(child<QLabel>(main.panel(), "lblNoConnection")->isVisible());
        QVERIFY(!child<QWidget>(main.panel(), "ingBlutoothLink")->isVisible());
        QCOMPARE(main.realTimeGraph()->windowTitle(), QString("Real-Time Graph"));
        QVERIFY(qAbs(main.recorder().timeAxisMargin() - 1.1574074e-4) < 1e-10);
        QVERIFY(!child<QAction>(main, "Run1")->isEnabled());
        QVERIFY(!child<QAction>(main, "Stop1")->isEnabled());
        QVERIFY(child<QAction>(main, "ControlPanel1")->isChecked());
        QVERIFY(child<QAction>(main, "RealTimeGraph1")->isChecked());

        QStringList menus;
        for (QAction *a : main.menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "Real Time", "&Data Logger", "&View", "&Window", "&Help"}));
        QStringList file;
        for (QAction *a : child<QMenu>(main, "File1")->actions())
            file << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(file, (QStringList{"&Open", "&Save", "-", "&Print", "&Printer Setup", "Print Pre&view", "&Recent Files", "-", "E&xit"}));
        QCOMPARE(child<QAction>(main, "LoadData1")->text(), QString("&Load "));
        QCOMPARE(child<QComboBox>(main, "ComboBoxDeviceName")->isEditable(), true);

        // The glyph pictures are there, at their sizes.
        QCOMPARE(main.panelGlyphs().large[8].size(), QSize(30, 52));
        QCOMPARE(main.panelGlyphs().small[3].size(), QSize(16, 26));
        QCOMPARE(main.panelGlyphs().small[14].size(), QSize(26, 26));
    }

    // kv3917 --service keeps Data Logger > Setup; the setup window opens
    // once, comes back from minimised, and hands polling back.
    void serviceSwitchOffersSetup()
    {
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.setServiceMode(true);
        main.show();
        QVERIFY(child<QAction>(main, "Setup1")->isVisible());
        child<QAction>(main, "Setup1")->trigger();
        QVERIFY(main.setupWindow());
        QCOMPARE(main.setupWindow()->windowTitle(), QString("Data Logger Setup"));
        QWidget *sub = main.setupWindow()->parentWidget();
        sub->showMinimized();
        child<QAction>(main, "Setup1")->trigger();
        QVERIFY(!sub->isMinimized());
        QCOMPARE(main.findChildren<MeterSetupWindow *>().size(), 1);

        // No meter: the clock fails with the read step's code, and polling runs again.
        main.setupWindow()->findChild<QPushButton *>("Button1")->click();
        QCOMPARE(main.setupWindow()->findChild<QLabel *>("lblOK1")->text(), QString("Fail code=405"));
        QVERIFY(main.connection().isPolling());
        main.connection().stopPolling();
        sub->close();
        QTRY_VERIFY(!main.setupWindow());
        QVERIFY(main.connection().isPolling());
    }

    void childWindowsComeBack()
    {
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        main.panel()->parentWidget()->close();
        QTRY_VERIFY(!main.panel());
        QVERIFY(!child<QAction>(main, "ControlPanel1")->isChecked());
        main.showPanel();
        QVERIFY(main.panel());
        QVERIFY(child<QAction>(main, "ControlPanel1")->isChecked());

        main.realTimeGraph()->parentWidget()->close();
        QTRY_VERIFY(!main.realTimeGraph());
        QVERIFY(!child<QAction>(main, "RealTimeGraph1")->isChecked());
        main.showRealTimeGraph();
        QVERIFY(main.realTimeGraph());
        QCOMPARE(child<QMdiArea>(main, "MdiArea")->subWindowList().size(), 2);
    }

    void aboutTwiceLeavesNothing()
    {
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QStringList versions;
        for (int i = 0; i < 2; ++i)
            prompts.dialogs.push_back([&](QDialog &d) {
                versions << child<QLabel>(d, "lblVersion")->text();
                if (child<QLabel>(d, "lblTitle")->text() != "Four Channel Thermometer Software")
                    versions << "wrong title";
                return int(QDialog::Accepted);
            });
        main.showAbout();
        main.showAbout();
        QCOMPARE(versions, (QStringList{KV_VERSION, KV_VERSION}));
        QVERIFY(!main.aboutDialog());
        QVERIFY(main.findChildren<AboutDialog *>().isEmpty());
    }

    void settingsWrittenAtExit()
    {
        {
            std::unique_ptr<QSettings> settings(kv::OpenUserSettings());
            settings->setValue("RealTimeRate", "not a number");
        }
        kv::NoDeviceTransfer usb;
        {
            MainWindow main(usb);
            QCOMPARE(main.recorder().period(), 2);
            QCOMPARE(main.settings().annotationColor, 0u);
            main.show();
            main.recorder().setPeriod(7);
            main.settings().annotationColor = 0x00FF00;
            QVERIFY(main.close());
        }
        std::unique_ptr<QSettings> settings(kv::OpenUserSettings());
        QCOMPARE(settings->value("RealTimeRate").toInt(), 7);
        QCOMPARE(settings->value("AnnoColor").toInt(), 0x00FF00);
        MainWindow again(usb);
        QCOMPARE(again.recorder().period(), 7);
    }

    void helpOpensThePageBesideTheProgram()
    {
        // The page is handed to the desktop (caught here instead of starting
        // a browser); when it is missing, nothing is asked or shown.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        const QString page = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("KV3917Help.htm"));
        QVERIFY(!QFileInfo::exists(page));
        auto *contents = main.findChild<QAction *>(QStringLiteral("Contents1"));
        QVERIFY(contents);
        contents->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(page)});
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(prompts.unexpected, 0);
    }

    // A download left unsaved by an earlier run is offered once at start:
    // Yes shows it in the "DataLogger" window as unsaved data, No forgets it;
    // without a marker nothing is asked.
    void unsavedDownloadOfferedAtStart_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << true << int(kv::Answer::Yes);
        QTest::newRow("no") << true << int(kv::Answer::No);
        QTest::newRow("no marker") << false << int(kv::Answer::Yes);
    }

    void unsavedDownloadOfferedAtStart()
    {
        QFETCH(bool, marker);
        QFETCH(int, answer);
        const QByteArray image =
            kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).add(kvtest::SetOf(5)).image();
        QString markerPath;
        {
            kv::LoggerData earlier;
            earlier.setDataFolder(kv::DetermineDataFolder());
            QVERIFY(earlier.acceptDownload(image).shown());
            if (!marker)
                earlier.setUnsaved(false);
            markerPath = earlier.unsavedMarkerPath();
        }
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        prompts.answers.push_back(kv::Answer(answer));
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        const bool yes = marker && kv::Answer(answer) == kv::Answer::Yes;
        if (!marker) {
            QVERIFY(prompts.shown.isEmpty());
        } else {
            QCOMPARE(prompts.shown.size(), 1);
            QVERIFY2(prompts.shown.first().contains(QStringLiteral("2 data sets")), qPrintable(prompts.shown.first()));
        }
        QCOMPARE(bool(main.loggerGraph()), yes);
        QCOMPARE(main.loggerData().unsaved(), yes);
        QCOMPARE(main.loggerData().dataSets().size(), size_t(yes ? 2 : 0));
        QCOMPARE(QFileInfo::exists(markerPath), yes);
        if (yes) {
            QCOMPARE(main.loggerData().image(), image);
            QCOMPARE(child<QTableWidget>(main.loggerGraph(), "Grid2")->rowCount(), 2);
            // Dropped with consent at the end: the marker goes.
            main.loggerData().setUnsaved(false);
            QVERIFY(!QFileInfo::exists(markerPath));
        }
    }

    // Exit asks every question about unsaved data before it closes anything:
    // Cancel to any of them leaves every window and every unsaved flag as it
    // was; No to all closes the program.  The real-time graph is asked first
    // (it was opened first).
    void exitAsksEveryQuestionFirst_data()
    {
        QTest::addColumn<bool>("loggerUnsaved");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("closes");
        const QString realTime = QStringLiteral("Save Real-Time Graph ?");
        const QString logger = QStringLiteral("Save DataLogger Data ?");
        const int no = int(kv::Answer::No), cancel = int(kv::Answer::Cancel);
        QTest::newRow("real-time: cancel") << false << QList<int>{cancel} << QStringList{realTime} << false;
        QTest::newRow("real-time no, logger cancel")
            << true << QList<int>{no, cancel} << QStringList{realTime, logger} << false;
        QTest::newRow("real-time cancel: logger not asked")
            << true << QList<int>{cancel} << QStringList{realTime} << false;
        QTest::newRow("no to both") << true << QList<int>{no, no} << QStringList{realTime, logger} << true;
    }
    void exitAsksEveryQuestionFirst()
    {
        QFETCH(bool, loggerUnsaved);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, asked);
        QFETCH(bool, closes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString tableFile = dir.filePath(QStringLiteral("table.csv"));
        {
            QFile file(tableFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("2024/05/02,09:15:00,45.2,23.5,24.1,16.0,11.0\r\n");
        }
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QCoreApplication::processEvents();
        main.openFiles({tableFile});
        QVERIFY(main.loggerData().acceptDownload(kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).image()).shown());
        main.loggerData().setUnsaved(loggerUnsaved);
        main.ensureLoggerGraph();
        main.recorder().setUnsaved(true);
        auto *area = child<QMdiArea>(main, "MdiArea");
        const int windows = int(area->subWindowList().size());
        QCOMPARE(windows, 4);   // panel, real-time graph, table, DataLogger
        prompts.shown.clear();
        for (int a : answers)
            prompts.answers.push_back(kv::Answer(a));

        child<QAction>(main, "Exit1")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(prompts.shown, asked);
        QCOMPARE(prompts.unexpected, 0);
        QCOMPARE(main.isVisible(), !closes);
        if (closes) {
            QTRY_VERIFY(area->subWindowList().isEmpty());
            return;
        }
        QCOMPARE(int(area->subWindowList().size()), windows);
        QVERIFY(main.panel() && main.realTimeGraph() && main.loggerGraph());
        QVERIFY(main.recorder().isUnsaved());
        QCOMPARE(main.loggerData().unsaved(), loggerUnsaved);
        main.recorder().setUnsaved(false);
        main.loggerData().setUnsaved(false);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

// The main window on the desktop: accessible names, the meter display as
// text, menu shortcuts, dialog keys, and files opened from the command line,
// by dropping and from the recent-files list.
#include "ui/aboutdialog.h"
#include "ui/mainwindow.h"
#include "app/prompt.h"
#include "app/recentfiles.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "ui/graphwindow.h"
#include "ui/panelwindow.h"
#include "ui/rangedialog.h"
#include "ui/realtimesetupdialog.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Open functions that record what they were asked to open.
struct OpenLog {
    QStringList calls;   // "kind:file name"
    bool succeed = true;

    void install(MainWindow &main)
    {
        auto opener = [this](const char *kind) {
            return [this, kind](const QString &file) {
                calls << QLatin1String(kind) + QLatin1Char(':') + QFileInfo(file).fileName();
                return succeed;
            };
        };
        main.fileOpeners().graph = opener("graph");
        main.fileOpeners().table = opener("table");
        main.fileOpeners().collection = opener("collection");
    }
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        std::unique_ptr<QSettings>(kv::OpenUserSettings())->clear();
    }
    void cleanup() { std::unique_ptr<QSettings>(kv::OpenUserSettings())->clear(); }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<QString>("description");
        QTest::newRow("open") << "SpeedButton1" << "Open File" << "Open File";
        QTest::newRow("save") << "SpeedButton2" << "Save to file" << "Save to file";
        QTest::newRow("print") << "btnPrint" << "Print" << "Print";
        QTest::newRow("logger") << "btnDataLogger" << "Data Logger" << "Data Logger";
        QTest::newRow("output") << "btnOutputToGraph" << "Output Tabular to graph" << "Output Tabular to graph";
        QTest::newRow("run") << "btnRun" << "Start Graphing Real Time Data" << "Start Graphing Real Time Data";
        QTest::newRow("stop") << "btnStop" << "Stop Graphing Real Time Data" << "Stop Graphing Real Time Data";
        QTest::newRow("help") << "SpeedButton8" << "Help" << "Help";
        QTest::newRow("search") << "BitBtn1" << "search bluetooth device" << "search bluetooth device";
        QTest::newRow("disconnect") << "BitBtn2" << "disconnect bluetooth device" << "disconnect bluetooth device";
        QTest::newRow("panel close") << "btnClose" << "Close PANEL" << "Close PANEL";
        QTest::newRow("panel MMA") << "btnMMA" << "click to change AVG/MAX/MIN mode, double click  to cancel ."
                                   << "click to change AVG/MAX/MIN mode, double click  to cancel .";
        QTest::newRow("back light") << "btnBackLight" << "Back light" << "";
        QTest::newRow("hold") << "btnHOLD" << "HOLD" << "";
        QTest::newRow("unit") << "btnCF" << "Unit °C/°F" << "";
        QTest::newRow("rec") << "btnRec" << "REC" << "";
        QTest::newRow("recall") << "btnRecall" << "Recall" << "";
        QTest::newRow("mem") << "btnMem" << "MEM" << "";
        QTest::newRow("graph statistic") << "ToolButton1" << "Toggle Graph Statistic" << "Toggle Graph Statistic";
        QTest::newRow("undo zoom") << "UndoZoom" << "Undo Zoom" << "";
    }
    void accessibleNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, accessibleName);
        QFETCH(QString, description);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.createPanel();
        main.createRealTimeGraph();
        auto *button = main.findChild<QAbstractButton *>(name);
        QVERIFY(button);
        // As a screen reader sees it.
        QAccessibleInterface *seen = QAccessible::queryAccessibleInterface(button);
        QVERIFY(seen);
        QCOMPARE(seen->text(QAccessible::Name), accessibleName);
        QCOMPARE(seen->text(QAccessible::Description), description);
    }

    void everyPictureButtonNamed()
    {
        // No button anywhere in the main window, panel or graph is left
        // without text and without a name.
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.createPanel();
        main.createRealTimeGraph();
        for (QAbstractButton *button : main.findChildren<QAbstractButton *>()) {
            // Qt's own buttons (the menu bar's extension arrow, a table's
            // corner) are not ours to name.
            if (button->objectName().isEmpty() || button->objectName().startsWith(QLatin1String("qt_")))
                continue;
            QAccessibleInterface *seen = QAccessible::queryAccessibleInterface(button);
            QVERIFY2(seen && !seen->text(QAccessible::Name).isEmpty(), qPrintable(button->objectName()));
        }
        QCOMPARE(main.realTimeGraph()->chart().accessibleName(), QStringLiteral("Graph"));
    }

    void panelAndStatusSpeak()
    {
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.createPanel();
        kv::LiveReading reading;
        kv::DisplayState &d = reading.Display;
        d.RhDigits = {kv::BlankGlyph, 4, 1, 8};
        d.T1Digits = {kv::BlankGlyph, 2, 3, 9};
        d.PointMark = d.RhMark = d.T1CelsiusMark = d.HoldMark = true;
        main.panel()->updateDisplay(reading);
        QCOMPARE(main.panel()->accessibleDescription(), QStringLiteral("RH 41.8 %, T1 23.9 °C, HOLD"));
        d.HoldMark = false;
        main.panel()->updateDisplay(reading);
        QCOMPARE(main.panel()->accessibleDescription(), QStringLiteral("RH 41.8 %, T1 23.9 °C"));

        main.setStatusText(1, QStringLiteral("On Connection"));
        QCOMPARE(child<QLabel>(main, "StatusPanel1")->accessibleName(), QStringLiteral("Connection: On Connection"));
    }

    void shortcuts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("open") << "Open1" << QKeySequence(QKeySequence::Open);
        QTest::newRow("save") << "Save1" << QKeySequence(QKeySequence::Save);
        QTest::newRow("print") << "Print1" << QKeySequence(QKeySequence::Print);
        const QKeySequence quit(QKeySequence::Quit);
        QTest::newRow("exit") << "Exit1" << (quit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quit);
        QTest::newRow("run") << "Run1" << QKeySequence(Qt::Key_F5);
        QTest::newRow("stop") << "Stop1" << QKeySequence(Qt::SHIFT | Qt::Key_F5);
        QTest::newRow("help") << "Contents1" << QKeySequence(Qt::Key_F1);
    }
    void shortcuts()
    {
        QFETCH(QString, action);
        QFETCH(QKeySequence, keys);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        auto *item = main.findChild<QAction *>(action);
        QVERIFY(item);
        QVERIFY(!keys.isEmpty());
        QCOMPARE(item->shortcut(), keys);
        // No two commands share a key.
        for (QAction *other : main.findChildren<QAction *>())
            if (other != item)
                QVERIFY2(other->shortcut() != keys, qPrintable(other->objectName()));
    }

    void shortcutTriggers()
    {
        // F1 reaches the help command through the window, not only the menu.
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QSignalSpy help(child<QAction>(main, "Contents1"), &QAction::triggered);
        child<QAction>(main, "Contents1")->disconnect(&main);   // no browser in the test
        QTest::keyClick(&main, Qt::Key_F1);
        QCOMPARE(help.count(), 1);
    }

    void dialogKeys_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("setup enter") << "setup" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("setup escape") << "setup" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("about enter") << "about" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("about escape") << "about" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("range enter") << "range" << int(Qt::Key_Return) << RangeDialog::ResultOk;
        QTest::newRow("range escape") << "range" << int(Qt::Key_Escape) << RangeDialog::ResultCancel;
    }
    void dialogKeys()
    {
        QFETCH(QString, dialog);
        QFETCH(int, key);
        QFETCH(int, result);
        std::unique_ptr<QDialog> box;
        if (dialog == QLatin1String("setup"))
            box = std::make_unique<RealTimeSetupDialog>();
        else if (dialog == QLatin1String("about"))
            box = std::make_unique<AboutDialog>();
        else {
            auto range = std::make_unique<RangeDialog>();
            range->prepareRangeSelection(QStringLiteral("Range"), 10);
            box = std::move(range);
        }
        int finished = -1;
        connect(box.get(), &QDialog::finished, this, [&finished](int r) { finished = r; });
        box->show();
        QVERIFY(QTest::qWaitForWindowActive(box.get()));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box.get(), Qt::Key(key));
        QTRY_COMPARE(finished, result);
    }

    void tabOrderFollowsLayout()
    {
        RealTimeSetupDialog setup;
        QWidget *expected[] = {child<QWidget>(setup, "edtRealTimeNo"), child<QWidget>(setup, "ComboBox1"),
                               child<QWidget>(setup, "ComboBox2"),     child<QWidget>(setup, "edtPeriod"),
                               child<QWidget>(setup, "btnStart"),      child<QWidget>(setup, "btnCancel")};
        setup.show();
        QVERIFY(QTest::qWaitForWindowActive(&setup));
        expected[0]->setFocus();
        for (QWidget *next : expected) {
            QCOMPARE(QApplication::focusWidget(), next);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }

    void openFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("call");
        QTest::newRow("graph") << "a.GHF" << "graph:a.GHF";
        QTest::newRow("text") << "b.txt" << "table:b.txt";
        QTest::newRow("csv") << "c.csv" << "table:c.csv";
        QTest::newRow("collection") << "d.REC" << "collection:d.REC";
    }
    void openFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, call);
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        kv::NoDeviceTransfer usb;

        // From the command line.
        {
            MainWindow main(usb);
            OpenLog log;
            log.install(main);
            main.openFiles({path});
            QCOMPARE(log.calls, QStringList{call});
        }
        // Dropped on the window.
        {
            MainWindow main(usb);
            OpenLog log;
            log.install(main);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&main, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&main, &drop);
            QVERIFY(drop.isAccepted());
            QTRY_COMPARE(log.calls, QStringList{call});
            // Opened files come first in File > Recent Files, also in the next run.
            QCOMPARE(child<QMenu>(main, "RecentFiles1")->actions().size(), 1);
            QCOMPARE(child<QMenu>(main, "RecentFiles1")->actions().first()->data().toString(), QFileInfo(path).absoluteFilePath());
        }
        MainWindow next(usb);
        OpenLog log;
        log.install(next);
        QCOMPARE(child<QMenu>(next, "RecentFiles1")->actions().size(), 1);
        child<QMenu>(next, "RecentFiles1")->actions().first()->trigger();
        QCOMPARE(log.calls, QStringList{call});
        QCOMPARE(prompts.shown, QStringList());
    }

    void realOpenFunctions()
    {
        // Through the main window's own open functions: a text file becomes a
        // table window; a broken graph file gets the open command's report
        // and is not listed as recent.
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("a.txt"));
        const QString broken = dir.filePath(QStringLiteral("junk.ghf"));
        for (const auto &[path, bytes] : {std::pair{text, QByteArray("d\tt\t1.0\t\r\n")},
                                          std::pair{broken, QByteArray("\x03\0\0\0abc", 7)}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        const int before = child<QMdiArea>(main, "MdiArea")->subWindowList().size();
        main.openFiles({broken, text});
        QCOMPARE(child<QMdiArea>(main, "MdiArea")->subWindowList().size(), before + 1);
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown.first().contains(QDir::toNativeSeparators(broken)), qPrintable(prompts.shown.first()));
        QCOMPARE(child<QMenu>(main, "RecentFiles1")->actions().size(), 1);
        QCOMPARE(child<QMenu>(main, "RecentFiles1")->actions().first()->data().toString(), text);
    }

    void collections()
    {
        // A collection opens in the "DataLogger" window; one that cannot be
        // read is reported (the dialog's path reports nothing of its own).
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("run.REC"));
        const QString bad = dir.filePath(QStringLiteral("bad.rec"));
        for (const auto &[path, bytes] : {std::pair{good, kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).image()},
                                          std::pair{bad, QByteArray("not a logger image")}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.openFiles({bad});
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown.first().contains(QDir::toNativeSeparators(bad)), qPrintable(prompts.shown.first()));
        QVERIFY(child<QMenu>(main, "RecentFiles1")->actions().isEmpty());
        main.openFiles({good});
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(main.loggerGraph());
        QCOMPARE(child<QMenu>(main, "RecentFiles1")->actions().size(), 1);
    }

    void refusedFiles()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        OpenLog log;
        log.install(main);
        log.succeed = false;   // the open function reports its own failure
        main.openFiles({QStringLiteral("/nowhere/picture.png"), QStringLiteral("/nowhere/broken.ghf"),
                        QStringLiteral("/nowhere/x.txt")});
        // The unknown file is reported and skipped, the others still tried.
        QCOMPARE(log.calls, (QStringList{QStringLiteral("graph:broken.ghf"), QStringLiteral("table:x.txt")}));
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(prompts.shown.first().startsWith(QDir::toNativeSeparators(QStringLiteral("/nowhere/picture.png"))));
        // Files that did not open are not listed.
        QVERIFY(!child<QMenu>(main, "RecentFiles1")->isEnabled());
        QVERIFY(child<QMenu>(main, "RecentFiles1")->actions().isEmpty());

        // A kind of file without an open function in this build is refused
        // with a report, not silently.
        main.fileOpeners().collection = nullptr;
        main.openFiles({QStringLiteral("/nowhere/d.rec")});
        QCOMPARE(prompts.shown.size(), 2);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"

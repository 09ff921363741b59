// The "DataLogger" window: the data set list filled after a parse, a click
// that shows a data set, the data set's own boxes, the question about
// unsaved data on closing, and opening a collection.
#include "app/prompt.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "logger/loggerdata.h"
#include "realtime/datetime.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "tests/support/mainwindowrig.h"
#include "tests/testsupport.h"
#include "ui/collectioncommands.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QStyle>
#include <QtTest>

using kvtest::LoggerImageBuilder;
using kvtest::RawSample;
using kvtest::RawSet;
using kvtest::SetOf;

namespace {

struct Rig : kvtest::MainWindowRig {
    QTemporaryDir dir;
    kv::LoggerData &data = main.loggerData();
    GraphWindow *window = nullptr;

    Rig()
    {
        main.resize(1000, 700);
        main.show();
        main.connection().stopPolling();
        main.settings().dataFolder = dir.path();
        data.setDataFolder(dir.path());
    }
    // The "DataLogger" window as the program makes it.
    GraphWindow &loggerWindow()
    {
        window = &main.ensureLoggerGraph();
        if (!QTest::qWaitForWindowExposed(&main))
            qWarning("the main window was not exposed");
        return *window;
    }
};

// Data sets of 10, 20 and 30 samples whose RH is the set number and whose
// T1 counts the samples.
QByteArray ThreeSets()
{
    LoggerImageBuilder builder;
    const int counts[] = {10, 20, 30};
    for (int s = 0; s < 3; ++s) {
        RawSet set;
        set.start = {0x25, 0x06, std::uint8_t(0x10 + s), 0x08, 0x00, 0x00};
        set.intervalSeconds = std::uint8_t(10 * (s + 1));
        for (int k = 0; k < counts[s]; ++k)
            set.samples.push_back(RawSample{10 * (s + 1), k, 700});
        builder.add(set);
    }
    return builder.image();
}

void ClickRow(QTableWidget *grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace

class TestLoggerGraph : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    // A parse fills one row per data set, selects row 1 and draws data set 0.
    void listFilledAfterParse()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        QCOMPARE(g.dataSetRowCount(), 4);
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < 10; ++c)
                QCOMPARE(g.dataSetCell(c, i + 1), kv::DataSetRowTexts(rig.data.dataSets()[size_t(i)], i)[c]);
        QCOMPARE(g.dataSetCell(0, 0), QStringLiteral("Set"));
        QCOMPARE(child<QTableWidget>(g, "Grid2")->currentRow(), 0);
        QVERIFY(child<QTableWidget>(g, "Grid2")->selectionModel()->isRowSelected(0, QModelIndex()));
        QCOMPARE(g.chart().Points(), 10);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QStringLiteral("10"));
        QCOMPARE(child<QLineEdit>(g, "txtStartTime")->text(), kv::DateTimeText(rig.data.dataSets()[0].start));
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->currentIndex(), 10);
    }

    // Clicking row 3 draws data set 2: entries 150..299, point by point.
    void clickShowsDataSet()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        ClickRow(child<QTableWidget>(g, "Grid2"), 2);
        const kv::Chart &chart = g.chart();
        QCOMPARE(chart.Points(), 30);
        QCOMPARE(chart.Subsets(), 5);
        const kv::LoggerSeries &series = rig.data.series();
        for (int p = 0; p < 30; ++p)
            for (int s = 0; s < 5; ++s) {
                QCOMPARE(chart.XDataII(s, p), series.times[size_t(150 + 5 * p + s)]);
                QCOMPARE(chart.YData(s, p), series.values[size_t(150 + 5 * p + s)]);
            }
        QCOMPARE(chart.YData(0, 0), 3.0f);
        QCOMPARE(chart.YData(1, 29), 2.9f);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QStringLiteral("30"));
        QCOMPARE(child<QComboBox>(g, "ComboBox1")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->currentIndex(), 30);
        // Clicking again anywhere in the row shows it again; the list stays.
        ClickRow(child<QTableWidget>(g, "Grid2"), 0);
        QCOMPARE(chart.Points(), 10);
        QCOMPARE(g.dataSetRowCount(), 4);
    }

    // Before any data set, clicking the empty row 1 changes nothing.
    void emptyListClickDoesNothing()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QSignalSpy requests(&g, &GraphWindow::dataSetRequested);
        const int points = g.chart().Points();
        ClickRow(child<QTableWidget>(g, "Grid2"), 0);
        QCOMPARE(requests.count(), 0);
        QCOMPARE(g.chart().Points(), points);
    }

    void rateBoxes_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("minuteItem");
        QTest::addColumn<int>("secondItem");
        QTest::newRow("75 s") << 1 << 15 << 1 << 15;
        QTest::newRow("3600 s") << 60 << 0 << 60 << 0;
        QTest::newRow("3660 s: no minute item") << 60 << 60 << -1 << 0;
    }
    void rateBoxes()
    {
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        QFETCH(int, minuteItem);
        QFETCH(int, secondItem);
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        RawSet set = SetOf(3);
        set.intervalMinutes = std::uint8_t(minutes);
        set.intervalSeconds = std::uint8_t(seconds);
        QCOMPARE(rig.data.setImage(LoggerImageBuilder().add(set).image()), 0);
        QCOMPARE(child<QComboBox>(g, "ComboBox1")->currentIndex(), minuteItem);
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->currentIndex(), secondItem);
    }

    // A data set without samples shows an empty chart.
    void emptyDataSet()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(LoggerImageBuilder().add(SetOf(0)).add(SetOf(4)).image()), 0);
        QCOMPARE(g.chart().Points(), 0);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QStringLiteral("0"));
        ClickRow(child<QTableWidget>(g, "Grid2"), 1);
        QCOMPARE(g.chart().Points(), 4);
    }

    // A refused image (count 0) leaves the list and the chart as they were.
    void refusedImageKeepsList()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        ClickRow(child<QTableWidget>(g, "Grid2"), 1);
        QCOMPARE(rig.data.setImage(LoggerImageBuilder().add(SetOf(2)).image(0)), int(kv::LoggerParseNoDataSet));
        QCOMPARE(g.dataSetRowCount(), 4);
        QCOMPARE(g.chart().Points(), 20);
    }

    // The current row's data set is on the chart whether the keys or the
    // mouse made it current; each change draws it once.
    void keysShowTheCurrentRow_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("requests");
        QTest::newRow("down") << QList<int>{Qt::Key_Down} << 20 << 1;
        QTest::newRow("down, down") << QList<int>{Qt::Key_Down, Qt::Key_Down} << 30 << 2;
        QTest::newRow("down, up") << QList<int>{Qt::Key_Down, Qt::Key_Up} << 10 << 2;
        QTest::newRow("ctrl+end") << QList<int>{(Qt::ControlModifier | Qt::Key_End).toCombined()} << 30 << 1;
        QTest::newRow("past the last row") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << 30 << 2;
        QTest::newRow("up from row 1") << QList<int>{Qt::Key_Up} << 10 << 0;
    }
    void keysShowTheCurrentRow()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, points);
        QFETCH(int, requests);
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        QTableWidget *list = child<QTableWidget>(g, "Grid2");
        QSignalSpy requested(&g, &GraphWindow::dataSetRequested);
        for (int key : keys) {
            const QKeyCombination combination = QKeyCombination::fromCombined(key);
            QTest::keyClick(list, combination.key(), combination.keyboardModifiers());
        }
        QCOMPARE(g.chart().Points(), points);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QString::number(points));
        QCOMPARE(requested.count(), requests);
    }

    // A click on another row draws its data set once; a click on the current
    // row (however it became current) draws it again.
    void clicksShowOnceAndAgain()
    {
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        QTableWidget *list = child<QTableWidget>(g, "Grid2");
        QSignalSpy requested(&g, &GraphWindow::dataSetRequested);
        ClickRow(list, 2);
        QCOMPARE(requested.count(), 1);
        QCOMPARE(g.chart().Points(), 30);
        ClickRow(list, 2);
        QCOMPARE(requested.count(), 2);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(requested.count(), 3);
        QCOMPARE(g.chart().Points(), 20);
        ClickRow(list, 1);
        QCOMPARE(requested.count(), 4);
        QCOMPARE(requested.last().at(0).toInt(), 1);
    }

    // The listed widths are the least; every title and text fits whole,
    // whatever the date and time formats.
    void columnsFitTheirTexts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("en_US") << "en_US";
        QTest::newRow("de_DE") << "de_DE";
        QTest::newRow("fi_FI") << "fi_FI";
        QTest::newRow("ja_JP") << "ja_JP";
    }
    void columnsFitTheirTexts()
    {
        QFETCH(QString, locale);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QCOMPARE(rig.data.setImage(ThreeSets()), 0);
        QTableWidget *list = child<QTableWidget>(g, "Grid2");
        const int least[] = {25, 60, 60, 65, 40, 40, 40, 60, 60, 60, 60};
        const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        const QFontMetrics metrics(list->font());
        for (int c = 0; c < 11; ++c) {
            QVERIFY2(list->columnWidth(c) >= least[c], qPrintable(QString::number(c)));
            for (int row = 0; row <= 3; ++row) {
                const QString text = g.dataSetCell(c, row);
                QVERIFY2(metrics.horizontalAdvance(text) <= list->columnWidth(c) - margins,
                         qPrintable(QStringLiteral("%1 in %2 px").arg(text).arg(list->columnWidth(c))));
            }
        }
        if (locale == QLatin1String("de_DE") && !qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
            g.chart().redrawNow();
            g.grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/datasetlist.png");
        }
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("button");   // chooser button after Yes
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saved");
        QTest::newRow("cancel") << int(kv::Answer::Cancel) << QString() << false << false;
        QTest::newRow("no: dropped") << int(kv::Answer::No) << QString() << true << false;
        QTest::newRow("yes, collection") << int(kv::Answer::Yes) << "btnOpenSets" << true << true;
        QTest::newRow("yes, then cancel") << int(kv::Answer::Yes) << "Button1" << false << false;
    }
    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QString, button);
        QFETCH(bool, closed);
        QFETCH(bool, saved);
        std::unique_ptr<QSettings>(kv::OpenUserSettings())->clear();
        Rig rig;
        GraphWindow &g = rig.loggerWindow();
        QVERIFY(rig.data.acceptDownload(ThreeSets()).shown());
        QPointer<GraphWindow> window(&g);
        const QString path = rig.dir.filePath(QStringLiteral("closing.REC"));
        rig.prompts.answers.push_back(kv::Answer(answer));
        if (!button.isEmpty()) {
            rig.prompts.dialogs.push_back([button](QDialog &dialog) {
                dialog.findChild<QPushButton *>(button)->click();
                return dialog.result();
            });
            rig.prompts.fileNames.push_back(path);
        }
        g.parentWidget()->close();
        QCOMPARE(rig.prompts.shown.value(0), QStringLiteral("Save DataLogger Data ?"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.isNull() || !window->isVisible(), closed);
        QCOMPARE(QFile::exists(path), saved);
        // A saved collection is listed under File > Recent Files.
        const QList<QAction *> recent = child<QMenu>(rig.main, "RecentFiles1")->actions();
        QCOMPARE(!recent.isEmpty() && recent.first()->data().toString() == path, saved);
        QCOMPARE(rig.data.unsaved(), !closed);
        QCOMPARE(bool(rig.main.loggerGraph()), !closed);

        // Saved (or answered) data is not asked about again.
        if (!closed) {
            rig.prompts.answers.push_back(kv::Answer::No);
            g.parentWidget()->close();
            QCOMPARE(rig.prompts.shown.size(), 2);
            return;
        }

        // A window made again (the chooser's open, cancelled) shows saved
        // data; dropped data are gone from it and from a later save, while
        // the working copy stays on disk.
        QVERIFY(!rig.main.openCollection());
        GraphWindow *again = rig.main.loggerGraph();
        QVERIFY(again);
        QCOMPARE(again->dataSetCell(1, 1).isEmpty(), !saved);
        QCOMPARE(again->chart().Points(), saved ? 10 : 500);
        QCOMPARE(rig.data.hasData(), saved);
        QVERIFY(QFile::exists(rig.data.workingCopyPath()));
        if (!saved)
            QCOMPARE(rig.data.saveCollection(rig.dir.filePath(QStringLiteral("nothing.REC"))).outcome,
                     kv::SaveCollectionResult::NothingToSave);
    }

    // Cancelling the open dialog leaves a "DataLogger" window; a collection
    // that opens is shown in it, and a window made later shows it too.
    void openCollection()
    {
        Rig rig;
        QVERIFY(!rig.main.openCollection());
        QVERIFY(rig.main.loggerGraph());
        QCOMPARE(rig.main.loggerGraph()->windowTitle(), QStringLiteral("DataLogger"));
        QCOMPARE(rig.prompts.fileRequests.size(), 1);

        const QString path = rig.dir.filePath(QStringLiteral("three.REC"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ThreeSets());
        file.close();
        rig.prompts.fileNames.push_back(path);
        QVERIFY(rig.main.openCollection());
        GraphWindow *g = rig.main.loggerGraph();
        QCOMPARE(g->dataSetRowCount(), 4);
        QCOMPARE(g->chart().Points(), 10);
        QVERIFY(!rig.data.unsaved());

        g->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!rig.main.loggerGraph());
        QCOMPARE(rig.main.ensureLoggerGraph().dataSetRowCount(), 4);
    }

    // The save command on the "DataLogger" window saves the collection on show.
    void saveCommand()
    {
        Rig rig;
        rig.loggerWindow();
        QVERIFY(rig.data.acceptDownload(ThreeSets()).shown());
        const QString path = rig.dir.filePath(QStringLiteral("saved.REC"));
        rig.prompts.dialogs.push_back([](QDialog &dialog) {
            dialog.findChild<QPushButton *>(QStringLiteral("btnOpenSets"))->click();
            return dialog.result();
        });
        rig.prompts.fileNames.push_back(path);
        QVERIFY(rig.main.saveLoggerGraph());
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), ThreeSets());
        QVERIFY(!rig.data.unsaved());
    }
};

QTEST_MAIN(TestLoggerGraph)
#include "tst_loggergraph.moc"

// The graph window: its controls, the statistics of a filled chart, channel
// selection, split view, the graph template and closing.
#include "ui/mainwindow.h"
#include "app/prompt.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/graphfile.h"
#include "chart/model/graphtemplate.h"
#include "ui/graphwindow.h"
#include "realtime/datetime.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/mainwindowrig.h"
#include "tests/support/children.h"
#include "tests/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

const double Start = kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0)));

using Rig = kvtest::MainWindowRig;

// A graph window on the rig's recorder, annotation tool and settings.
struct Graph : GraphWindow {
    Graph(Rig &rig, const QString &caption)
        : GraphWindow(caption, rig.main.recorder(), rig.main.annotationCursor(), rig.main.settings())
    {
    }
};

// The statistics boxes of RH, T1 and T2 by kind ("Max", "Min", "Avg").
QLineEdit *StatisticsBox(const GraphWindow &g, int channel, const char *kind)
{
    static const char *const names[] = {"txtRH", "txtT1", "txtT2"};
    return child<QLineEdit>(g, QLatin1String(names[channel]) + QLatin1String(kind));
}

// A window whose chart holds `points` points `seconds` apart, every channel
// at 20 unless `values` gives a channel's series.
void Fill(GraphWindow &g, int points, int seconds, const QMap<int, QList<float>> &values = {})
{
    SetUpGraph(g.chart(), 5, points, Start, Start + points * seconds * kv::OneSecond, -20, 100);
    for (int p = 0; p < points; ++p)
        for (int s = 0; s < 5; ++s) {
            g.chart().setXDataII(s, p, Start + p * seconds * kv::OneSecond);
            const QList<float> series = values.value(s);
            g.chart().setYData(s, p, p < series.size() ? series[p] : 20.0f);
        }
}

// The chart's drawing surface, for mouse input.
QWidget *Surface(kv::Chart &chart)
{
    for (QObject *child : chart.children())
        if (auto *w = qobject_cast<QWidget *>(child); w && w->inherits("QCustomPlot"))
            return w;
    return nullptr;
}

// Drags a zoom rectangle over the middle of the plot.
void DragZoom(kv::Chart &chart)
{
    QWidget *surface = Surface(chart);
    const QRect plot = chart.plottingRect().translated(-surface->pos());
    const QPoint from = plot.center() - QPoint(plot.width() / 4, plot.height() / 4);
    const QPoint to = plot.center() + QPoint(plot.width() / 4, plot.height() / 4);
    QTest::mousePress(surface, Qt::LeftButton, {}, from);
    QTest::mouseMove(surface, from + QPoint(10, 10));
    QTest::mouseMove(surface, to);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
}

} // namespace

class TestGraph : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
    }
    void cleanup() { QFile::remove(kv::UserGraphTemplatePath()); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("statistics") << "ToolButton1" << "" << "Toggle Graph Statistic" << true << true;
        QTest::newRow("line statistics") << "ToolButton2" << "" << "Toggle Line Cursor Statistic" << true << true;
        QTest::newRow("normal cursor") << "ToolButton4" << "" << "Normal Cursor" << true << true;
        QTest::newRow("cross") << "ToolButton5" << "" << "Draw A Cross On Graph" << false << true;
        QTest::newRow("text") << "ToolButton9" << "" << "Text" << false << true;
        QTest::newRow("colour") << "ToolButton15" << "" << "Set Annotation Color" << false << true;
        // Tool bar items hidden in this window are disabled with it.
        QTest::newRow("clear") << "tbntClr" << "" << "Clear" << false << false;
        QTest::newRow("undo zoom") << "UndoZoom" << "Undo Zoom" << "" << false << false;
        QTest::newRow("split") << "chkSplit" << "Split" << "" << true << false;
        QTest::newRow("graph option") << "Button1" << "Graph Option" << "Graph Customization" << false << true;
        QTest::newRow("y axis") << "btnChangeScale" << "Y Axis"
                                << "set the maximum and minimum extent of the left y axis." << false << true;
        QTest::newRow("font") << "Button3" << "Font" << "" << false << true;
        QTest::newRow("max/min") << "Button2" << "Show MAX/MIN on Graph" << "" << false << true;
        QTest::newRow("export picture") << "btnExportPicture" << "Export Picture"
                                        << "Export the graph as a picture (PNG, JPEG, PDF or SVG)" << false << true;
        QTest::newRow("RH") << "chkRH" << "RH" << "" << true << true;
        QTest::newRow("T1") << "chkT1" << "T1" << "" << true << true;
        QTest::newRow("T2") << "chkT2" << "T2" << "" << true << true;
        QTest::newRow("wet bulb") << "chkWETBULB" << "WET BULB" << "" << true << true;
        QTest::newRow("dew point") << "chkDEWPOINT" << "DEW POINT" << "" << true << true;
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        Rig rig;
        Graph g(rig, "run1.ghf");
        auto *button = g.findChild<QAbstractButton *>(name);
        QVERIFY(button);
        if (!text.isEmpty())
            QCOMPARE(button->text(), text);
        QCOMPARE(button->toolTip(), hint);
        QCOMPARE(button->isChecked(), checked);
        QCOMPARE(button->isEnabled(), enabled);
    }

    void panelsByUse_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("dataSets");
        QTest::newRow("logger") << "DataLogger" << true;
        QTest::newRow("file") << "/data/run1.ghf" << false;
    }
    void panelsByUse()
    {
        QFETCH(QString, caption);
        QFETCH(bool, dataSets);
        Rig rig;
        Graph g(rig, caption);
        g.resize(800, 600);
        g.show();
        QCOMPARE(child<QFrame>(g, "pnlDataSets")->isVisible(), dataSets);
        QVERIFY(!child<QToolButton>(g, "tbntClr")->isVisible());
        QVERIFY(!child<QCheckBox>(g, "chkSplit")->isVisible());
        QVERIFY(!child<QFrame>(g, "pnlSamplingRate")->isEnabled());
        QCOMPARE(child<QComboBox>(g, "ComboBox1")->count(), 61);
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->itemText(60), QString("60"));
        QCOMPARE(child<QLineEdit>(g, "txtT2Avg")->text(), QString("***.* "));
        auto *list = child<QTableWidget>(g, "Grid2");
        QCOMPARE(list->columnCount(), 11);
        QCOMPARE(g.dataSetCell(1, 0), QString("DATE"));
        QCOMPARE(g.dataSetCell(9, 0), QString("T2 Offset"));
        QCOMPARE(g.dataSetCell(10, 0), QString());
        QCOMPARE(list->columnWidth(3), 65);
        QCOMPARE(list->columnWidth(10), 60);
        QCOMPARE(g.dataSetRowCount(), 2);
        QCOMPARE(rig.main.annotationCursor().tool(), kv::AnnotationTool::Normal);
    }

    void samplingInterval_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("secondsText");
        QTest::newRow("100 points 2 s apart") << 100 << 2 << "00" << "02";
        QTest::newRow("10 points 60 s apart") << 10 << 60 << "01" << "00";
        QTest::newRow("one point") << 1 << 5 << "00" << "00";
        QTest::newRow("61 minutes: no item") << 3 << 3660 << "" << "00";
    }
    void samplingInterval()
    {
        QFETCH(int, points);
        QFETCH(int, seconds);
        QFETCH(QString, minutes);
        QFETCH(QString, secondsText);
        Rig rig;
        Graph g(rig, "table");
        Fill(g, points, seconds);
        g.showGraphStatistics();
        QCOMPARE(child<QComboBox>(g, "ComboBox1")->currentText(), minutes);
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->currentText(), secondsText);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QString::number(points));
        QCOMPARE(child<QLineEdit>(g, "txtStartTime")->text(), kv::DateTimeText(Start));
    }

    void statisticsTexts_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("avg");
        const QString at1 = "@" + kv::DateTimeText(Start + 2 * kv::OneSecond);
        const QString at0 = "@" + kv::DateTimeText(Start);
        QTest::newRow("T2 under range") << 2 << QList<float>{21, -9000, 23} << "23.0@" + kv::DateTimeText(Start + 4 * kv::OneSecond)
                                        << "-OL" << "22.0";
        QTest::newRow("T1 under range") << 1 << QList<float>{21, -9000, 23} << "23.0@" + kv::DateTimeText(Start + 4 * kv::OneSecond)
                                        << "OL" << "22.0";
        QTest::newRow("T2 over range") << 2 << QList<float>{21, 9000, 23} << "OL" << "21.0" + at0 << "22.0";
        QTest::newRow("RH at 100.0") << 0 << QList<float>{50, 100.0f, 60} << "100.0" + at1 << "50.0" + at0 << "70.0";
        QTest::newRow("RH at 100.1") << 0 << QList<float>{50, 100.1f, 60} << "OL" << "50.0" + at0 << "70.0";
        QTest::newRow("RH no value") << 0 << QList<float>{50, 9999, 60} << "OL" << "50.0" + at0 << "55.0";
        QTest::newRow("ties: earliest") << 1 << QList<float>{30, 30, 30} << "30.0" + at0 << "30.0" + at0 << "30.0";
        QTest::newRow("average bounds") << 2 << QList<float>{-390, 5000, 4999} << "5000.0" + at1 << "-390.0" + at0
                                        << "4999.0";
        QTest::newRow("no average") << 2 << QList<float>{9000, -9000, 9999} << "OL" << "-OL" << "****";
    }
    void statisticsTexts()
    {
        QFETCH(int, channel);
        QFETCH(QList<float>, values);
        QFETCH(QString, max);
        QFETCH(QString, min);
        QFETCH(QString, avg);
        Rig rig;
        Graph g(rig, "table");
        Fill(g, values.size(), 2, {{channel, values}});
        g.showGraphStatistics();
        QCOMPARE(StatisticsBox(g, channel, "Max")->text(), max);
        QCOMPARE(StatisticsBox(g, channel, "Min")->text(), min);
        QCOMPARE(StatisticsBox(g, channel, "Avg")->text(), avg);
    }

    void channelSelectionKeepsOrder()
    {
        Rig rig;
        Graph g(rig, "table");
        Fill(g, 10, 2);
        child<QCheckBox>(g, "chkT1")->setChecked(false);
        child<QCheckBox>(g, "chkWETBULB")->setChecked(false);
        QCOMPARE(g.chart().RandomSubsetsToGraphCount(), 3);
        QCOMPARE(g.chart().RandomSubsetsToGraph(0), 0);
        QCOMPARE(g.chart().RandomSubsetsToGraph(1), 2);
        QCOMPARE(g.chart().RandomSubsetsToGraph(2), 4);
        child<QCheckBox>(g, "chkT1")->setChecked(true);
        QCOMPARE(g.chart().RandomSubsetsToGraph(1), 1);
        QCOMPARE(g.chart().RandomSubsetsToGraph(2), 2);
    }

    void splitView()
    {
        Rig rig;
        Graph g(rig, "table");
        Fill(g, 10, 2);
        auto *split = child<QCheckBox>(g, "chkSplit");
        auto *cross = child<QToolButton>(g, "ToolButton5");
        auto *text = child<QToolButton>(g, "ToolButton9");
        split->setChecked(false);
        QCOMPARE(g.chart().axisCount(), 1);
        QVERIFY(cross->isEnabled() && text->isEnabled());
        text->setChecked(true);
        split->setChecked(true);
        QCOMPARE(g.chart().axisCount(), 3);
        QCOMPARE(g.chart().MultiAxesSubsets(0), 1);
        QCOMPARE(g.chart().MultiAxesSubsets(1), 2);
        QCOMPARE(g.chart().MultiAxesSubsets(2), 2);
        QCOMPARE(g.chart().MultiAxesProportions(0), 0.2);
        QCOMPARE(g.chart().MultiAxesProportions(2), 0.4);
        QVERIFY(!cross->isEnabled() && !text->isEnabled());
        QVERIFY(child<QToolButton>(g, "ToolButton4")->isChecked());
        QCOMPARE(g.chart().ArrowCursor(), 1);
    }

    void templateGivesLookNotLayout()
    {
        Rig rig;
        {
            kv::Chart source;
            SetUpGraph(source, 5, 7, Start - 10, Start - 9, -10, 50);
            source.setMainTitle("From template");
            source.setGraphBackColor(Qt::white);
            source.setManualMinY(-5);
            source.setManualMaxY(80);
            source.setMultiAxesSubsets(0, 1);
            source.setMultiAxesSubsets(1, 4);
            source.setMultiAxesProportions(0, 0.3);
            source.setMultiAxesProportions(1, 0.7);
            source.setYData(0, 0, 42);
            QVERIFY(QDir().mkpath(QFileInfo(kv::UserGraphTemplatePath()).path()));
            QVERIFY(kv::WriteGraphFile(source, kv::UserGraphTemplatePath(), nullptr));
        }
        Graph g(rig, "table");
        const double end = Start + 100 * kv::OneSecond;
        SetUpGraph(g.chart(), 5, 50, Start, end, -20, 100);
        g.updateAnnotationTools();
        kv::Chart &c = g.chart();
        QCOMPARE(c.MainTitle(), QString("From template"));
        QCOMPARE(c.GraphBackColor(), QColor(Qt::white));
        QCOMPARE(c.ManualMinY(), -5.0);
        QCOMPARE(c.ManualMaxY(), 80.0);
        QCOMPARE(c.Points(), 50);
        QCOMPARE(c.ManualMinX(), Start);
        QCOMPARE(c.ManualMaxX(), end);
        QCOMPARE(c.axisCount(), 1);
        QCOMPARE(c.MultiAxesProportions(0), 1.0);
        QCOMPARE(c.YData(0, 0), 9999.0f);
        QCOMPARE(c.XDataII(0, 0), 0.0);
        QVERIFY(child<QToolButton>(g, "ToolButton5")->isEnabled());
        QVERIFY(rig.prompts.shown.isEmpty());

        // Without a template: the default look and the caller's Y range.
        QFile::remove(kv::UserGraphTemplatePath());
        SetUpGraph(c, 5, 50, Start, end, -20, 100);
        QCOMPARE(c.ManualMinY(), -20.0);
        QCOMPARE(c.ManualMaxY(), 100.0);
        QCOMPARE(c.MainTitle(), QString());
        QCOMPARE(c.SubsetLabels(3), QString("WET BULB"));
        QCOMPARE(c.SubsetColors(4), QColor(255, 0, 255));
        QCOMPARE(c.XAxisLabel(), QString("Time"));
    }

    void brokenTemplateIsReported()
    {
        Rig rig;
        QVERIFY(QDir().mkpath(QFileInfo(kv::UserGraphTemplatePath()).path()));
        QFile file(kv::UserGraphTemplatePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x10\x00\x00\x00short", 9);
        file.close();
        kv::Chart c;
        SetUpGraph(c, 5, 20, Start, Start + 1, -10, 50);
        QCOMPARE(rig.prompts.shown.size(), 1);
        QVERIFY(rig.prompts.shown.first().contains("graph.ghf"));
        QCOMPARE(c.Points(), 20);
        QCOMPARE(c.ManualMaxY(), 50.0);
    }

    void zoomAndPanels()
    {
        Rig rig;
        Graph g(rig, "table");
        g.show();
        emit g.chart().OnZoomIn();
        auto *undoZoom = child<QToolButton>(g, "UndoZoom");
        QVERIFY(undoZoom->isEnabled());
        undoZoom->click();
        QVERIFY(!undoZoom->isEnabled());

        child<QToolButton>(g, "ToolButton1")->click();
        QVERIFY(!child<QFrame>(g, "pnlGraphStatistic")->isVisible());
        child<QToolButton>(g, "ToolButton2")->click();
        QVERIFY(!child<QFrame>(g, "pnlStatistic")->isVisible());
        QVERIFY(!g.chart().ShowVertLineAnnotations());
        child<QToolButton>(g, "ToolButton2")->click();
        QVERIFY(child<QFrame>(g, "pnlStatistic")->isVisible());

        QFont font("Monospace", 14);
        rig.prompts.fonts.push_back(font);
        child<QToolButton>(g, "Button3")->click();
        QCOMPARE(child<QFrame>(g, "pnlStatistic")->font().pointSize(), 14);
        QCOMPARE(child<QFrame>(g, "pnlGraphStatistic")->font().pointSize(), 14);
    }

    // "Y Axis" while zoomed ends the zoom, so the new range shows at once; a
    // refused range changes nothing, the zoom included.
    void yAxisWhileZoomed_data()
    {
        QTest::addColumn<bool>("zoom");
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<bool>("applied");
        QTest::newRow("zoomed") << true << "5" << true;
        QTest::newRow("zoomed, invalid") << true << "five" << false;
        QTest::newRow("not zoomed") << false << "5" << true;
    }
    void yAxisWhileZoomed()
    {
        QFETCH(bool, zoom);
        QFETCH(QString, minimum);
        QFETCH(bool, applied);
        Rig rig;
        Graph g(rig, "table");
        g.resize(900, 600);
        Fill(g, 60, 2);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        kv::Chart &chart = g.chart();
        chart.redrawNow();
        auto *undoZoom = child<QToolButton>(g, "UndoZoom");
        if (zoom)
            DragZoom(chart);
        QCOMPARE(chart.isZoomed(), zoom);
        QCOMPARE(undoZoom->isEnabled(), zoom);
        double lower = 0, upper = 0;
        chart.currentYRange(0, &lower, &upper);

        rig.prompts.dialogs.push_back([minimum](QDialog &dialog) {
            child<QLineEdit>(dialog, QStringLiteral("edtT1Min"))->setText(minimum);
            child<QLineEdit>(dialog, QStringLiteral("edtT1Max"))->setText(QStringLiteral("45"));
            return int(QDialog::Accepted);
        });
        child<QToolButton>(g, "btnChangeScale")->click();
        QCOMPARE(chart.isZoomed(), zoom && !applied);
        QCOMPARE(undoZoom->isEnabled(), zoom && !applied);
        double newLower = 0, newUpper = 0;
        chart.currentYRange(0, &newLower, &newUpper);
        QCOMPARE(newLower, applied ? 5.0 : lower);
        QCOMPARE(newUpper, applied ? 45.0 : upper);
    }

    // The cursor tool is one for all graph windows: each shows it on its
    // buttons and its pointer, and its clicks do what its buttons show.
    void cursorToolIsShared()
    {
        Rig rig;
        rig.main.resize(1200, 900);
        rig.main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.main));
        const auto open = [&rig](const QString &caption) {
            auto *g = new Graph(rig, caption);
            Fill(*g, 10, 2);
            g->updateAnnotationTools();
            QMdiSubWindow *sub = rig.main.addChild(g);
            sub->resize(700, 500);
            sub->show();
            g->chart().redrawNow();
            return g;
        };
        const auto shows = [](GraphWindow *g, const char *button, int pointer) {
            return child<QToolButton>(g, button)->isChecked() && g->chart().ArrowCursor() == pointer;
        };
        const auto clickCentre = [](GraphWindow *g) {
            QWidget *surface = Surface(g->chart());
            QTest::mouseClick(surface, Qt::LeftButton, {}, g->chart().plottingRect().center() - surface->pos());
            return g->chart().graphAnnotationIndexes().size();
        };
        GraphWindow *first = open("one");
        GraphWindow *second = open("two");

        child<QToolButton>(first, "ToolButton5")->click();
        QVERIFY(shows(first, "ToolButton5", kv::ArrowCursorPicture));
        QVERIFY(shows(second, "ToolButton5", kv::ArrowCursorPicture));
        child<QToolButton>(second, "ToolButton9")->click();
        QVERIFY(shows(first, "ToolButton9", kv::ArrowCursorText));

        // A new window starts with the normal tool, and so does every other.
        GraphWindow *third = open("three");
        for (GraphWindow *g : {first, second, third})
            QVERIFY2(shows(g, "ToolButton4", kv::ArrowCursorNormal), qPrintable(g->windowTitle()));
        QCOMPARE(clickCentre(first), 0);

        // A window filled anew keeps the tool's pointer, and its clicks place.
        child<QToolButton>(third, "ToolButton5")->click();
        Fill(*first, 10, 2);
        first->updateAnnotationTools();
        first->chart().redrawNow();
        QVERIFY(shows(first, "ToolButton5", kv::ArrowCursorPicture));
        QCOMPARE(clickCentre(first), 1);

        // A split window cannot take notes: it shows and keeps the normal tool
        // while the others cross.
        auto *split = child<QCheckBox>(*second, "chkSplit");
        split->setChecked(false);
        split->setChecked(true);
        QCOMPARE(rig.main.annotationCursor().tool(), kv::AnnotationTool::Normal);
        child<QToolButton>(first, "ToolButton5")->click();
        QVERIFY(shows(second, "ToolButton4", kv::ArrowCursorNormal));
        QCOMPARE(clickCentre(second), 0);
        QVERIFY(shows(third, "ToolButton5", kv::ArrowCursorPicture));
        split->setChecked(false);
        QVERIFY(shows(second, "ToolButton5", kv::ArrowCursorPicture));
        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
            rig.main.resize(1400, 1000);
            child<QMdiArea>(rig.main, "MdiArea")->tileSubWindows();
            for (GraphWindow *g : {first, second, third})
                g->chart().redrawNow();
            rig.main.grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/sharedcursortool.png");
        }
    }

    void dataSetListClicks()
    {
        Rig rig;
        Graph g(rig, "DataLogger");
        QSignalSpy shown(&g, &GraphWindow::dataSetRequested);
        QTableWidget *list = child<QTableWidget>(g, "Grid2");
        list->setCurrentCell(0, 0);
        emit list->cellClicked(0, 0);
        QCOMPARE(shown.count(), 0); // the empty first row
        g.setDataSetRowCount(3);
        g.setDataSetCell(1, 1, "03/05/2024");
        g.setDataSetCell(1, 2, "04/05/2024");
        list->setCurrentCell(1, 0);
        emit list->cellClicked(1, 0);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 1);
    }

    void clearGraphRestartsNotes()
    {
        Rig rig;
        Graph g(rig, "table");
        Fill(g, 10, 2);
        g.showGraphStatistics();
        kv::Chart &c = g.chart();
        for (int i : {2, 4, 5}) {
            c.setGraphAnnotationType(i, kv::sgAnnotCross);
            c.setGraphAnnotationX(i, Start + i * kv::OneSecond);
            c.setGraphAnnotationY(i, 25);
        }
        rig.main.annotationCursor().takeNextIndex();
        rig.main.annotationCursor().takeNextIndex();
        g.clearGraph();
        QCOMPARE(rig.main.annotationCursor().lastIndex(), 3);
        QCOMPARE(c.GraphAnnotationX(4), 0.0);
        QCOMPARE(c.GraphAnnotationX(5), 0.0);
        QCOMPARE(c.GraphAnnotationX(2), Start + 2 * kv::OneSecond);
        QCOMPARE(c.YData(1, 3), 9999.0f);
        QCOMPARE(child<QLineEdit>(g, "txtDataNo")->text(), QString());
        QCOMPARE(child<QLineEdit>(g, "txtT1Max")->text(), QString());
    }

    // The tool bar reaches the graph tools; after Clear the numbering starts
    // again at 4 and the data-point marker stays.
    void toolsAreWired()
    {
        Rig rig;
        Graph g(rig, "table");
        g.resize(900, 600);
        Fill(g, 10, 2, {{0, {30, 40, 35}}});
        g.showGraphStatistics();
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        g.chart().redrawNow();
        child<QToolButton>(g, "Button2")->click();
        QCOMPARE(g.chart().TAText(3, 0), QString("RH MAX:"));
        QCOMPARE(g.chart().TAText(3, 1), child<QLineEdit>(g, "txtRHMax")->text());
        QCOMPARE(g.chart().TAText(1, 1), QString("00:02"));

        g.tools().markDataPoint(0, 1);
        child<QToolButton>(g, "ToolButton5")->click();
        QCOMPARE(rig.main.annotationCursor().tool(), kv::AnnotationTool::Cross);
        QWidget *surface = nullptr;
        for (QObject *child : g.chart().children())
            if (auto *w = qobject_cast<QWidget *>(child); w && w->inherits("QCustomPlot"))
                surface = w;
        QVERIFY(surface);
        const QPoint centre = g.chart().plottingRect().center() - surface->pos();
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre);
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre + QPoint(40, 0));
        QCOMPARE(g.chart().graphAnnotationIndexes(), (QList<int>{2, 4, 5}));
        g.clearGraph();
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre - QPoint(40, 0));
        QCOMPARE(rig.main.annotationCursor().lastIndex(), 4);
        QVERIFY(g.chart().GraphAnnotationX(4) > Start);
        QCOMPARE(g.chart().GraphAnnotationX(5), 0.0);
        QCOMPARE(g.chart().GraphAnnotationType(2), kv::sgAnnotCross);
        QVERIFY(g.chart().GraphAnnotationX(2) > Start);
        child<QToolButton>(g, "ToolButton4")->click();
        QCOMPARE(rig.main.annotationCursor().tool(), kv::AnnotationTool::Normal);

        QTemporaryDir dir;
        rig.prompts.fileNames.push_back(dir.filePath("graph.png"));
        child<QToolButton>(g, "btnExportPicture")->click();
        QVERIFY(QFileInfo(dir.filePath("graph.png")).size() > 0);
    }

    // Only the logger graph's own close forgets unsaved logger data.
    void loggerDataFlagSurvivesOtherWindows()
    {
        Rig rig;
        kv::LoggerData data;
        data.setUnsaved(true);
        auto *other = new Graph(rig, "/data/run1.ghf");
        other->attachLoggerData(data);
        rig.main.addChild(other)->show();
        other->parentWidget()->close();
        QVERIFY(data.unsaved());
        QVERIFY(rig.prompts.shown.isEmpty());

        kv::LoggerData &shown = rig.main.loggerData();
        shown.setUnsaved(true);
        QWidget *logger = rig.main.ensureLoggerGraph().parentWidget();
        rig.prompts.answers = {kv::Answer::Cancel, kv::Answer::No};
        logger->close();
        QVERIFY(rig.main.loggerGraph());
        QVERIFY(shown.unsaved());
        logger->close();
        QCOMPARE(rig.prompts.shown, (QStringList{"Save DataLogger Data ?", "Save DataLogger Data ?"}));
        QVERIFY(!rig.main.loggerGraph());
        QVERIFY(!shown.unsaved());
        QVERIFY(rig.prompts.fileRequests.isEmpty());
    }

    void activationDisablesOutputToGraph()
    {
        Rig rig;
        rig.main.show();
        child<QToolButton>(rig.main, "btnOutputToGraph")->setEnabled(true);
        auto *g = new Graph(rig, "table");
        QMdiSubWindow *sub = rig.main.addGraphWindow(g);
        sub->show();
        child<QMdiArea>(rig.main, "MdiArea")->setActiveSubWindow(sub);
        QVERIFY(!child<QToolButton>(rig.main, "btnOutputToGraph")->isEnabled());
        rig.main.connection().stopPolling();
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"

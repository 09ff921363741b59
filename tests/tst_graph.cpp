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
#include "tests/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
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

// A window whose chart holds `points` points `seconds` apart, every channel
// at 20 unless `values` gives a channel's series.
void Fill(GraphWindow &g, int points, int seconds, const QMap<int, QList<float>> &values = {})
{
    SetUpGraph(*g.PESGraph1, 5, points, Start, Start + points * seconds * kv::OneSecond, -20, 100);
    for (int p = 0; p < points; ++p)
        for (int s = 0; s < 5; ++s) {
            g.PESGraph1->setXDataII(s, p, Start + p * seconds * kv::OneSecond);
            const QList<float> series = values.value(s);
            g.PESGraph1->setYData(s, p, p < series.size() ? series[p] : 20.0f);
        }
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
        GraphWindow g(rig.main, "run1.ghf");
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
        GraphWindow g(rig.main, caption);
        g.resize(800, 600);
        g.show();
        QCOMPARE(g.pnlDataSets->isVisible(), dataSets);
        QVERIFY(!g.tbntClr->isVisible());
        QVERIFY(!g.chkSplit->isVisible());
        QVERIFY(!g.pnlSamplingRate->isEnabled());
        QCOMPARE(g.ComboBox1->count(), 61);
        QCOMPARE(g.ComboBox2->itemText(60), QString("60"));
        QCOMPARE(g.txtT2Avg->text(), QString("***.* "));
        QCOMPARE(g.Grid2->columnCount(), 11);
        QCOMPARE(g.Grid2Cell(1, 0), QString("DATE"));
        QCOMPARE(g.Grid2Cell(9, 0), QString("T2 Offset"));
        QCOMPARE(g.Grid2Cell(10, 0), QString());
        QCOMPARE(g.Grid2->columnWidth(3), 65);
        QCOMPARE(g.Grid2->columnWidth(10), 60);
        QCOMPARE(g.Grid2RowCount(), 2);
        QCOMPARE(rig.main.annotationCursor.tool(), kv::AnnotationTool::Normal);
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
        GraphWindow g(rig.main, "table");
        Fill(g, points, seconds);
        UpdateGraphStatistics(g);
        QCOMPARE(g.ComboBox1->currentText(), minutes);
        QCOMPARE(g.ComboBox2->currentText(), secondsText);
        QCOMPARE(g.txtDataNo->text(), QString::number(points));
        QCOMPARE(g.txtStartTime->text(), kv::DateTimeText(Start));
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
        GraphWindow g(rig.main, "table");
        Fill(g, values.size(), 2, {{channel, values}});
        UpdateGraphStatistics(g);
        QCOMPARE(g.maxBoxes()[size_t(channel)]->text(), max);
        QCOMPARE(g.minBoxes()[size_t(channel)]->text(), min);
        QCOMPARE(g.avgBoxes()[size_t(channel)]->text(), avg);
    }

    void channelSelectionKeepsOrder()
    {
        Rig rig;
        GraphWindow g(rig.main, "table");
        Fill(g, 10, 2);
        g.chkT1->setChecked(false);
        g.chkWETBULB->setChecked(false);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraphCount(), 3);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraph(0), 0);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraph(1), 2);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraph(2), 4);
        g.chkT1->setChecked(true);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraph(1), 1);
        QCOMPARE(g.PESGraph1->RandomSubsetsToGraph(2), 2);
    }

    void splitView()
    {
        Rig rig;
        GraphWindow g(rig.main, "table");
        Fill(g, 10, 2);
        g.chkSplit->setChecked(false);
        QCOMPARE(g.PESGraph1->axisCount(), 1);
        QVERIFY(g.ToolButton5->isEnabled() && g.ToolButton9->isEnabled());
        g.ToolButton9->setChecked(true);
        g.chkSplit->setChecked(true);
        QCOMPARE(g.PESGraph1->axisCount(), 3);
        QCOMPARE(g.PESGraph1->MultiAxesSubsets(0), 1);
        QCOMPARE(g.PESGraph1->MultiAxesSubsets(1), 2);
        QCOMPARE(g.PESGraph1->MultiAxesSubsets(2), 2);
        QCOMPARE(g.PESGraph1->MultiAxesProportions(0), 0.2);
        QCOMPARE(g.PESGraph1->MultiAxesProportions(2), 0.4);
        QVERIFY(!g.ToolButton5->isEnabled() && !g.ToolButton9->isEnabled());
        QVERIFY(g.ToolButton4->isChecked());
        QCOMPARE(g.PESGraph1->ArrowCursor(), 1);
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
        GraphWindow g(rig.main, "table");
        const double end = Start + 100 * kv::OneSecond;
        SetUpGraph(*g.PESGraph1, 5, 50, Start, end, -20, 100);
        g.UpdateAnnotationTools();
        kv::Chart &c = *g.PESGraph1;
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
        QVERIFY(g.ToolButton5->isEnabled());
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
        GraphWindow g(rig.main, "table");
        g.show();
        emit g.PESGraph1->OnZoomIn();
        QVERIFY(g.UndoZoom->isEnabled());
        g.UndoZoom->click();
        QVERIFY(!g.UndoZoom->isEnabled());

        g.ToolButton1->click();
        QVERIFY(!g.pnlGraphStatistic->isVisible());
        g.ToolButton2->click();
        QVERIFY(!g.pnlStatistic->isVisible());
        QVERIFY(!g.PESGraph1->ShowVertLineAnnotations());
        g.ToolButton2->click();
        QVERIFY(g.pnlStatistic->isVisible());

        QFont font("Monospace", 14);
        rig.prompts.fonts.push_back(font);
        g.Button3->click();
        QCOMPARE(g.pnlStatistic->font().pointSize(), 14);
        QCOMPARE(g.pnlGraphStatistic->font().pointSize(), 14);
    }

    void dataSetListClicks()
    {
        Rig rig;
        GraphWindow g(rig.main, "DataLogger");
        QSignalSpy shown(&g, &GraphWindow::ShowDataSetRequested);
        g.Grid2->setCurrentCell(0, 0);
        g.Grid2Click();
        QCOMPARE(shown.count(), 0); // the empty first row
        g.setGrid2RowCount(3);
        g.setGrid2Cell(1, 1, "03/05/2024");
        g.setGrid2Cell(1, 2, "04/05/2024");
        g.Grid2->setCurrentCell(1, 0);
        g.Grid2Click();
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 1);
    }

    void clearGraphRestartsNotes()
    {
        Rig rig;
        GraphWindow g(rig.main, "table");
        Fill(g, 10, 2);
        UpdateGraphStatistics(g);
        kv::Chart &c = *g.PESGraph1;
        for (int i : {2, 4, 5}) {
            c.setGraphAnnotationType(i, kv::sgAnnotCross);
            c.setGraphAnnotationX(i, Start + i * kv::OneSecond);
            c.setGraphAnnotationY(i, 25);
        }
        rig.main.annotationCursor.takeNextIndex();
        rig.main.annotationCursor.takeNextIndex();
        ClearGraph(g);
        QCOMPARE(rig.main.annotationCursor.lastIndex(), 3);
        QCOMPARE(c.GraphAnnotationX(4), 0.0);
        QCOMPARE(c.GraphAnnotationX(5), 0.0);
        QCOMPARE(c.GraphAnnotationX(2), Start + 2 * kv::OneSecond);
        QCOMPARE(c.YData(1, 3), 9999.0f);
        QCOMPARE(g.txtDataNo->text(), QString());
        QCOMPARE(g.txtT1Max->text(), QString());
    }

    // The tool bar reaches the graph tools; after Clear the numbering starts
    // again at 4 and the data-point marker stays.
    void toolsAreWired()
    {
        Rig rig;
        GraphWindow g(rig.main, "table");
        g.resize(900, 600);
        Fill(g, 10, 2, {{0, {30, 40, 35}}});
        UpdateGraphStatistics(g);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        g.PESGraph1->redrawNow();
        g.Button2->click();
        QCOMPARE(g.PESGraph1->TAText(3, 0), QString("RH MAX:"));
        QCOMPARE(g.PESGraph1->TAText(3, 1), g.txtRHMax->text());
        QCOMPARE(g.PESGraph1->TAText(1, 1), QString("00:02"));

        g.tools().markDataPoint(0, 1);
        g.ToolButton5->click();
        QCOMPARE(rig.main.annotationCursor.tool(), kv::AnnotationTool::Cross);
        QWidget *surface = nullptr;
        for (QObject *child : g.PESGraph1->children())
            if (auto *w = qobject_cast<QWidget *>(child); w && w->inherits("QCustomPlot"))
                surface = w;
        QVERIFY(surface);
        const QPoint centre = g.PESGraph1->plottingRect().center() - surface->pos();
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre);
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre + QPoint(40, 0));
        QCOMPARE(g.PESGraph1->graphAnnotationIndexes(), (QList<int>{2, 4, 5}));
        ClearGraph(g);
        QTest::mouseClick(surface, Qt::LeftButton, {}, centre - QPoint(40, 0));
        QCOMPARE(rig.main.annotationCursor.lastIndex(), 4);
        QVERIFY(g.PESGraph1->GraphAnnotationX(4) > Start);
        QCOMPARE(g.PESGraph1->GraphAnnotationX(5), 0.0);
        QCOMPARE(g.PESGraph1->GraphAnnotationType(2), kv::sgAnnotCross);
        QVERIFY(g.PESGraph1->GraphAnnotationX(2) > Start);
        g.ToolButton4->click();
        QCOMPARE(rig.main.annotationCursor.tool(), kv::AnnotationTool::Normal);

        QTemporaryDir dir;
        rig.prompts.fileNames.push_back(dir.filePath("graph.png"));
        g.btnExportPicture->click();
        QVERIFY(QFileInfo(dir.filePath("graph.png")).size() > 0);
    }

    // Only the logger graph's own close forgets unsaved logger data.
    void loggerDataFlagSurvivesOtherWindows()
    {
        Rig rig;
        kv::LoggerData data;
        data.setUnsaved(true);
        auto *other = new GraphWindow(rig.main, "/data/run1.ghf");
        other->attachLoggerData(data);
        rig.main.AddChild(other)->show();
        other->parentWidget()->close();
        QVERIFY(data.unsaved());
        QVERIFY(rig.prompts.shown.isEmpty());

        auto *logger = new GraphWindow(rig.main, "DataLogger");
        logger->attachLoggerData(data);
        rig.main.LoggerGraph = logger;
        rig.main.AddChild(logger)->show();
        rig.prompts.answers = {kv::Answer::Cancel, kv::Answer::No};
        logger->parentWidget()->close();
        QVERIFY(rig.main.LoggerGraph);
        QVERIFY(data.unsaved());
        logger->parentWidget()->close();
        QCOMPARE(rig.prompts.shown, (QStringList{"Save DataLogger Data ?", "Save DataLogger Data ?"}));
        QVERIFY(!rig.main.LoggerGraph);
        QVERIFY(!data.unsaved());
        QVERIFY(rig.prompts.fileRequests.isEmpty());
    }

    void activationDisablesOutputToGraph()
    {
        Rig rig;
        rig.main.show();
        child<QToolButton>(rig.main, "btnOutputToGraph")->setEnabled(true);
        auto *g = new GraphWindow(rig.main, "table");
        QMdiSubWindow *sub = rig.main.AddChild(g);
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

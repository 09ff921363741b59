// The chart component: its data, state block, zoom, hot spots, dialog and output.

#include "chart/view/chart.h"
#include "chart/model/chartstate.h"
#include "tests/support/chartfixture.h"
#include "tests/support/pdftext.h"
#include "tests/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <cmath>

using namespace kv;

namespace {

// Recomputes a block's length and checksum after a deliberate edit, so that
// the edit itself (not the checksum) is what the loader must catch.
void Reseal(QByteArray &block)
{
    qToLittleEndian<quint32>(quint32(block.size() - ChartStateHeaderSize), block.data() + 12);
    const quint32 crc = Crc32(block.constData() + ChartStateHeaderSize, block.size() - ChartStateHeaderSize);
    qToLittleEndian<quint32>(crc, block.data() + ChartStateChecksumOffset);
}

// Offset of a section's payload (after its tag and size), -1 when absent.
int SectionPayload(const QByteArray &block, const char *tag)
{
    int at = ChartStateHeaderSize;
    while (at + 8 <= block.size()) {
        const quint32 size = qFromLittleEndian<quint32>(block.constData() + at + 4);
        if (block.mid(at, 4) == QByteArray(tag))
            return at + 8;
        at += 8 + int(size);
    }
    return -1;
}

void Put32(QByteArray &block, int at, quint32 value) { qToLittleEndian<quint32>(value, block.data() + at); }

// Runs `action` on the modal dialog that `trigger` opens.
template<typename Action> void OnNextModal(Action action)
{
    QTimer::singleShot(0, [action] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        action(qobject_cast<QDialog *>(modal));
    });
}

QWidget *PlotSurface(Chart &chart)
{
    // The drawing surface is the chart's first child widget.
    for (QObject *child : chart.children())
        if (auto *w = qobject_cast<QWidget *>(child); w && w->inherits("QCustomPlot"))
            return w;
    return nullptr;
}

} // namespace

class TestChart : public QObject
{
    Q_OBJECT
private slots:
    void roundTripKeepsEverything();
    void refusesBadBlocks_data();
    void refusesBadBlocks();
    void pointsAndSubsetsKeepValues();
    void wholeArrayWritesArePointByPoint();
    void shownSubsetsFollowTheList();
    void stackedAxes();
    void pixelConversionMatchesAxisRanges();
    void dragZoomsAndUndoRestores();
    void clicksReportHotSpots();
    void draggingMovesCursorsAndTable();
    void customizeAppliesOrCancels();
    void exportsPictures_data();
    void exportsPictures();
    void printsToPdf();
};

void TestChart::roundTripKeepsEverything()
{
    Chart first;
    kvtest::FillFullChart(first);
    const QByteArray block = first.storeState();

    Chart second;
    QString error;
    QVERIFY2(second.loadState(block, &error), qPrintable(error));
    QCOMPARE(second.storeState(), block);

    QCOMPARE(second.Subsets(), 5);
    QCOMPARE(second.Points(), 300);
    QCOMPARE(second.YData(2, 100), 9999.0f);
    QCOMPARE(second.YDataII(1, 0), 0.1);
    QCOMPARE(second.XDataII(4, 299), first.XDataII(4, 299));
    QCOMPARE(second.SubsetLabels(3), QStringLiteral("WET BULB"));
    QCOMPARE(second.SubsetColors(4), QColor(255, 0, 255));
    QCOMPARE(second.MultiAxesSubsets(1), 2);
    QCOMPARE(second.MultiAxesProportions(0), 0.2);
    second.setWorkingAxis(1);
    QCOMPARE(second.ManualMinY(), -10.7);
    QCOMPARE(second.YAxisLabel(), QStringLiteral("°C"));
    QCOMPARE(second.GraphAnnotationType(5), sgAnnotCross);
    QCOMPARE(second.GraphAnnotationText(4), QStringLiteral("Door opened"));
    QCOMPARE(second.VertLineAnnotationColor(1), QColor(255, 0, 0));
    QCOMPARE(second.TAText(3, 1), QStringLiteral("25.0@03/05/2024 10:01:20"));
    QCOMPARE(second.TABackColor().alpha(), 129);
    QCOMPARE(second.TABorder(), sgInset);
    QCOMPARE(second.DateTimeMode(), sgVBDateTime);
    QCOMPARE(second.MainTitle(), QStringLiteral("Run 7"));
}

void TestChart::refusesBadBlocks_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("errorPart");

    Chart source;
    kvtest::FillFullChart(source, 40);
    const QByteArray good = source.storeState();
    const int data = SectionPayload(good, "DATA");
    const int series = SectionPayload(good, "SERS");
    QVERIFY(data > 0 && series > 0);

    QTest::newRow("empty") << QByteArray() << "signature";
    QTest::newRow("not ours") << QByteArray("PK\x03\x04 some zip file") << "signature";
    QByteArray version = good;
    version[8] = 9;
    QTest::newRow("later version") << version << "version 9";
    QTest::newRow("truncated") << good.left(good.size() / 2) << "truncated";
    QTest::newRow("trailing bytes") << good + QByteArray(3, 'x') << "after its end";
    QByteArray flipped = good;
    flipped[good.size() - 5] = char(flipped[good.size() - 5] ^ 0x40);
    QTest::newRow("damaged") << flipped << "checksum";

    QByteArray lying = good;
    Put32(lying, data + 4, 1000000);                   // points the bytes cannot hold
    Reseal(lying);
    QTest::newRow("more points than bytes") << lying << "more than its";
    QByteArray absurd = good;
    Put32(absurd, data + 4, 0x7fffffff);
    Reseal(absurd);
    QTest::newRow("absurd points") << absurd << "point count";
    QByteArray absurdBoth = good;                       // both counts at their maximum:
    Put32(absurdBoth, data, 0xffffffffu);               // sizes must not be computed from them
    Put32(absurdBoth, data + 4, 0xffffffffu);
    Reseal(absurdBoth);
    QTest::newRow("absurd subsets and points") << absurdBoth << "subset count";
    QByteArray subsets = good;
    Put32(subsets, series, 4);                          // series count disagrees with the data
    Reseal(subsets);
    QTest::newRow("counts disagree") << subsets << "describes 4 subsets";
    QByteArray missing = good.left(SectionPayload(good, "TABL") - 8);
    Put32(missing, 20, 6);                              // the table section left out
    Reseal(missing);
    QTest::newRow("section missing") << missing << "lacks section TABL";
    QByteArray unread = good;
    Put32(unread, 20, 6);                               // a section the count does not cover
    Reseal(unread);
    QTest::newRow("count short of the sections") << unread << "bytes more";
    QByteArray twice = good;
    twice.replace(series - 8, 4, "DATA");
    Reseal(twice);
    QTest::newRow("section twice") << twice << "twice";

    // X values are date-times: no NaN or infinity gets in.
    const double notFinite[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (double x : notFinite) {
        Chart bad;
        kvtest::FillFullChart(bad, 10);
        bad.setXDataII(0, 3, x);
        QTest::newRow(qPrintable(QStringLiteral("X %1").arg(x))) << bad.storeState()
                                                               << "X value 3 of subset 0 is not a finite number";
    }
    Chart badLine;
    kvtest::FillFullChart(badLine, 10);
    badLine.setVertLineAnnotation(0, std::nan(""));
    QTest::newRow("vertical line X NaN") << badLine.storeState() << "vertical line X is not a finite number";
}

void TestChart::refusesBadBlocks()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, errorPart);
    Chart chart;
    kvtest::FillFullChart(chart, 25);
    const QByteArray before = chart.storeState();
    QString error;
    QVERIFY(!chart.loadState(block, &error));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
    QCOMPARE(chart.storeState(), before);
}

void TestChart::pointsAndSubsetsKeepValues()
{
    Chart chart;
    QVERIFY(chart.setSubsets(2));
    QVERIFY(chart.setPoints(10));
    for (int p = 0; p < 10; ++p) {
        chart.setXDataII(0, p, 45000 + p);
        chart.setYData(1, p, 1.5f * p);
    }
    QVERIFY(chart.setPoints(4));
    QCOMPARE(chart.Points(), 4);
    for (int p = 0; p < 4; ++p) {
        QCOMPARE(chart.XDataII(0, p), 45000.0 + p);
        QCOMPARE(chart.YData(1, p), 1.5f * p);
    }
    QVERIFY(chart.setPoints(6));
    QCOMPARE(chart.YData(1, 3), 4.5f);
    QCOMPARE(chart.XDataII(0, 5), 0.0);
    QCOMPARE(chart.YData(1, 5), 9999.0f);
    QVERIFY(chart.setSubsets(3));
    QCOMPARE(chart.YData(1, 2), 3.0f);
    QCOMPARE(chart.YData(2, 0), 9999.0f);
    // Out of range: ignored and neutral.
    chart.setYData(7, 0, 1.0f);
    QCOMPARE(chart.YData(7, 0), 9999.0f);
    QVERIFY(!chart.setPoints(-1));
    QVERIFY(!chart.setPoints(MaxChartPoints + 1));
    QCOMPARE(chart.Points(), 6);
}

void TestChart::wholeArrayWritesArePointByPoint()
{
    Chart chart;
    chart.setSubsets(3);
    chart.setPoints(2);
    const double x[] = {1, 1, 1, 2, 2, 2};
    const float y[] = {10, 20, 30, 11, 21, 31, 99};  // one value too many: ignored
    chart.setXDataIIArray(x, 6);
    chart.setYDataArray(y, 7);
    QCOMPARE(chart.XDataII(2, 1), 2.0);
    QCOMPARE(chart.YData(0, 1), 11.0f);
    QCOMPARE(chart.YData(2, 0), 30.0f);
    QCOMPARE(chart.YData(2, 1), 31.0f);
}

void TestChart::shownSubsetsFollowTheList()
{
    Chart chart;
    chart.setSubsets(5);
    QVERIFY(chart.isSubsetShown(3));                    // no list yet: all shown
    chart.setRandomSubsetsToGraph(-1, 0);
    for (int s = 0; s < 5; ++s)
        QVERIFY(!chart.isSubsetShown(s));
    int next = 0;
    for (int s : {0, 2, 4})
        chart.setRandomSubsetsToGraph(next++, s);
    QCOMPARE(chart.RandomSubsetsToGraphCount(), 3);
    QCOMPARE(chart.RandomSubsetsToGraph(0), 0);
    QCOMPARE(chart.RandomSubsetsToGraph(1), 2);
    QCOMPARE(chart.RandomSubsetsToGraph(2), 4);
    QCOMPARE(chart.RandomSubsetsToGraph(3), -1);
    QVERIFY(chart.isSubsetShown(2));
    QVERIFY(!chart.isSubsetShown(1));
}

void TestChart::stackedAxes()
{
    Chart chart;
    chart.setSubsets(5);
    chart.resize(800, 600);
    chart.setMultiAxesSubsets(0, 1);
    chart.setMultiAxesSubsets(1, 2);
    chart.setMultiAxesSubsets(2, 2);
    chart.setMultiAxesProportions(0, 0.2);
    chart.setMultiAxesProportions(1, 0.4);
    chart.setMultiAxesProportions(2, 0.4);
    chart.show();
    chart.redrawNow();
    QCOMPARE(chart.axisCount(), 3);
    QCOMPARE(chart.axisOfSubset(0), 0);
    QCOMPARE(chart.axisOfSubset(2), 1);
    QCOMPARE(chart.axisOfSubset(4), 2);
    const QRect top = chart.axisRect(0), middle = chart.axisRect(1), bottom = chart.axisRect(2);
    QVERIFY(top.bottom() < middle.top() && middle.bottom() < bottom.top());
    QCOMPARE(top.left(), bottom.left());                 // the shared time axis lines up
    QVERIFY(middle.height() > top.height() * 3 / 2);
    QVERIFY(chart.plottingRect().contains(middle));

    chart.setMultiAxesSubsets(-1, 0);
    chart.setMultiAxesProportions(0, 1.0);
    chart.redrawNow();
    QCOMPARE(chart.axisCount(), 1);
    QCOMPARE(chart.MultiAxesSubsets(1), 0);
    QCOMPARE(chart.MultiAxesProportions(0), 1.0);
}

void TestChart::pixelConversionMatchesAxisRanges()
{
    Chart chart;
    chart.resize(700, 500);
    chart.setSubsets(1);
    chart.setManualScaleControlX(sgManualMinAndMax);
    chart.setManualMinX(100);
    chart.setManualMaxX(200);
    chart.setManualScaleControlY(sgManualMinAndMax);
    chart.setManualMinY(-10);
    chart.setManualMaxY(50);
    chart.show();
    chart.redrawNow();
    const QRect r = chart.plottingRect();
    QVERIFY(r.width() > 300 && r.height() > 200);
    double x = 0, y = 0;
    // Within a pixel and a half: the edge pixels of QCustomPlot's mapping.
    const double xPerPixel = 150.0 / r.width(), yPerPixel = 90.0 / r.height();
    chart.pixelToAxis0(r.topLeft(), &x, &y);
    QVERIFY(qAbs(x - 100) <= xPerPixel && qAbs(y - 50) <= yPerPixel);
    chart.pixelToAxis0(QPoint(r.left() + r.width(), r.top() + r.height()), &x, &y);
    QVERIFY(qAbs(x - 200) <= xPerPixel && qAbs(y + 10) <= yPerPixel);
    chart.pixelToAxis0(r.center(), &x, &y);
    QVERIFY(qAbs(x - 150) <= xPerPixel && qAbs(y - 20) <= yPerPixel);
    const QPointF back = chart.valueToPixel(0, 125, 5);
    chart.pixelToAxis0(back.toPoint(), &x, &y);
    QVERIFY(qAbs(x - 125) <= xPerPixel && qAbs(y - 5) <= yPerPixel);
}

void TestChart::dragZoomsAndUndoRestores()
{
    Chart chart;
    chart.resize(800, 500);
    kvtest::FillFullChart(chart, 100);
    chart.setMultiAxesSubsets(-1, 0);
    chart.setAllowZooming(sgHorzZooming);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.redrawNow();
    QSignalSpy zoomed(&chart, &Chart::OnZoomIn);
    QSignalSpy clicked(&chart, &Chart::OnClick);
    double lo0 = 0, hi0 = 0, ylo0 = 0, yhi0 = 0;
    chart.currentXRange(&lo0, &hi0);
    chart.currentYRange(0, &ylo0, &yhi0);
    QWidget *surface = PlotSurface(chart);
    QVERIFY(surface);
    const QRect r = chart.plottingRect();
    const QPoint from = r.center() - QPoint(r.width() / 4, 0), to = r.center() + QPoint(r.width() / 4, 0);
    QTest::mousePress(surface, Qt::LeftButton, {}, from);
    QTest::mouseMove(surface, from + QPoint(10, 0));
    QTest::mouseMove(surface, to);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
    QCOMPARE(zoomed.count(), 1);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(chart.isZoomed());
    double lo = 0, hi = 0;
    chart.currentXRange(&lo, &hi);
    QVERIFY(lo > lo0 && hi < hi0);
    QVERIFY(qAbs((hi - lo) / (hi0 - lo0) - 0.5) < 0.02);
    double ylo = 0, yhi = 0;
    chart.currentYRange(0, &ylo, &yhi);
    QCOMPARE(ylo, ylo0);                                 // horizontal zoom keeps Y
    QCOMPARE(yhi, yhi0);

    // While zoomed the wheel moves the view along the data, size kept.
    QWheelEvent wheel(QPointF(r.center()), QPointF(surface->mapToGlobal(r.center())), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface, &wheel);
    double slo = 0, shi = 0;
    chart.currentXRange(&slo, &shi);
    QVERIFY(slo > lo);
    QVERIFY(qAbs((shi - slo) - (hi - lo)) < 1e-9);

    chart.undoZoom();
    QVERIFY(!chart.isZoomed());
    chart.currentXRange(&lo, &hi);
    QCOMPARE(lo, lo0);
    QCOMPARE(hi, hi0);
}

void TestChart::clicksReportHotSpots()
{
    Chart chart;
    chart.resize(800, 500);
    kvtest::FillFullChart(chart, 100);
    chart.setMultiAxesSubsets(-1, 0);
    chart.setShowTableAnnotation(false);
    chart.setWorkingAxis(0);
    chart.setManualScaleControlY(sgManualMinAndMax);
    chart.setManualMinY(0);
    chart.setManualMaxY(80);
    chart.setAllowGraphAnnotHotSpots(true);
    chart.setAllowDataHotSpots(true);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.redrawNow();
    QWidget *surface = PlotSurface(chart);
    QSignalSpy clicked(&chart, &Chart::OnClick);
    QSignalSpy annot(&chart, &Chart::OnGraphAnnotHotSpot);
    QSignalSpy graphHot(&chart, &Chart::OnGraphHotSpot);
    QSignalSpy data(&chart, &Chart::OnDataHotSpot);

    const QPoint cross = chart.valueToPixel(0, chart.GraphAnnotationX(5), chart.GraphAnnotationY(5)).toPoint();
    QTest::mouseClick(surface, Qt::LeftButton, {}, cross);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(chart.lastMousePosition(), cross);
    QCOMPARE(graphHot.count(), 1);
    QCOMPARE(annot.count(), 1);
    QCOMPARE(annot.at(0).at(0).toBool(), false);
    QCOMPARE(annot.at(0).at(1).toInt(), 5);
    QTest::mouseDClick(surface, Qt::LeftButton, {}, cross);
    QCOMPARE(annot.last().at(0).toBool(), true);
    QCOMPARE(annot.last().at(1).toInt(), 5);

    const QPoint point = chart.valueToPixel(0, chart.XDataII(0, 60), chart.YData(0, 60)).toPoint();
    QTest::mouseClick(surface, Qt::LeftButton, {}, point);
    QCOMPARE(data.count(), 1);
    QCOMPARE(data.at(0).at(0).toInt(), 0);
    QVERIFY(qAbs(data.at(0).at(1).toInt() - 60) <= 1);
}

void TestChart::draggingMovesCursorsAndTable()
{
    Chart chart;
    chart.resize(800, 500);
    kvtest::FillFullChart(chart, 100);
    chart.setMultiAxesSubsets(-1, 0);
    chart.setTAMoveable(sgTAMoveable);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.redrawNow();
    QWidget *surface = PlotSurface(chart);
    QSignalSpy moved(&chart, &Chart::vertLineAnnotationMoved);
    QSignalSpy clicked(&chart, &Chart::OnClick);

    const QRect r = chart.plottingRect();
    const QPoint line(int(chart.valueToPixel(0, chart.VertLineAnnotation(0), 0).x()), r.center().y());
    const QPoint target = line + QPoint(120, 0);
    QTest::mousePress(surface, Qt::LeftButton, {}, line);
    QTest::mouseMove(surface, line + QPoint(10, 0));
    QTest::mouseMove(surface, target);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, target);
    QVERIFY(moved.count() >= 1);
    QCOMPARE(moved.last().at(0).toInt(), 0);
    double x = 0;
    chart.pixelToAxis0(target, &x, nullptr);
    QCOMPARE(chart.VertLineAnnotation(0), x);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(!chart.isZoomed());

    const QRect table = chart.tableAnnotationRect();
    QVERIFY(!table.isEmpty());
    const QPoint grip = table.center();
    QTest::mousePress(surface, Qt::LeftButton, {}, grip);
    QTest::mouseMove(surface, grip + QPoint(-10, 5));
    QTest::mouseMove(surface, grip + QPoint(-100, 40));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, grip + QPoint(-100, 40));
    QCOMPARE(chart.TALocation(), sgTAExplicit);
    QCOMPARE(chart.tableAnnotationRect().topLeft(), table.topLeft() + QPoint(-100, 40));
    QCOMPARE(QPoint(chart.TAX(), chart.TAY()), table.topLeft() + QPoint(-100, 40));
    QCOMPARE(clicked.count(), 0);
}

void TestChart::customizeAppliesOrCancels()
{
    Chart chart;
    kvtest::FillFullChart(chart, 20);
    const QByteArray before = chart.storeState();
    const float y03 = chart.YData(0, 3);
    QSignalSpy reported(&chart, &Chart::OnCustomizeDlg);

    // Apply, then Cancel: the chart returns to how it was.
    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("mainTitle"))->setText(QStringLiteral("Changed"));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Apply)->click();
        dialog->reject();
    });
    QCOMPARE(chart.customize(), 0);
    QCOMPARE(chart.DialogResult(), 0);
    QCOMPARE(chart.storeState(), before);

    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("mainTitle"))->setText(QStringLiteral("Changed"));
        dialog->findChild<QCheckBox *>(QStringLiteral("subsetShown1"))->setChecked(false);
        dialog->accept();
    });
    QCOMPARE(chart.customize(), 1);
    QCOMPARE(chart.DialogResult(), 1);
    QCOMPARE(chart.MainTitle(), QStringLiteral("Changed"));
    QVERIFY(!chart.isSubsetShown(1));
    QVERIFY(chart.isSubsetShown(2));
    QCOMPARE(chart.YData(0, 3), y03);                    // data untouched
    QCOMPARE(reported.count(), 2);

    // Pages can be switched off; the print page always stays.
    chart.setAllowPage1(false);
    chart.setAllowPage2(false);
    chart.setAllowFontPage(false);
    chart.setAllowSubsetsPage(false);
    chart.setAllowAxisPage(false);
    OnNextModal([](QDialog *dialog) {
        QVERIFY(!dialog->findChild<QLineEdit *>(QStringLiteral("mainTitle")));
        QVERIFY(dialog->findChild<QWidget *>(QStringLiteral("landscape")));
        dialog->reject();
    });
    chart.customize();
}

void TestChart::exportsPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("png") << "graph.png" << QByteArray("\x89PNG");
    QTest::newRow("jpeg") << "graph.JPG" << QByteArray("\xff\xd8\xff");
    QTest::newRow("pdf") << "graph.pdf" << QByteArray("%PDF");
    QTest::newRow("svg") << "graph.svg" << QByteArray("<?xml");
}

void TestChart::exportsPictures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, signature);
    QTemporaryDir dir;
    Chart chart;
    kvtest::FillFullChart(chart, 50);
    const QString path = dir.filePath(name);
    QString error;
    QVERIFY2(chart.exportImage(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.size() > 500);
    QCOMPARE(file.read(signature.size()), signature);
    QVERIFY(!chart.exportImage(dir.filePath(QStringLiteral("graph.bmpx")), &error));
    QVERIFY(error.contains(QLatin1String("bmpx")));
}

void TestChart::printsToPdf()
{
    QTemporaryDir dir;
    Chart chart;
    kvtest::FillFullChart(chart, 50);
    QCOMPARE(chart.DefOrientation(), sgLandscape);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("print.pdf")));
    printer.setPageOrientation(QPageLayout::Landscape);
    QVERIFY(chart.print(&printer));
    QFile file(printer.outputFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.size() > 1000);
    QCOMPARE(file.read(4), QByteArray("%PDF"));

    // A chart never shown prints at its default size scaled to the page:
    // its title and labels on the page, as tall as a label on paper.
    if (kvtest::PdfToTextProgram().isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QString error;
    const QList<kvtest::PdfPage> pages = kvtest::ReadPdfWords(printer.outputFileName(), &error);
    QVERIFY2(pages.size() == 1, qPrintable(error));
    QVERIFY2(pages.first().wordsOffPage().isEmpty(), qPrintable(pages.first().wordsOffPage().join(QLatin1String(", "))));
    for (const char *text : {"Run", "%RH", "POINT", "Time"})
        QVERIFY2(pages.first().find(QLatin1String(text)), text);
    QVERIFY2(pages.first().tallestWord() < 20, qPrintable(QString::number(pages.first().tallestWord())));
}

QTEST_MAIN(TestChart)
#include "tst_chart.moc"

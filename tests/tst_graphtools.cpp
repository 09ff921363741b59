// The graph tools: the Y axis dialog, the customisation kept as the graph
// template, notes and crosses with the shared numbering, the mouse read-out,
// the data-point marker, deleting and recolouring, the statistics table and
// picture export.
#include "app/prompt.h"
#include "chart/model/annotationcursor.h"
#include "chart/model/graphtemplate.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "realtime/datetime.h"
#include "tests/testsupport.h"
#include "ui/graphtools.h"
#include "ui/graphwindow.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QtTest>

#include <memory>

using namespace kv;

namespace {

const double Start = ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0)));
constexpr int Points = 60;
constexpr quint32 NoteColor = 0x3366cc;

// A shown chart set up as a new graph and filled, with the tools of one window.
struct Window {
    explicit Window(AnnotationCursor &shared) : cursor(shared)
    {
        chart.resize(800, 500);
        SetUpGraph(chart, 5, Points, Start, Start + Points * 2 * OneSecond, -10, 50);
        for (int p = 0; p < Points; ++p)
            for (int s = 0; s < 5; ++s) {
                chart.setXDataII(s, p, Start + p * 2 * OneSecond);
                chart.setYData(s, p, float(10 + 5 * s + p % 7));
            }
        chart.show();
        chart.redrawNow();
    }
    // Clicks the chart at a point in chart pixels.
    void click(const QPoint &at)
    {
        QWidget *surface = Surface();
        QTest::mouseClick(surface, Qt::LeftButton, {}, at - surface->pos());
    }
    QWidget *Surface()
    {
        for (QObject *child : chart.children())
            if (auto *w = qobject_cast<QWidget *>(child); w && w->inherits("QCustomPlot"))
                return w;
        return nullptr;
    }

    AnnotationCursor &cursor;
    quint32 color = NoteColor;
    Chart chart;
    QLabel readout{&chart};
    GraphTools tools{chart, cursor, color, readout};
};

// Fills the Y axis dialog and closes it with OK.
std::function<int(QDialog &)> ScaleAnswer(const QString &minimum, const QString &maximum, bool save = false)
{
    return [=](QDialog &dialog) {
        dialog.findChild<QLineEdit *>("edtT1Min")->setText(minimum);
        dialog.findChild<QLineEdit *>("edtT1Max")->setText(maximum);
        dialog.findChild<QCheckBox *>("chkSave")->setChecked(save);
        return int(QDialog::Accepted);
    };
}

std::function<int(QDialog &)> NoteAnswer(const QString &text, int result = QDialog::Accepted)
{
    return [=](QDialog &dialog) {
        dialog.findChild<QLineEdit *>("Edit1")->setText(text);
        return result;
    };
}

template<typename Action> void OnNextModal(Action action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

} // namespace

class TestGraphTools : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }
    void init()
    {
        m_prompts = std::make_unique<ScriptedPrompts>();
        SetPrompts(m_prompts.get());
    }
    void cleanup()
    {
        SetPrompts(nullptr);
        QDir(QFileInfo(UserGraphTemplatePath()).path()).removeRecursively();
        QFile::remove(QFileInfo(UserGraphTemplatePath()).path());
    }

    void scaleDialogShowsTruncatedRange()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        w.chart.setManualMinY(-10.7);
        w.chart.setManualMaxY(50.9);
        QString shownMin, shownMax, title, saveText;
        bool bold = false;
        QColor saveColor;
        m_prompts->dialogs.push_back([&](QDialog &dialog) {
            shownMin = dialog.findChild<QLineEdit *>("edtT1Min")->text();
            shownMax = dialog.findChild<QLineEdit *>("edtT1Max")->text();
            title = dialog.windowTitle();
            auto *save = dialog.findChild<QCheckBox *>("chkSave");
            saveText = save->text();
            bold = save->font().bold();
            dialog.ensurePolished();
            save->ensurePolished();
            saveColor = save->palette().color(save->foregroundRole());
            return int(QDialog::Rejected);
        });
        w.tools.changeYScale();
        QCOMPARE(shownMin, QString("-10"));
        QCOMPARE(shownMax, QString("50"));
        QCOMPARE(title, QString("Y Axis Maximum And Minimum Scale Setup"));
        QCOMPARE(saveText, QString("Save this setting "));
        QVERIFY(bold);
        QCOMPARE(saveColor, QColor(Qt::red));
        QCOMPARE(w.chart.ManualMinY(), -10.7);
    }

    void scaleRefusesInvalidText_data()
    {
        QTest::addColumn<QString>("minimum");
        QTest::addColumn<QString>("maximum");
        QTest::addColumn<QString>("message");
        QTest::newRow("max") << "5" << "abc" << "abc is invalid.";
        QTest::newRow("both: the MIN text") << "x1" << "abc" << "x1 is invalid.";
        QTest::newRow("decimal min") << "1.5" << "20" << "1.5 is invalid.";
        QTest::newRow("empty max") << "0" << "" << " is invalid.";
    }
    void scaleRefusesInvalidText()
    {
        QFETCH(QString, minimum);
        QFETCH(QString, maximum);
        QFETCH(QString, message);
        AnnotationCursor cursor;
        Window w(cursor);
        m_prompts->dialogs.push_back(ScaleAnswer(minimum, maximum, true));
        w.tools.changeYScale();
        QCOMPARE(m_prompts->shown, QStringList{message});
        QCOMPARE(w.chart.ManualMinY(), -10.0);
        QCOMPARE(w.chart.ManualMaxY(), 50.0);
        QVERIFY(!QFile::exists(UserGraphTemplatePath()));
    }

    void scaleAcceptsMinAboveMax()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        m_prompts->dialogs.push_back(ScaleAnswer("60", "-5"));
        w.tools.changeYScale();
        QVERIFY(m_prompts->shown.isEmpty());
        QCOMPARE(w.chart.ManualMinY(), 60.0);
        QCOMPARE(w.chart.ManualMaxY(), -5.0);
        w.chart.redrawNow();
        double lower = 0, upper = 0;
        w.chart.currentYRange(0, &lower, &upper);
        QCOMPARE(lower, -5.0);
        QCOMPARE(upper, 60.0);
    }

    // "Save this setting ": new graphs take the range, a graph file keeps its own.
    void savedScaleReachesNewGraphsOnly()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("own.ghf");
        AnnotationCursor cursor;
        Window w(cursor);
        w.chart.setManualMinY(0);
        w.chart.setManualMaxY(30);
        QVERIFY(WriteGraphFile(w.chart, file, nullptr));

        m_prompts->dialogs.push_back(ScaleAnswer("5", "45", true));
        w.tools.changeYScale();
        QVERIFY(QFile::exists(UserGraphTemplatePath()));

        Chart next;     // as the next real-time graph is set up
        SetUpGraph(next, 5, 100, Start, Start + 110 * OneSecond, -10, 50);
        QCOMPARE(next.ManualMinY(), 5.0);
        QCOMPARE(next.ManualMaxY(), 45.0);
        QCOMPARE(next.ManualMinX(), Start);
        Chart opened;
        QVERIFY(ReadGraphFile(opened, file, nullptr));
        QCOMPARE(opened.ManualMinY(), 0.0);
        QCOMPARE(opened.ManualMaxY(), 30.0);
        QVERIFY(m_prompts->shown.isEmpty());
    }

    // A template the program ships is read only while the user has none.
    void userTemplateBeforeShippedOne()
    {
        const QString shipped = ShippedGraphTemplatePath();
        QVERIFY(QDir().mkpath(QFileInfo(shipped).path()));
        Chart look;
        look.setMainTitle("shipped");
        QVERIFY(WriteGraphFile(look, shipped, nullptr));
        QCOMPARE(GraphTemplateToRead(), shipped);
        QVERIFY(QDir().mkpath(QFileInfo(UserGraphTemplatePath()).path()));
        QVERIFY(WriteGraphFile(look, UserGraphTemplatePath(), nullptr));
        QCOMPARE(GraphTemplateToRead(), UserGraphTemplatePath());
        QFile::remove(shipped);
        QDir().rmdir(QFileInfo(shipped).path());
    }

    void unwritableTemplateIsReported()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        // A file where the template folder should be.
        const QString folder = QFileInfo(UserGraphTemplatePath()).path();
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_prompts->dialogs.push_back(ScaleAnswer("1", "2", true));
        w.tools.changeYScale();
        QCOMPARE(m_prompts->shown.size(), 1);
        QVERIFY(m_prompts->shown.first().contains("graph.ghf"));
        QCOMPARE(w.chart.ManualMaxY(), 2.0);    // the chart on screen is unaffected
    }

    void graphOptionKeepsTimeRange_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("kept as template") << true;
        QTest::newRow("not kept") << false;
    }
    void graphOptionKeepsTimeRange()
    {
        QFETCH(bool, keep);
        AnnotationCursor cursor;
        Window w(cursor);
        w.chart.setAllowAxisPage(true);
        const double minX = w.chart.ManualMinX(), maxX = w.chart.ManualMaxX();
        m_prompts->answers.push_back(keep ? Answer::Yes : Answer::No);
        OnNextModal([](QDialog *dialog) {
            auto *from = dialog->findChild<QDateTimeEdit *>("minX");
            QVERIFY(from);
            from->setDateTime(from->dateTime().addDays(-3));
            dialog->findChild<QLineEdit *>("mainTitle")->setText("Customised");
            dialog->accept();
        });
        w.tools.customize();
        QCOMPARE(m_prompts->shown, QStringList{"Do you want to save the changes ?"});
        QCOMPARE(w.chart.MainTitle(), QString("Customised"));
        QCOMPARE(w.chart.ManualMinX(), minX);
        QCOMPARE(w.chart.ManualMaxX(), maxX);
        QCOMPARE(QFile::exists(UserGraphTemplatePath()), keep);
    }

    void cursorTools()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        w.tools.chooseTool(AnnotationTool::Cross);
        QCOMPARE(cursor.tool(), AnnotationTool::Cross);
        QCOMPARE(w.chart.ArrowCursor(), ArrowCursorPicture);
        const QCursor cross = GraphTools::CrossCursor();
        QCOMPARE(cross.pixmap().size(), QSize(32, 32));
        QCOMPARE(cross.hotSpot(), QPoint(0, 0));
        w.tools.chooseTool(AnnotationTool::Text);
        QCOMPARE(w.chart.ArrowCursor(), ArrowCursorText);
        w.tools.chooseTool(AnnotationTool::Normal);
        QCOMPARE(w.chart.ArrowCursor(), ArrowCursorNormal);
        w.click(w.chart.plottingRect().center());
        QVERIFY(w.chart.graphAnnotationIndexes().isEmpty());
    }

    // The offset position is tested against the plot, its edge included.
    void placesNotesAtOffsets_data()
    {
        QTest::addColumn<bool>("text");
        QTest::addColumn<QPoint>("fromTopLeft");
        QTest::addColumn<bool>("placed");
        QTest::newRow("text 1 left, 7 above") << true << QPoint(-1, -7) << true;
        QTest::newRow("text 2 left") << true << QPoint(-2, -7) << false;
        QTest::newRow("text 8 above") << true << QPoint(-1, -8) << false;
        QTest::newRow("cross 15 left, 15 above") << false << QPoint(-15, -15) << true;
        QTest::newRow("cross 16 above") << false << QPoint(-15, -16) << false;
    }
    void placesNotesAtOffsets()
    {
        QFETCH(bool, text);
        QFETCH(QPoint, fromTopLeft);
        QFETCH(bool, placed);
        AnnotationCursor cursor;
        Window w(cursor);
        w.tools.chooseTool(text ? AnnotationTool::Text : AnnotationTool::Cross);
        if (text)
            m_prompts->dialogs.push_back(NoteAnswer("Door opened"));
        const QRect plot = w.chart.plottingRect();
        w.click(plot.topLeft() + fromTopLeft);
        QCOMPARE(w.chart.graphAnnotationIndexes(), placed ? QList<int>{4} : QList<int>{});
        QCOMPARE(cursor.lastIndex(), placed ? 4 : 3);
        QCOMPARE(m_prompts->unexpected, 0);
        if (!placed)
            return;
        QCOMPARE(w.chart.GraphAnnotationType(4), text ? sgAnnotNoSymbol : sgAnnotCross);
        QCOMPARE(w.chart.GraphAnnotationText(4), text ? QString("Door opened") : QString());
        QCOMPARE(w.chart.GraphAnnotationColor(4), QColor(0x33, 0x66, 0xcc));
        double x = 0, y = 0;
        w.chart.pixelToAxis0(plot.topLeft(), &x, &y);
        QCOMPARE(w.chart.GraphAnnotationX(4), x);
        QCOMPARE(w.chart.GraphAnnotationY(4), y);
    }

    void cancelledNoteLeavesIndex()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        w.tools.chooseTool(AnnotationTool::Text);
        m_prompts->dialogs.push_back(NoteAnswer("never", QDialog::Rejected));
        w.click(w.chart.plottingRect().center());
        QCOMPARE(cursor.lastIndex(), 3);
        QVERIFY(w.chart.graphAnnotationIndexes().isEmpty());
    }

    void numberingIsSharedByWindows()
    {
        AnnotationCursor cursor;
        Window first(cursor), second(cursor);
        first.tools.chooseTool(AnnotationTool::Cross);
        first.click(first.chart.plottingRect().center());
        QCOMPARE(first.chart.graphAnnotationIndexes(), QList<int>{4});
        // The tool is shared too: the second window places a note in text mode.
        second.tools.chooseTool(AnnotationTool::Text);
        m_prompts->dialogs.push_back(NoteAnswer("second"));
        second.click(second.chart.plottingRect().center());
        QCOMPARE(second.chart.graphAnnotationIndexes(), QList<int>{5});
        QCOMPARE(second.chart.GraphAnnotationText(5), QString("second"));
    }

    void readoutShowsValueAndTime()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        const QPoint at = w.chart.valueToPixel(0, Start + 75 * OneSecond, 23.5).toPoint();
        QTest::mouseMove(w.Surface(), at - w.Surface()->pos());
        double x = 0, y = 0;
        w.chart.pixelToAxis0(at, &x, &y);
        QCOMPARE(w.readout.text(), QString::number(y, 'f', 1) + "@" + TimeText(x));
        QVERIFY(w.readout.text().startsWith("23."));
        QVERIFY(w.readout.text().contains("@10:01:1"));
        const QString inside = w.readout.text();
        QTest::mouseMove(w.Surface(), QPoint(2, 2));   // outside the plot: kept
        QCOMPARE(w.readout.text(), inside);
    }

    void markerDeleteAndRecolour()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        w.chart.setAllowDataHotSpots(true);
        w.chart.redrawNow();
        const QPoint point = w.chart.valueToPixel(0, w.chart.XDataII(0, 30), w.chart.YData(0, 30)).toPoint();
        w.click(point);
        QCOMPARE(w.chart.GraphAnnotationType(2), sgAnnotCross);
        QCOMPARE(w.chart.GraphAnnotationColor(2), QColor(Qt::black));
        QCOMPARE(w.chart.GraphAnnotationText(2),
                 TimeText(w.chart.XDataII(0, 30)) + "\r" + QString::number(w.chart.YData(0, 30), 'f', 1));

        w.tools.chooseTool(AnnotationTool::Cross);
        w.click(w.chart.plottingRect().center() - QPoint(100, 60));
        QCOMPARE(cursor.lastIndex(), 4);
        m_prompts->colors.push_back(QColor(0, 200, 0));
        w.tools.recolourAnnotations();
        QCOMPARE(w.chart.GraphAnnotationColor(2), QColor(0, 200, 0));
        QCOMPARE(w.chart.GraphAnnotationColor(4), QColor(0, 200, 0));
        QCOMPARE(w.color, 0x00c800u);

        // A single click on a note only hints; a double click deletes it.
        w.tools.chooseTool(AnnotationTool::Normal);
        const QPoint note = w.chart.valueToPixel(0, w.chart.GraphAnnotationX(4), w.chart.GraphAnnotationY(4)).toPoint();
        w.click(note);
        QCOMPARE(w.chart.toolTip(), QString("Double click to delete."));
        QVERIFY(w.chart.graphAnnotationIndexes().contains(4));
        QTest::mouseDClick(w.Surface(), Qt::LeftButton, {}, note - w.Surface()->pos());
        QVERIFY(!w.chart.graphAnnotationIndexes().contains(4));
        QVERIFY(w.chart.graphAnnotationIndexes().contains(2));
    }

    // The data-point marker writes its value as the read-out does (ValueText),
    // with the locale's decimal separator.
    void markerValueFollowsLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("value");
        QTest::newRow("C") << "C" << "13.0";
        QTest::newRow("de_DE") << "de_DE" << "13,0";
        QTest::newRow("fr_FR") << "fr_FR" << "13,0";
    }
    void markerValueFollowsLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, value);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
        AnnotationCursor cursor;
        Window w(cursor);
        w.tools.markDataPoint(0, 3);   // 10 + 3 % 7
        const QString text = w.chart.GraphAnnotationText(2);
        QCOMPARE(text, TimeText(w.chart.XDataII(0, 3)) + "\r" + value);
    }

    void statisticsTableAndNotesSurviveSaving()
    {
        AnnotationCursor cursor;
        Window w(cursor);
        GraphTools::StatisticsTexts texts;
        for (int i = 0; i < GraphTools::StatisticsRows; ++i)
            texts[size_t(i)] = QString("value %1").arg(i);
        w.tools.setStatisticsSource([texts] { return texts; });
        w.tools.showStatisticsTable();
        Chart &c = w.chart;
        QCOMPARE(c.TARows(), 15);
        QCOMPARE(c.TAColumns(), 2);
        QCOMPARE(c.TAText(0, 0), QString("Start Time:"));
        QCOMPARE(c.TAText(1, 0), QString("Sampling:"));
        QCOMPARE(c.TAText(11, 0), QString("T2 AVG:"));
        QCOMPARE(c.TAText(11, 1), QString("value 11"));
        QCOMPARE(c.TAText(12, 0), QString());
        QCOMPARE(c.TAColor(14, 1), QColor(255, 0, 0, 255));
        QCOMPARE(QPoint(c.TAX(), c.TAY()), QPoint(550, 50));
        QCOMPARE(c.TALocation(), sgTAExplicit);
        QCOMPARE(c.TAMoveable(), sgTAMoveableNoHotSpots);
        QCOMPARE(c.TABackColor(), QColor(255, 255, 255, 129));
        QCOMPARE(c.TABorder(), sgInset);
        QCOMPARE(c.TATextSize(), 60);
        QVERIFY(c.ShowTableAnnotation());
        // A snapshot: later changes of the boxes do not reach it.
        w.tools.setStatisticsSource([] { return GraphTools::StatisticsTexts{}; });
        QCOMPARE(c.TAText(11, 1), QString("value 11"));

        w.tools.chooseTool(AnnotationTool::Text);
        m_prompts->dialogs.push_back(NoteAnswer("kept"));
        w.click(c.plottingRect().center());
        QTemporaryDir dir;
        const QString file = dir.filePath("notes.ghf");
        QVERIFY(WriteGraphFile(c, file, nullptr));
        Chart reopened;
        QVERIFY(ReadGraphFile(reopened, file, nullptr));
        QCOMPARE(reopened.GraphAnnotationText(4), QString("kept"));
        QCOMPARE(reopened.GraphAnnotationX(4), c.GraphAnnotationX(4));
        QCOMPARE(reopened.TAText(5, 1), QString("value 5"));
        QVERIFY(reopened.ShowTableAnnotation());
    }

    void exportsPictureByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("signature");
        QTest::newRow("png") << "graph.png" << QByteArray("\x89PNG");
        QTest::newRow("pdf") << "graph.PDF" << QByteArray("%PDF");
        QTest::newRow("missing folder") << "no/such/graph.png" << QByteArray();
    }
    void exportsPictureByExtension()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, signature);
        QTemporaryDir dir;
        AnnotationCursor cursor;
        Window w(cursor);
        m_prompts->fileNames.push_back(dir.filePath(name));
        QCOMPARE(w.tools.exportPicture(dir.path()), !signature.isEmpty());
        QCOMPARE(m_prompts->fileRequests.size(), 1);
        QVERIFY(m_prompts->fileRequests.first().filter.contains("*.svg"));
        if (signature.isEmpty()) {
            QCOMPARE(m_prompts->shown.size(), 1);
            QVERIFY(m_prompts->shown.first().contains("graph.png"));
            return;
        }
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(signature.size()), signature);
    }

private:
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

QTEST_MAIN(TestGraphTools)
#include "tst_graphtools.moc"

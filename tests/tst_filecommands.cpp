// The file commands of the main window: the table window, opening text and
// graph files, saving tables, drawing a table as a graph, printing.
#include "app/prompt.h"
#include "app/settings.h"
#include "chart/model/graphfile.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/view/customizedialog.h"
#include "realtime/datetime.h"
#include "realtime/statistics.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/mainwindowrig.h"
#include "tests/support/pdftext.h"
#include "tests/testsupport.h"
#include "ui/filecommands.h"
#include "ui/graphwindow.h"
#include "ui/interactiveprompts.h"
#include "ui/maindocuments.h"
#include "ui/mainwindow.h"
#include "ui/rangedialog.h"
#include "ui/tablewindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QScrollBar>
#include <QtTest>

#include <cmath>

using namespace kv;

namespace {

const double Start = ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0)));

// The main window's side of the commands, with the active child set by the test.
class TestHost : public DocumentHost {
public:
    explicit TestHost(MainWindow &main) : m_main(main) {}
    QWidget *active = nullptr;
    QList<QPointer<QWidget>> made;

    QWidget *dialogParent() override { return &m_main; }
    QWidget *activeDocument() const override { return active; }
    QString initialFolder() const override { return QStringLiteral("/start/folder"); }
    GraphWindow *createGraphWindow(const QString &caption) override
    {
        auto *g = new GraphWindow(caption, m_main.recorder(), m_main.annotationCursor(), m_main.settings());
        m_main.addChild(g);
        made << g;
        return g;
    }
    TableWindow *createTableWindow(const QString &caption) override
    {
        auto *t = new TableWindow(caption);
        m_main.addChild(t)->show();
        made << t;
        return t;
    }
    void showDocument(QWidget *window) override
    {
        if (QWidget *frame = window->parentWidget())
            frame->showNormal();
        window->show();
    }
    QRect openedGraphGeometry() const override { return QRect(0, 0, 700, 460); }

private:
    MainWindow &m_main;
};

struct Rig : kvtest::MainWindowRig {
    TestHost host{main};
    FileCommands commands{host};
};

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString DateField(const QDate &date) { return QLocale().toString(date, ShortDateFormat()); }

// Range dialog script: "&All".
int AllRows(QDialog &d)
{
    child<QRadioButton>(d, "radAll")->setChecked(true);
    return RangeDialog::ResultOk;
}

TableWindow *TableOf(Rig &rig, const QByteArray &bytes, const QString &path)
{
    WriteFile(path, bytes);
    rig.prompts.fileNames.push_back(path);
    return qobject_cast<TableWindow *>(rig.commands.openSingleDataFile());
}

} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        QLocale::setDefault(QLocale::c());
    }

    void tableWindow()
    {
        Rig rig;
        rig.main.resize(900, 700);
        rig.main.show();
        const QString date = DateField(QDate(2024, 5, 3));
        QByteArray bytes;
        for (int i = 0; i < 30; ++i)
            bytes += date.toUtf8() + "\t10:00:" + QByteArray::number(10 + i) + "\t45.2\t21.7\t OL\t -OL\t9.3\t\r\n";
        TableWindow *table = TableOf(rig, bytes, m_dir.filePath("look.txt"));
        QVERIFY(table);
        QCOMPARE(table->windowTitle(), QDir::toNativeSeparators(m_dir.filePath("look.txt")));
        QTableView *grid = table->findChild<QTableView *>("Grid1");
        QVERIFY(grid);
        QCOMPARE(grid->model()->columnCount(), 8);
        QCOMPARE(grid->model()->rowCount(), 30);
        QStringList titles;
        for (int c = 0; c < 8; ++c)
            titles << grid->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"No", "Date", "Time", "%RH", "T1", "T2", "WET BULB", "DEW POINT"}));
        QCOMPARE(grid->model()->index(29, 0).data().toString(), QStringLiteral("30"));
        QCOMPARE(grid->model()->index(0, 5).data().toString(), QStringLiteral(" OL"));
        QCOMPARE(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
        QCOMPARE(grid->verticalHeader()->defaultSectionSize(), 18);
        QVERIFY(grid->editTriggers() == QAbstractItemView::NoEditTriggers);

        // Activation inside the document area is reported.
        QSignalSpy activated(table, &TableWindow::activated);
        auto *other = new QWidget;
        rig.main.addChild(other)->show();
        child<QMdiArea>(rig.main, "MdiArea")->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(other->parentWidget()));
        child<QMdiArea>(rig.main, "MdiArea")->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(table->parentWidget()));
        QVERIFY(activated.count() >= 1);

        table->parentWidget()->resize(560, 420);
        QVERIFY(table->grab().save(m_dir.filePath("tablewindow.png")));
        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES"))
            table->grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/tablewindow.png");
    }

    // The row numbers stay at the left while the other columns scroll, follow
    // the rows up and down, and never hide the current cell.
    void numberColumnStaysInView()
    {
        Rig rig;
        rig.main.resize(900, 700);
        rig.main.show();
        const QString date = DateField(QDate(2024, 5, 3));
        QByteArray bytes;
        for (int i = 0; i < 200; ++i)
            bytes += date.toUtf8() + "\t10:00:00\t45.2\t21.7\t22.0\t15.1\t9.3\r\n";
        TableWindow *table = TableOf(rig, bytes, m_dir.filePath("wide.txt"));
        QVERIFY(table);
        table->parentWidget()->resize(300, 300);
        QVERIFY(QTest::qWaitForWindowExposed(table));
        QTableView *grid = child<QTableView>(table, "Grid1");
        auto *numbers = table->findChild<QTableView *>(QStringLiteral("Grid1FixedColumn"));
        QVERIFY(numbers);
        QVERIFY(numbers->isVisible());
        QCOMPARE(numbers->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("No"));

        grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
        grid->verticalScrollBar()->setValue(50);
        QVERIFY(grid->columnViewportPosition(0) < 0);   // the grid's own column 0 is out of view
        QCOMPARE(numbers->geometry().left(), grid->viewport()->geometry().left());
        QCOMPARE(numbers->width(), grid->columnWidth(0));
        QCOMPARE(numbers->rowAt(0), grid->rowAt(0));
        QCOMPARE(numbers->indexAt(QPoint(5, 5)).data().toString(), QString::number(grid->rowAt(0) + 1));
        for (int c = 1; c < 8; ++c)
            QVERIFY(numbers->isColumnHidden(c));

        // Scrolling the numbers (the mouse wheel over them) moves the table too.
        numbers->verticalScrollBar()->setValue(120);
        QCOMPARE(grid->verticalScrollBar()->value(), 120);
        // A wider number column widens the fixed one.
        grid->setColumnWidth(0, 70);
        QCOMPARE(numbers->width(), 70);

        // Moving left to column 1 scrolls it out from under the numbers.
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(grid->rowAt(0) + 1, 3));
        grid->horizontalScrollBar()->setValue(grid->columnViewportPosition(3) + grid->horizontalScrollBar()->value()
                                              - grid->columnWidth(0) / 2);
        QTest::keyClick(grid, Qt::Key_Left);
        QTest::keyClick(grid, Qt::Key_Left);
        QCOMPARE(grid->currentIndex().column(), 1);
        QVERIFY(grid->visualRect(grid->currentIndex()).left() >= numbers->width());

        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES"))
            table->grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/tablewindow-scrolled.png");
    }

    void openTextFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows");
        QTest::newRow(".txt, TAB") << "a.txt" << QByteArray("d\tt\t1.0\t\r\nd\tt\t2.0\t\r\n") << 2;
        QTest::newRow(".Csv, comma") << "b.Csv" << QByteArray("d,t,1.0,\r\nd,t,2.0,\r\n") << 2;
        QTest::newRow(".CSV holding TABs") << "c.CSV" << QByteArray("d\tt\t1.0\t\r\n") << 0;
        QTest::newRow("empty file") << "d.TXT" << QByteArray() << 0;
    }
    void openTextFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        Rig rig;
        TableWindow *table = TableOf(rig, bytes, m_dir.filePath(name));
        QVERIFY(table);
        QCOMPARE(table->table().rows(), rows);
        if (rows > 0)
            QCOMPARE(table->table().field(1, 3), QStringLiteral("2.0"));
        const FileDialogRequest request = rig.prompts.fileRequests.constFirst();
        QCOMPARE(request.folder, QStringLiteral("/start/folder"));
        QCOMPARE(request.filter,
                 QStringLiteral("Graph file(*.ghf,only for KV3917) (*.GHF *.ghf);;TXT file(*.txt,data seperated by "
                                "tab) (*.TXT *.txt);;EXCEL file format(*.CSV,seperated by comma) (*.CSV *.csv)"));
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing text file") << "missing.txt" << QByteArray() << "Cannot open";
        QTest::newRow("missing graph file") << "missing.GHF" << QByteArray() << "Cannot open";
        QTest::newRow("graph file of 3 bytes") << "short.ghf" << QByteArray("abc") << "too short";
        QTest::newRow("length beyond the data") << "cut.ghf" << QByteArray("\x10\0\0\0abc", 7) << "shorter";
        QTest::newRow("not a chart") << "junk.ghf" << QByteArray("\x03\0\0\0abc", 7) << "not a graph file";
    }
    void openFailures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Rig rig;
        const QString path = m_dir.filePath(name);
        if (!bytes.isEmpty())
            WriteFile(path, bytes);
        rig.prompts.fileNames.push_back(path);
        QCOMPARE(rig.commands.openSingleDataFile(), nullptr);
        QVERIFY(rig.host.made.isEmpty());
        QCOMPARE(rig.prompts.shown.size(), 1);
        QVERIFY2(rig.prompts.shown.first().contains(QDir::toNativeSeparators(path)), qPrintable(rig.prompts.shown.first()));
        QVERIFY2(rig.prompts.shown.first().contains(reason), qPrintable(rig.prompts.shown.first()));
    }

    // A graph file opens as a new window with the same data and settings,
    // whatever the case of its extension.
    void graphFileRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("split");
        QTest::newRow(".GHF") << "run.GHF" << false;
        QTest::newRow(".ghf") << "run.ghf" << false;
        QTest::newRow(".Ghf, split") << "run.Ghf" << true;
    }
    void graphFileRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(bool, split);
        Rig rig;
        auto *source = rig.host.createGraphWindow(QStringLiteral("table"));
        Chart &chart = source->chart();
        SetUpGraph(chart, 5, 20, Start, Start + 40 * OneSecond, -20, 100);
        for (int p = 0; p < 20; ++p)
            for (int s = 0; s < 5; ++s) {
                chart.setXDataII(s, p, Start + 2 * p * OneSecond);
                chart.setYData(s, p, float(10 * s + p));
            }
        chart.setGraphBackColor(QColor(10, 20, 30));
        chart.setMainTitle(QStringLiteral("Hall 3"));
        source->setSplitView(false);
        source->setSplitView(split);
        const QString path = m_dir.filePath(name);
        QString error;
        QVERIFY2(WriteGraphFile(chart, path, &error), qPrintable(error));

        rig.prompts.fileNames.push_back(path);
        auto *opened = qobject_cast<GraphWindow *>(rig.commands.openSingleDataFile());
        QVERIFY(opened);
        QVERIFY(opened != source);
        QCOMPARE(opened->windowTitle(), QDir::toNativeSeparators(path));
        Chart &copy = opened->chart();
        QCOMPARE(copy.Points(), 20);
        QCOMPARE(copy.YData(4, 19), 59.0f);
        QCOMPARE(copy.XDataII(0, 19), Start + 38 * OneSecond);
        QCOMPARE(copy.GraphBackColor(), QColor(10, 20, 30));
        QCOMPARE(copy.MainTitle(), QStringLiteral("Hall 3"));
        QCOMPARE(child<QCheckBox>(opened, "chkSplit")->isChecked(), split);
        QCOMPARE(copy.MultiAxesSubsets(1), split ? 2 : 0);
        QCOMPARE(child<QToolButton>(opened, "ToolButton5")->isEnabled(), !split);
        QVERIFY(copy.AllowGraphAnnotHotSpots());
        QCOMPARE(child<QLineEdit>(opened, "txtDataNo")->text(), QStringLiteral("20"));
        QCOMPARE(opened->parentWidget()->geometry(), QRect(0, 0, 700, 460));
    }

    void saveTables_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow(".Csv") << "out.Csv" << QByteArray("d,t,1.0, OL,,,,\r\nd,t,2.0,,,,,\r\n");
        QTest::newRow(".txt") << "out.txt" << QByteArray("d\tt\t1.0\t OL\t\t\t\t\r\nd\tt\t2.0\t\t\t\t\t\r\n");
    }
    void saveTables()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, expected);
        Rig rig;
        TableWindow *table = TableOf(rig, "d\tt\t1.0\t OL\r\nd\tt\t2.0\r\n", m_dir.filePath("in.txt"));
        rig.host.active = table;
        const QString out = m_dir.filePath(name);
        rig.prompts.fileNames.push_back(out);
        rig.prompts.dialogs.push_back(AllRows);
        rig.commands.save();
        QCOMPARE(ReadAll(out), expected);
        const FileDialogRequest request = rig.prompts.fileRequests.last();
        QCOMPARE(request.defaultSuffix, QStringLiteral("TXT"));
        QCOMPARE(request.folder, QStringLiteral("/start/folder"));
        QCOMPARE(request.filter, QStringLiteral("TXT file(*.txt,data seperated by tab) (*.TXT *.txt);;EXCEL file "
                                                "format(*.CSV,seperated by comma)  (*.CSV *.csv)"));
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    // A table that cannot be written is reported by name and reason; a
    // cancelled export leaves an existing file as it was.
    void saveTableFailures()
    {
        Rig rig;
        TableWindow *table = TableOf(rig, "d\tt\t1.0\r\nd\tt\t2.0\r\n", m_dir.filePath("in2.txt"));
        rig.host.active = table;
        const QString missing = m_dir.filePath("no/such/folder/out.txt");
        rig.prompts.fileNames.push_back(missing);
        rig.prompts.dialogs.push_back(AllRows);
        rig.commands.save();
        QCOMPARE(rig.prompts.shown.size(), 1);
        QVERIFY(rig.prompts.shown.first().contains(QDir::toNativeSeparators(missing)));
        QVERIFY(!QFile::exists(missing));

        const QString existing = m_dir.filePath("existing.txt");
        WriteFile(existing, "old contents\r\n");
        rig.prompts.fileNames.push_back(existing);
        rig.prompts.dialogs.push_back(AllRows);
        // Cancel as soon as the progress dialog handles events.
        QTimer::singleShot(0, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *scope = qobject_cast<RangeDialog *>(w); scope && scope->isVisible())
                    child<QPushButton>(scope, "BitBtn2")->click();
        });
        rig.commands.save();
        QCOMPARE(ReadAll(existing), QByteArray("old contents\r\n"));
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    void tableToGraph()
    {
        Rig rig;
        const QString d = DateField(QDate(2024, 5, 3)).toUtf8();
        const QByteArray bytes = (d + "\t10:00:00\t OL\t21.5\t -OL\t OL\t -OL\r\n"
                                  + "\t10:00:02\t1\t2\t3\t4\t5\r\n"
                                  + d + "\t10:00:04\t45.5\tabc\t22.0\t10.0\tabc\r\n").toUtf8();
        TableWindow *table = TableOf(rig, bytes, m_dir.filePath("markers.txt"));
        rig.host.active = table;
        rig.commands.outputTableToGraph();
        GraphWindow *first = rig.commands.outputTableToGraph();
        QVERIFY(first);
        QCOMPARE(rig.host.made.size(), 3);   // the table and two graphs
        QVERIFY(rig.host.made.at(1) != rig.host.made.at(2));
        QCOMPARE(first->windowTitle(), table->windowTitle());
        const Chart &c = first->chart();
        QCOMPARE(c.Points(), 3);
        const float row0[5] = {9000, 21.5f, -9000, 9999, 9999};
        const float row2[5] = {45.5f, 9000, 22.0f, 10.0f, 9999};
        for (int s = 0; s < 5; ++s) {
            QCOMPARE(c.YData(s, 0), row0[s]);
            QCOMPARE(c.YData(s, 1), 9999.0f);   // the row without a date is skipped
            QCOMPARE(c.XDataII(s, 1), 0.0);
            QCOMPARE(c.YData(s, 2), row2[s]);
            QCOMPARE(c.XDataII(s, 2), Start + 4 * OneSecond);
        }
        QCOMPARE(c.ManualMinX(), Start);
        QCOMPARE(c.ManualMaxX(), Start + 4 * OneSecond);
        QCOMPARE(table->table().rows(), 3);   // the table is unchanged
        QCOMPARE(rig.prompts.unexpected, 0);
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    void tableToGraphRefusals()
    {
        Rig rig;
        // No date in the first row: no data.
        rig.host.active = TableOf(rig, "\tt\t1\r\n", m_dir.filePath("nodate.txt"));
        QCOMPARE(rig.commands.outputTableToGraph(), nullptr);
        QCOMPARE(rig.prompts.shown, QStringList{"No data to graph !"});
        QCOMPARE(rig.host.made.size(), 1);

        // A last row that is no date-time: its message, an empty window.
        const QByteArray d = DateField(QDate(2024, 5, 3)).toUtf8();
        rig.host.active = TableOf(rig, d + "\t10:00:00\t1\r\nx\ty\t2\r\n", m_dir.filePath("badend.txt"));
        GraphWindow *g = rig.commands.outputTableToGraph();
        QVERIFY(g);
        QCOMPARE(rig.prompts.shown.last(), QStringLiteral("'x y' is not a valid date and time"));

        // Not a table: nothing.
        rig.host.active = g;
        QCOMPARE(rig.commands.outputTableToGraph(), nullptr);
        QCOMPARE(rig.host.made.size(), 3);
    }

    // Without a table or graph window active, save, print and preview do
    // nothing at all.
    void nothingActive_data()
    {
        QTest::addColumn<bool>("panel");
        QTest::newRow("no window") << false;
        QTest::newRow("panel") << true;
    }
    void nothingActive()
    {
        QFETCH(bool, panel);
        Rig rig;
        QWidget other;
        rig.host.active = panel ? &other : nullptr;
        rig.commands.save();
        rig.commands.print();
        rig.commands.printPreview();
        QCOMPARE(rig.commands.outputTableToGraph(), nullptr);
        QCOMPARE(rig.prompts.unexpected, 0);
        QVERIFY(rig.prompts.shown.isEmpty());
        QVERIFY(rig.prompts.fileRequests.isEmpty());
    }

    // Switching the save dialog's file type renames the typed name.
    void typeChangeRenames_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("graph: GHF to TXT") << false << 2 << "run1.GHF" << "run1.TXT";
        QTest::newRow("graph: to CSV") << false << 3 << "run1.GHF" << "run1.CSV";
        QTest::newRow("table: TXT to CSV") << true << 2 << "t.TXT" << "t.CSV";
    }
    void typeChangeRenames()
    {
        QFETCH(bool, table);
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Rig rig;
        if (table) {
            rig.host.active = TableOf(rig, "d\tt\r\n", m_dir.filePath("rename.txt"));
        } else {
            GraphWindow *g = rig.host.createGraphWindow(QStringLiteral("graph"));
            SetUpGraph(g->chart(), 5, 2, Start, Start + 2 * OneSecond, -20, 100);
            rig.host.active = g;
        }
        rig.prompts.typeChanges.push_back({filter, typed});
        rig.commands.save();   // the dialog is then cancelled
        QCOMPARE(rig.prompts.renamed, QStringList{shown});
    }

    // The real save dialog shows the renamed name while it stays open; with
    // no name typed the box stays empty (the folder on show is no name).
    void typeChangeInTheFileDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("shown");
        QTest::newRow("GHF to TXT") << "run1.GHF" << 1 << "run1.TXT";
        QTest::newRow("TXT to CSV") << "run1.TXT" << 2 << "run1.CSV";
        QTest::newRow("nothing typed") << "" << 1 << "";
        QTest::newRow("nothing typed, to CSV") << "" << 2 << "";
    }
    void typeChangeInTheFileDialog()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, shown);
        // The folder the dialog shows has a name of its own.
        QDir(m_dir.path()).mkpath(QStringLiteral("KV3917"));
        InteractivePrompts interactive;
        QString shownName = QStringLiteral("(dialog not seen)");
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            QVERIFY(name && types);
            // As the user finds it: the folder's contents on show.
            QTRY_VERIFY(!dialog->selectedFiles().value(0).isEmpty());
            name->setText(typed);
            // The user picks the type with the mouse: the box of types has the focus.
            types->setFocus();
            QTRY_VERIFY(types->hasFocus());
            types->setCurrentIndex(filter);
            // What a pick with the mouse emits.
            emit types->activated(filter);
            emit types->textActivated(types->itemText(filter));
            shownName = name->text();
            dialog->reject();
        });
        FileDialogRequest request;
        request.folder = m_dir.filePath(QStringLiteral("KV3917"));
        const QString filters = GraphFileFilter(QLocale::c());
        request.filter = QtFileFilter(filters);
        request.typeChanged = [filters](int index, const QString &n) { return NameForFilter(filters, index, n); };
        QCOMPARE(interactive.saveFileName(nullptr, request, nullptr), QString());
        QCOMPARE(shownName, shown);
    }

    // The "DataLogger" window offers the collection first; Cancel there saves
    // nothing, the single-file choice saves the graph.
    void loggerGraphChooser()
    {
        struct Hooks : CollectionHooks {
            std::deque<int> choices;
            QStringList calls;
            int chooseSave(QWidget *) override { calls << "chooseSave"; return take(); }
            int chooseOpen(QWidget *, const QString &text) override { calls << "chooseOpen " + text; return take(); }
            QString saveCollection(QWidget *) override
            {
                calls << "saveCollection";
                return {};
            }
            QString openCollection(QWidget *) override
            {
                calls << "openCollection";
                return {};
            }
            int take()
            {
                const int c = choices.front();
                choices.pop_front();
                return c;
            }
        } hooks;
        Rig rig;
        rig.commands.setCollectionHooks(&hooks);
        GraphWindow *logger = rig.host.createGraphWindow(QStringLiteral("DataLogger"));
        SetUpGraph(logger->chart(), 5, 2, Start, Start + 2 * OneSecond, -20, 100);
        rig.host.active = logger;
        hooks.choices = {CollectionHooks::Cancelled, CollectionHooks::Collection, CollectionHooks::SingleFile,
                         CollectionHooks::Collection, CollectionHooks::Cancelled};
        rig.commands.save();
        QVERIFY(rig.prompts.fileRequests.isEmpty());
        rig.commands.save();
        const QString path = m_dir.filePath("logger.ghf");
        rig.prompts.fileNames.push_back(path);
        rig.commands.save();
        QVERIFY(QFile::exists(path));
        rig.commands.open();
        rig.commands.open();
        QCOMPARE(hooks.calls, (QStringList{"chooseSave", "chooseSave", "saveCollection", "chooseSave",
                                           "chooseOpen Open single data file(*.TXT,*.CSV,*.GHF)", "openCollection",
                                           "chooseOpen Open single data file(*.TXT,*.CSV,*.GHF)"}));
        QCOMPARE(rig.prompts.fileRequests.size(), 1);
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    void printTableToPdf()
    {
        Rig rig;
        QByteArray bytes;
        for (int i = 0; i < 150; ++i)
            bytes += "2024-05-03\t10:00:00\t45.2\t21.7\t OL\t -OL\t9.3\t\r\n";
        rig.host.active = TableOf(rig, bytes, m_dir.filePath("print.txt"));
        const QString pdf = m_dir.filePath("table.pdf");
        rig.prompts.dialogs.push_back([&](QDialog &d) {
            auto &dialog = static_cast<QPrintDialog &>(d);
            dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog.printer()->setOutputFileName(pdf);
            return int(QDialog::Accepted);
        });
        rig.commands.print();
        QVERIFY(ReadAll(pdf).startsWith("%PDF"));
        QCOMPARE(rig.prompts.unexpected, 0);

        // Cancel in the print dialog prints nothing.
        QFile::remove(pdf);
        rig.prompts.dialogs.push_back([](QDialog &) { return int(QDialog::Rejected); });
        rig.commands.print();
        QVERIFY(!QFile::exists(pdf));
    }

    // Every line of a table printout fits the printable width, whatever the
    // paper and the printer's resolution: all eight titles on page 1, the
    // last column of every row whole, every word on its page and no text
    // larger than the printout's 8 points.
    void printedTablePages_data()
    {
        QTest::addColumn<int>("paper");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QByteArray>("line");
        const QByteArray values = "2024-05-03\t10:00:00\t45.2\t21.7\t OL\t -OL\t9.3\t\r\n";
        const QByteArray empty = "2024-05-03\t10:00:00\t\t\t\t\t9.3\t\r\n";   // cells of widest fill
        QTest::newRow("A4 portrait, 1200 dpi") << int(QPageSize::A4) << false << 1200 << values;
        QTest::newRow("A4 portrait, 600 dpi") << int(QPageSize::A4) << false << 600 << values;
        QTest::newRow("Letter portrait, 300 dpi") << int(QPageSize::Letter) << false << 300 << values;
        QTest::newRow("A5 portrait, empty cells") << int(QPageSize::A5) << false << 600 << empty;
        QTest::newRow("A4 landscape") << int(QPageSize::A4) << true << 1200 << values;
    }
    void printedTablePages()
    {
        KV_SKIP_WITHOUT_PDFTOTEXT();
        QFETCH(int, paper);
        QFETCH(bool, landscape);
        QFETCH(int, dpi);
        QFETCH(QByteArray, line);
        Rig rig;
        constexpr int rows = 150;
        rig.host.active = TableOf(rig, line.repeated(rows), m_dir.filePath("pages.txt"));
        const QString pdf = m_dir.filePath("pages.pdf");
        QRectF printable;
        rig.prompts.dialogs.push_back([&](QDialog &d) {
            QPrinter *printer = static_cast<QPrintDialog &>(d).printer();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            printer->setResolution(dpi);
            printer->setPageSize(QPageSize(QPageSize::PageSizeId(paper)));
            printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            printable = printer->pageLayout().paintRect(QPageLayout::Point);
            return int(QDialog::Accepted);
        });
        rig.commands.print();
        QCOMPARE(rig.prompts.unexpected, 0);
        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
            const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-");
            QFile::copy(pdf, qEnvironmentVariable("KV_TEST_PICTURES") + "/printedtable-" + name + ".pdf");
        }

        QString error;
        const QList<kvtest::PdfPage> pages = kvtest::ReadPdfWords(pdf, &error);
        QVERIFY2(!pages.isEmpty(), qPrintable(error));
        QCOMPARE(pages.first().size.width() > pages.first().size.height(), landscape);
        const kvtest::PdfPage &first = pages.first();
        const kvtest::PdfWord *no = first.find(QStringLiteral("No"));
        QVERIFY(no);
        for (const char *title : {"No", "Date", "Time", "%RH", "T1", "T2", "WET", "BULB", "DEW", "POINT"}) {
            const kvtest::PdfWord *word = first.find(QLatin1String(title));
            QVERIFY2(word, title);
            QVERIFY2(std::abs(word->box.center().y() - no->box.center().y()) < 1, title);   // one line
        }
        int lastColumns = 0;
        for (const kvtest::PdfPage &page : pages) {
            QVERIFY2(page.wordsOffPage().isEmpty(), qPrintable(page.wordsOffPage().join(QLatin1String(", "))));
            QVERIFY2(page.tallestWord() < 8 * 1.3, qPrintable(QString::number(page.tallestWord())));
            lastColumns += page.count(QRegularExpression(QStringLiteral("^9\\.3$")));
        }
        QCOMPARE(lastColumns, rows);
        // The full 8 points (9.3 pt from ascent to descent), or shrunk just
        // so far that the widest line reaches the printable area's right edge.
        double right = 0;
        for (const kvtest::PdfWord &word : first.words)
            right = std::max(right, word.box.right());
        QVERIFY2(first.tallestWord() > 9 || right > printable.right() - 0.03 * printable.width(),
                 qPrintable(QStringLiteral("text %1 pt tall, lines end at %2 of %3 pt")
                                .arg(first.tallestWord())
                                .arg(right)
                                .arg(printable.right())));
    }

    // A graph prints through the customisation dialog without its font,
    // graph, colour and subset pages, then the print dialog.
    void printGraph()
    {
        Rig rig;
        GraphWindow *g = rig.host.createGraphWindow(QStringLiteral("graph"));
        SetUpGraph(g->chart(), 5, 10, Start, Start + 20 * OneSecond, -20, 100);
        rig.host.active = g;
        QStringList tabs;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<CustomizeDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            for (int i = 0; i < dialog->pages()->count(); ++i)
                if (dialog->pages()->isTabVisible(i))
                    tabs << dialog->pages()->tabText(i);
            dialog->reject();
        });
        const QString pdf = m_dir.filePath("graph.pdf");
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        rig.prompts.dialogs.push_back([&](QDialog &d) {
            QPrinter *printer = static_cast<QPrintDialog &>(d).printer();
            orientation = printer->pageLayout().orientation();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return int(QDialog::Accepted);
        });
        rig.commands.print();
        QVERIFY(!tabs.isEmpty());
        for (const char *hidden : {"Fonts", "Graph", "Colors", "Subsets"})
            QVERIFY2(!tabs.contains(QLatin1String(hidden)), qPrintable(tabs.join(',')));
        QVERIFY(g->chart().AllowFontPage() && g->chart().AllowPage1() && g->chart().AllowPage2()
                && g->chart().AllowSubsetsPage());
        QCOMPARE(orientation, QPageLayout::Landscape);
        QVERIFY(ReadAll(pdf).startsWith("%PDF"));
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    // A printed graph is the picture "Export Picture" writes, scaled to the
    // printable area: the same words in the same places, each as tall
    // relative to the graph as in the picture, so all of them lie on the
    // page and none outgrows a label.
    void printedGraphPage_data()
    {
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("portrait");
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("preview");   // printed from the preview's Print button
        QTest::newRow("one axis, landscape") << false << false << QSize(700, 460) << false;
        QTest::newRow("split view, landscape") << true << false << QSize(700, 460) << false;
        QTest::newRow("large window, portrait page") << false << true << QSize(1100, 760) << false;
        QTest::newRow("print preview") << false << false << QSize(900, 600) << true;
    }
    void printedGraphPage()
    {
        KV_SKIP_WITHOUT_PDFTOTEXT();
        QFETCH(bool, split);
        QFETCH(bool, portrait);
        QFETCH(QSize, window);
        QFETCH(bool, preview);
        Rig rig;
        rig.main.resize(1300, 1000);
        rig.main.show();
        GraphWindow *g = rig.host.createGraphWindow(QStringLiteral("graph"));
        constexpr int points = 120;
        Chart &chart = g->chart();
        SetUpGraph(chart, 5, points, Start, Start + (points + 10) * 2 * OneSecond, -20, 100);
        for (int p = 0; p < points; ++p)
            for (int s = 0; s < 5; ++s) {
                chart.setXDataII(s, p, Start + p * 2 * OneSecond);
                chart.setYData(s, p, float(10 + 15 * s + 5 * std::sin(p / 15.0 + s)));
            }
        // A note and a marked line, drawn by the chart's own layer.
        chart.setGraphAnnotationType(4, sgAnnotNoSymbol);
        chart.setGraphAnnotationX(4, Start + 60 * OneSecond);
        chart.setGraphAnnotationY(4, 30);
        chart.setGraphAnnotationText(4, QStringLiteral("Door opened"));
        chart.setGraphAnnotationColor(4, Qt::white);
        chart.setVertLineAnnotation(0, Start + 150 * OneSecond);
        chart.setVertLineAnnotationText(0, QStringLiteral("Cursor"));
        chart.setShowVertLineAnnotations(true);
        g->setSplitView(!split);   // the hidden box starts checked over a chart of one axis
        g->setSplitView(split);
        rig.host.showDocument(g);
        g->parentWidget()->resize(window);
        QTRY_VERIFY(chart.width() > window.width() / 2);
        rig.host.active = g;
        if (portrait) {
            rig.prompts.dialogs.push_back([](QDialog &d) {
                static_cast<QPageSetupDialog &>(d).printer()->setPageOrientation(QPageLayout::Portrait);
                return int(QDialog::Accepted);
            });
            rig.commands.printerSetup();
        }
        const QString picture = m_dir.filePath("picture.pdf");
        QString error;
        QVERIFY2(chart.exportImage(picture, &error), qPrintable(error));

        const QString pdf = m_dir.filePath("printed.pdf");
        QRectF paper;
        if (preview) {
            int pages = 0;
            rig.prompts.dialogs.push_back([&](QDialog &d) {
                auto *widget = d.findChild<QPrintPreviewWidget *>();
                widget->updatePreview();
                pages = widget->pageCount();
                if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
                    d.resize(900, 700);
                    widget->fitInView();
                    d.grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/graphpreview.png");
                }
                QPrinter *printer = static_cast<QPrintPreviewDialog &>(d).printer();
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(pdf);
                paper = printer->pageLayout().paintRect(QPageLayout::Point);
                widget->print();
                return int(QDialog::Accepted);
            });
            rig.commands.printPreview();
            QCOMPARE(pages, 1);
        } else {
            QTimer::singleShot(0, [] {
                if (QWidget *dialog = QApplication::activeModalWidget())
                    static_cast<QDialog *>(dialog)->reject();
            });
            rig.prompts.dialogs.push_back([&](QDialog &d) {
                QPrinter *printer = static_cast<QPrintDialog &>(d).printer();
                printer->setOutputFormat(QPrinter::PdfFormat);
                printer->setOutputFileName(pdf);
                paper = printer->pageLayout().paintRect(QPageLayout::Point);
                return int(QDialog::Accepted);
            });
            rig.commands.print();
        }
        QVERIFY2(rig.prompts.unexpected == 0, qPrintable(rig.prompts.shown.join('|')));
        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
            const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-");
            QFile::copy(pdf, qEnvironmentVariable("KV_TEST_PICTURES") + "/printedgraph-" + name + ".pdf");
            QFile::copy(picture, qEnvironmentVariable("KV_TEST_PICTURES") + "/exportedgraph-" + name + ".pdf");
        }

        const QList<kvtest::PdfPage> shown = kvtest::ReadPdfWords(picture, &error);
        QVERIFY2(shown.size() == 1, qPrintable(error));
        const QList<kvtest::PdfPage> printed = kvtest::ReadPdfWords(pdf, &error);
        QVERIFY2(printed.size() == 1, qPrintable(error));
        const kvtest::PdfPage &page = printed.first();
        const kvtest::PdfPage &source = shown.first();
        QCOMPARE(page.size.width() > page.size.height(), !portrait);
        QVERIFY2(page.wordsOffPage().isEmpty(), qPrintable(page.wordsOffPage().join(QLatin1String(", "))));
        for (const char *legend : {"%RH", "T1", "T2", "WET", "BULB", "DEW", "POINT", "Time", "Door", "Cursor"})
            QVERIFY2(page.find(QLatin1String(legend)), legend);
        const QRegularExpression timeLabel(QStringLiteral("^\\d{1,2}:\\d\\d(:\\d\\d)?$"));
        QVERIFY2(page.count(timeLabel) >= 3, qPrintable(page.texts().join(' ')));

        // The picture fitted into the printable area, centred.
        const double k = std::min(paper.width() / source.size.width(), paper.height() / source.size.height());
        const QPointF origin = paper.center() - QPointF(source.size.width(), source.size.height()) * k / 2;
        QCOMPARE(page.texts(), source.texts());
        for (qsizetype i = 0; i < page.words.size(); ++i) {
            const QRectF want(origin + source.words[i].box.topLeft() * k, source.words[i].box.size() * k);
            const QRectF got = page.words[i].box;
            const QString where = QStringLiteral("%1: printed %2 pt tall at (%3,%4), expected %5 pt at (%6,%7)")
                                      .arg(page.words[i].text)
                                      .arg(got.height())
                                      .arg(got.left())
                                      .arg(got.top())
                                      .arg(want.height())
                                      .arg(want.left())
                                      .arg(want.top());
            QVERIFY2(std::abs(got.height() / want.height() - 1) < 0.15, qPrintable(where));
            QVERIFY2(QLineF(got.center(), want.center()).length() < 0.02 * paper.width(), qPrintable(where));
        }
        QVERIFY(page.tallestWord() < 1.15 * k * source.tallestWord());
    }

    // The preview draws the printout's pages; the page setup's orientation
    // is then used.
    void previewAndPageSetup()
    {
        Rig rig;
        QByteArray bytes;
        for (int i = 0; i < 300; ++i)
            bytes += "2024-05-03\t10:00:00\t45.2\t21.7\t OL\t -OL\t9.3\t\r\n";
        rig.host.active = TableOf(rig, bytes, m_dir.filePath("preview.txt"));
        rig.prompts.dialogs.push_back([](QDialog &d) {
            static_cast<QPageSetupDialog &>(d).printer()->setPageOrientation(QPageLayout::Landscape);
            return int(QDialog::Accepted);
        });
        rig.commands.printerSetup();
        int pages = 0;
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        rig.prompts.dialogs.push_back([&](QDialog &d) {
            auto *widget = d.findChild<QPrintPreviewWidget *>();
            widget->updatePreview();
            pages = widget->pageCount();
            if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES")) {
                d.resize(900, 700);
                widget->fitInView();
                d.grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/tablepreview.png");
            }
            orientation = static_cast<QPrintPreviewDialog &>(d).printer()->pageLayout().orientation();
            return int(QDialog::Accepted);
        });
        rig.commands.printPreview();
        QCOMPARE(orientation, QPageLayout::Landscape);
        QVERIFY2(pages >= 5, qPrintable(QString::number(pages)));   // 301 lines, fewer than 60 a page
        QCOMPARE(rig.prompts.unexpected, 0);
    }

    // In the main window: File > Open opens a text file as a child window
    // whose activation enables "Output Tabular to graph", which draws the
    // active table as a new child window; File > Save saves it.  Both files
    // are listed under File > Recent Files, newest first; a cancelled save
    // lists nothing.
    void inTheMainWindow()
    {
        std::unique_ptr<QSettings>(kv::OpenUserSettings())->clear();
        Rig rig;
        rig.main.resize(900, 700);
        rig.main.show();
        const QByteArray d = DateField(QDate(2024, 5, 3)).toUtf8();
        const QString path = m_dir.filePath("main.txt");
        WriteFile(path, d + "\t10:00:00\t1\t2\t3\t4\t5\r\n" + d + "\t10:00:02\t1\t2\t3\t4\t5\r\n");
        rig.prompts.fileNames.push_back(path);
        // File > Open asks first: a collection or a single file.
        rig.prompts.dialogs.push_back([](QDialog &dialog) {
            dialog.findChild<QPushButton *>(QStringLiteral("btnOpenSingleSet"))->click();
            return dialog.result();
        });
        child<QToolButton>(rig.main, "btnOutputToGraph")->setEnabled(false);
        child<QAction>(rig.main, "Open1")->trigger();
        QMdiSubWindow *sub = child<QMdiArea>(rig.main, "MdiArea")->subWindowList().last();
        auto *table = qobject_cast<TableWindow *>(sub->widget());
        QVERIFY(table);
        child<QMdiArea>(rig.main, "MdiArea")->setActiveSubWindow(sub);
        QVERIFY(child<QToolButton>(rig.main, "btnOutputToGraph")->isEnabled());
        child<QToolButton>(rig.main, "btnOutputToGraph")->click();
        auto *graph = qobject_cast<GraphWindow *>(child<QMdiArea>(rig.main, "MdiArea")->activeSubWindow()->widget());
        QVERIFY(graph);
        QCOMPARE(graph->chart().Points(), 2);
        QVERIFY(!child<QToolButton>(rig.main, "btnOutputToGraph")->isEnabled());   // the graph window's activation

        rig.prompts.fileNames.push_back(QString());   // the save dialog cancelled
        child<QToolButton>(rig.main, "SpeedButton2")->click();
        const QString saved = m_dir.filePath("main.ghf");
        rig.prompts.fileNames.push_back(saved);
        child<QToolButton>(rig.main, "SpeedButton2")->click();
        QVERIFY(QFile::exists(saved));
        QCOMPARE(rig.prompts.unexpected, 0);

        QStringList recent;
        for (const QAction *action : child<QMenu>(rig.main, "RecentFiles1")->actions())
            recent << action->data().toString();
        QCOMPARE(recent, QStringList({saved, path}));
        QVERIFY(rig.main.findChild<QAction *>("PrintPreview1"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"

// Every command of the program once, as a user would reach it: each menu
// command and tool button of the main window, of every kind of graph window
// (real-time, DataLogger, from a file, from a table) and the commands that
// act on a table window.  The simulated meter is attached; every question
// is answered Cancel or No and every dialog is cancelled.  Each row names
// what the control must open or do, so a control wired to nothing fails.
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "realtime/datetime.h"
#include "ui/aboutdialog.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"
#include "ui/metersetupwindow.h"
#include "ui/panelwindow.h"
#include "ui/tablewindow.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "tests/support/mainwindowrig.h"
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>

namespace {

// Modal dialogs a command runs by itself (not through the prompt service)
// are looked for this often and cancelled; more than this many in one row
// means a dialog that keeps coming back.
constexpr int ModalPollMs = 20;
constexpr int MaxModalsPerRow = 8;
// A download of the meter's memory, with its pauses, on a loaded machine.
constexpr int LongCommandMs = 60000;

const QString RealTimeCaption = QStringLiteral("Real-Time Graph");
const QString LoggerCaption = QStringLiteral("DataLogger");

// Records everything the program shows; answers every question with Cancel
// (No where there is no Cancel) and cancels every dialog.  Steps that set a
// window up for a row script their answers in `scripted`.
class WalkPrompts : public kv::PromptService {
public:
    QStringList log;
    std::deque<kv::Answer> answers;
    std::deque<std::function<int(QDialog &)>> dialogs;

    kv::Answer askYesNo(QWidget *, const QString &text) override { return answer(text, kv::Answer::No); }
    kv::Answer askYesNoCancel(QWidget *, const QString &text) override { return answer(text, kv::Answer::Cancel); }
    void message(QWidget *, const QString &text) override { log << QStringLiteral("message:") + text; }
    void error(QWidget *, const QString &text) override { log << QStringLiteral("error:") + text; }
    QString saveFileName(QWidget *, const kv::FileDialogRequest &, QString *) override
    {
        log << QStringLiteral("file:save");
        return {};
    }
    QString openFileName(QWidget *, const kv::FileDialogRequest &) override
    {
        log << QStringLiteral("file:open");
        return {};
    }
    bool chooseColor(QWidget *, QColor &) override
    {
        log << QStringLiteral("color");
        return false;
    }
    bool chooseFont(QWidget *, QFont &) override
    {
        log << QStringLiteral("font");
        return false;
    }
    int exec(QDialog &dialog) override
    {
        log << QStringLiteral("dialog:") + QString::fromLatin1(dialog.metaObject()->className());
        if (dialogs.empty())
            return QDialog::Rejected;
        auto script = std::move(dialogs.front());
        dialogs.pop_front();
        return script(dialog);
    }

private:
    kv::Answer answer(const QString &text, kv::Answer fallback)
    {
        log << QStringLiteral("question:") + text;
        if (answers.empty())
            return fallback;
        const kv::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Records the pages handed to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QStringList *log = nullptr;
public slots:
    void open(const QUrl &url) { *log << QStringLiteral("url:") + url.fileName(); }
};

} // namespace

class TestCommandWalk : public QObject {
    Q_OBJECT

    // The main window on the simulated meter, with one window of each kind.
    struct Walk {
        kv::ManualSimClock clock;
        kv::SimMeter meter{&clock, kv::SimOptions{1, false, false, {}}};
        kv::SimUsbTransfer usb{meter};
        WalkPrompts prompts;
        kv::PromptScope scope{prompts};
        MainWindow main{usb};
    };
    std::unique_ptr<Walk> m_walk;
    QTemporaryDir m_dir;
    UrlCatcher m_urls;
    QTimer m_modalCloser;
    int m_modalsClosed = 0;
    // "window kind/control" of every row walked.
    QSet<QString> m_walked;
    QSet<QString> m_walkedControls;

    QString graphFile() const { return QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("walk.GHF"))); }
    QString tableFile() const { return QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("walk.csv"))); }
    QMdiArea *area() const { return child<QMdiArea>(m_walk->main, "MdiArea"); }

    // The window of a row: "main" (with the real-time graph active), a
    // graph window by kind, or the table window.
    QWidget *window(const QString &kind)
    {
        MainWindow &main = m_walk->main;
        if (kind == QLatin1String("main") || kind == QLatin1String("realtime")) {
            if (!main.realTimeGraph())
                main.showRealTimeGraph();
            return main.realTimeGraph();
        }
        if (kind == QLatin1String("logger"))
            return &main.ensureLoggerGraph();
        for (QMdiSubWindow *sub : area()->subWindowList()) {
            QWidget *w = sub->widget();
            const bool table = qobject_cast<kv::TableWindow *>(w);
            const bool graph = qobject_cast<GraphWindow *>(w);
            if (kind == QLatin1String("file") && graph && w->windowTitle() == graphFile())
                return w;
            if (kind == QLatin1String("table") && table && w->windowTitle() == tableFile())
                return w;
            if (kind == QLatin1String("tablegraph") && graph && w->windowTitle() == tableFile())
                return w;
        }
        if (kind == QLatin1String("file")) {
            main.openFiles({graphFile()});
            return window(kind);
        }
        if (kind == QLatin1String("table")) {
            main.openFiles({tableFile()});
            return window(kind);
        }
        if (kind == QLatin1String("tablegraph")) {
            activate(window(QStringLiteral("table")));
            child<QToolButton>(main, "btnOutputToGraph")->click();
            for (QMdiSubWindow *sub : area()->subWindowList())
                if (qobject_cast<GraphWindow *>(sub->widget()) && sub->widget()->windowTitle() == tableFile())
                    return sub->widget();
        }
        return nullptr;
    }

    void activate(QWidget *w)
    {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(w ? w->parentWidget() : nullptr)) {
            sub->showNormal();
            area()->setActiveSubWindow(sub);
        }
    }

    // The control of a row: an action or button by object name in the
    // window (then in the main window); "Menu/n" is the n-th entry of a menu.
    QObject *control(QWidget *w, const QString &name)
    {
        MainWindow &main = m_walk->main;
        if (name.contains(QLatin1Char('/'))) {
            auto *menu = main.findChild<QMenu *>(name.section(QLatin1Char('/'), 0, 0));
            if (!menu)
                return nullptr;
            emit menu->aboutToShow();   // menus fill themselves when opened
            QList<QAction *> entries;
            for (QAction *a : menu->actions())
                if (!a->isSeparator())
                    entries << a;
            const int n = name.section(QLatin1Char('/'), 1).toInt();
            return n == -1 ? entries.value(entries.size() - 1) : entries.value(n - 1);
        }
        for (QWidget *scope : {w, static_cast<QWidget *>(&main)}) {
            if (!scope)
                continue;
            if (auto *a = scope->findChild<QAction *>(name))
                return a;
            if (auto *b = scope->findChild<QWidget *>(name))
                return b;
        }
        return nullptr;
    }

    // Fills the real-time graph with a stopped recording of a few samples:
    // unsaved data that questions are asked about.
    void recordSamples()
    {
        MainWindow &main = m_walk->main;
        GraphWindow *graph = qobject_cast<GraphWindow *>(window(QStringLiteral("realtime")));
        if (main.recorder().count() > 0 && main.recorder().isUnsaved())
            return;
        const QDateTime start(QDate(2024, 5, 2), QTime(9, 15));
        const int count = 5;
        graph->startRecording(count + 1, kv::ToDateTime(start));
        main.recorder().start(count + 1);
        for (int i = 0; i < count; ++i)
            graph->addSample(main.connection().reading(), start.addSecs(2 * i));
        main.recorder().stop();
        graph->stopRecording(kv::ToDateTime(start.addSecs(2 * count)));
        main.recorder().setUnsaved(true);
    }

    // Set-up steps some rows need before their control is used.
    void prepare(const QString &step, QWidget *w)
    {
        MainWindow &main = m_walk->main;
        if (step == QLatin1String("data")) {
            recordSamples();
        } else if (step == QLatin1String("recording")) {
            recordSamples();
            // Run: No to saving the old graph, then a recording of 100.
            m_walk->prompts.answers.push_back(kv::Answer::No);
            m_walk->prompts.dialogs.push_back([](QDialog &d) {
                child<QLineEdit>(d, "edtRealTimeNo")->setText(QStringLiteral("100"));
                return int(QDialog::Accepted);
            });
            child<QAction>(main, "Run1")->trigger();
            QVERIFY(main.recorder().isRecording());
        } else if (step == QLatin1String("cross")) {
            child<QToolButton>(w, "ToolButton5")->click();
            QCOMPARE(main.annotationCursor().tool(), kv::AnnotationTool::Cross);
        } else if (step == QLatin1String("zoomed")) {
            // A rectangle dragged on the plot surface, clear of the cursor
            // lines, in a window large enough to drag in.
            w->parentWidget()->resize(900, 640);
            QCoreApplication::processEvents();
            QWidget *plot = nullptr;
            for (QWidget *c : child<QWidget>(w, "PESGraph1")->findChildren<QWidget *>())
                if (c->inherits("QCustomPlot"))
                    plot = c;
            QVERIFY(plot);
            // A cursor line may lie under one place: a few places, in turn.
            const QRect r = plot->rect();
            auto *undo = child<QAbstractButton>(w, "UndoZoom");
            for (int left : {55, 20, 35, 80}) {
                const QPoint from(r.left() + r.width() * left / 100, r.top() + r.height() * 35 / 100);
                const QPoint to(r.left() + r.width() * (left + 12) / 100, r.top() + r.height() * 65 / 100);
                QTest::mousePress(plot, Qt::LeftButton, {}, from);
                QTest::mouseMove(plot, (from + to) / 2);
                QTest::mouseMove(plot, to);
                QTest::mouseRelease(plot, Qt::LeftButton, {}, to);
                QCoreApplication::processEvents();
                if (undo->isEnabled())
                    break;
            }
            QVERIFY(undo->isEnabled());
        } else if (step == QLatin1String("panel closed")) {
            main.panel()->parentWidget()->close();
            QTRY_VERIFY(!main.panel());
        } else if (step == QLatin1String("graph minimised")) {
            w->parentWidget()->showMinimized();
        } else if (step == QLatin1String("recent")) {
            main.addRecentFile(graphFile());
        } else if (step == QLatin1String("download")) {
            // Nothing unsaved to ask about, nothing shown yet.
            main.loggerData().setUnsaved(false);
            if (main.loggerGraph())
                main.loggerGraph()->parentWidget()->close();
            QTRY_VERIFY(!main.loggerGraph());
            QTRY_VERIFY_WITH_TIMEOUT(main.connection().isConnected(), 30000);
        } else if (step == QLatin1String("connected")) {
            // A download or a failed port hands the link back; the next
            // poll finds the meter again.
            QTRY_VERIFY_WITH_TIMEOUT(main.connection().isConnected(), 30000);
        } else if (step == QLatin1String("port item")) {
            auto *box = child<QComboBox>(main, "ComboBoxDeviceName");
            if (box->findText(QStringLiteral("ttyWALK9")) < 0)
                box->addItem(QStringLiteral("ttyWALK9"));
        } else if (step == QLatin1String("logger data")) {
            // Two data sets from the meter's memory, shown and not saved.
            const QByteArray image =
                kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).add(kvtest::SetOf(7)).image();
            if (main.loggerData().dataSets().size() != 2)
                QVERIFY(main.loggerData().acceptDownload(image).shown());
        }
    }

protected:
    // A splash window (the port search's) is shown, not run: noted when it shows.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && m_walk)
            if (auto *splash = qobject_cast<AboutDialog *>(watched); splash && !splash->isModal())
                m_walk->prompts.log << QStringLiteral("splash shown");
        return QObject::eventFilter(watched, event);
    }

private:
    void closeModals()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (++m_modalsClosed > MaxModalsPerRow) {
            qWarning("a modal dialog keeps coming back: %s", modal->metaObject()->className());
            return;
        }
        m_walk->prompts.log << QStringLiteral("dialog:") + QString::fromLatin1(modal->metaObject()->className());
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    }

    // Checks a row's effect (an "effect:" expectation), before and after.
    std::map<QString, std::function<bool()>> effectChecks(QWidget *w)
    {
        MainWindow &main = m_walk->main;
        auto *graph = qobject_cast<GraphWindow *>(w);
        return {
            {QStringLiteral("graph statistics hidden"),
             [w] { return !child<QWidget>(w, "pnlGraphStatistic")->isVisible(); }},
            {QStringLiteral("line statistics hidden"), [w] { return !child<QWidget>(w, "pnlStatistic")->isVisible(); }},
            {QStringLiteral("normal tool"),
             [&main] { return main.annotationCursor().tool() == kv::AnnotationTool::Normal; }},
            {QStringLiteral("cross tool"),
             [&main] { return main.annotationCursor().tool() == kv::AnnotationTool::Cross; }},
            {QStringLiteral("text tool"), [&main] { return main.annotationCursor().tool() == kv::AnnotationTool::Text; }},
            {QStringLiteral("zoom undone"), [w] { return !child<QAbstractButton>(w, "UndoZoom")->isEnabled(); }},
            {QStringLiteral("statistics table shown"), [graph] { return graph && graph->chart().ShowTableAnnotation(); }},
            {QStringLiteral("channel hidden"), [graph] { return graph && graph->chart().RandomSubsetsToGraphCount() == 4; }},
            {QStringLiteral("graph cleared"), [&main] { return main.recorder().count() == 0; }},
            {QStringLiteral("recording stopped"),
             [&main] { return !main.recorder().isRecording() && child<QAction>(main, "Run1")->isEnabled(); }},
            {QStringLiteral("panel shown"), [&main] { return main.panel() && main.panel()->isVisible(); }},
            {QStringLiteral("graph restored"),
             [&main] { return main.realTimeGraph() && !main.realTimeGraph()->parentWidget()->isMinimized(); }},
            {QStringLiteral("set up window"), [&main] { return main.setupWindow() && main.setupWindow()->isVisible(); }},
            {QStringLiteral("downloaded"),
             [&main] {
                 return main.loggerGraph() && main.loggerData().unsaved() && main.loggerData().dataSets().size() == 2
                        && main.connection().isConnected();
             }},
            {QStringLiteral("second data set"),
             [graph] { return graph && graph->chart().Points() == 7; }},
        };
    }

private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        QVERIFY(m_dir.isValid());
        // A graph file and a comma-separated table to open.
        kv::Chart chart;
        const double start = kv::ToDateTime(QDateTime(QDate(2024, 5, 2), QTime(9, 15)));
        SetUpGraph(chart, 5, 4, start, start + 4 * kv::OneSecond, -20, 100);
        for (int p = 0; p < 4; ++p)
            for (int s = 0; s < 5; ++s) {
                chart.setXDataII(s, p, start + p * kv::OneSecond);
                chart.setYData(s, p, float(20 + s + p));
            }
        QString error;
        QVERIFY2(kv::WriteGraphFile(chart, graphFile(), &error), qPrintable(error));
        QFile table(tableFile());
        QVERIFY(table.open(QIODevice::WriteOnly));
        for (int p = 0; p < 4; ++p)
            table.write(QStringLiteral("%1,%2,45.%3,23.5,24.1,16.0,11.0\r\n")
                            .arg(QLocale().toString(QDate(2024, 5, 2), QLocale::ShortFormat),
                                 QLocale().toString(QTime(9, 15, p), QLocale::LongFormat))
                            .arg(p)
                            .toLocal8Bit());
        table.close();

        m_walk = std::make_unique<Walk>();
        // Two data sets in the meter's memory, for the download to offer.
        m_walk->meter.loadLoggerImage(kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).add(kvtest::SetOf(7)).image());
        m_urls.log = &m_walk->prompts.log;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
        m_walk->main.setServiceMode(true);
        m_walk->main.show();
        // The simulated meter is found over USB.
        QTRY_VERIFY_WITH_TIMEOUT(m_walk->main.connection().isConnected(), 30000);
        connect(&m_walk->main.connection(), &kv::Connection::connectionLost, this,
                [this] { m_walk->prompts.log << QStringLiteral("connection lost"); });
        connect(&m_walk->main.connection(), &kv::Connection::linkDropped, this,
                [this] { m_walk->prompts.log << QStringLiteral("link dropped"); });
        qApp->installEventFilter(this);
        m_modalCloser.setInterval(ModalPollMs);
        connect(&m_modalCloser, &QTimer::timeout, this, &TestCommandWalk::closeModals);
    }

    void cleanupTestCase()
    {
        qApp->removeEventFilter(this);
        m_modalCloser.stop();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        if (m_walk) {
            // Nothing left to ask about at the end.
            m_walk->main.recorder().setUnsaved(false);
            m_walk->main.loggerData().setUnsaved(false);
            m_walk->main.close();
        }
        m_walk.reset();
    }

    void walk_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("prepare");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("expected");

        const QString print = QStringLiteral("dialog:QPrintDialog");
        const QString preview = QStringLiteral("dialog:QPrintPreviewDialog");
        const QString saveQuestion = QStringLiteral("question:Save Real-Time Graph ?");

        // ---- the main window -----------------------------------------------------------
        auto row = [](const char *name, const char *window, const char *prepare, const char *control,
                      const QString &expected) {
            QTest::newRow(name) << QString::fromLatin1(window) << QString::fromLatin1(prepare)
                                << QString::fromLatin1(control) << expected;
        };
        row("main: File > Open", "main", "", "Open1", "dialog:kv::CollectionChooser");
        row("main: Open File button", "main", "", "SpeedButton1", "dialog:kv::CollectionChooser");
        row("main: File > Printer Setup", "main", "", "PrinterSetup1", "dialog:QPageSetupDialog");
        row("main: File > Recent Files", "main", "recent", "RecentFiles1/1", "window:+1");
        row("main: File > Exit, Cancel", "main", "data", "Exit1", "windows kept");
        row("main: Real Time > Run", "main", "data", "Run1", "question:There are datas in Real_Time graph");
        row("main: Run button", "main", "data", "btnRun", "question:There are datas in Real_Time graph");
        row("main: Real Time > Stop", "main", "recording", "Stop1", "effect:recording stopped");
        row("main: Stop button", "main", "recording", "btnStop", "effect:recording stopped");
        row("main: Data Logger > Load", "main", "download", "LoadData1", "effect:downloaded");
        row("main: Data Logger button", "main", "download", "btnDataLogger", "effect:downloaded");
        row("main: Data Logger > Setup", "main", "", "Setup1", "effect:set up window");
        row("main: View > Control Panel", "main", "panel closed", "ControlPanel1", "effect:panel shown");
        row("main: View > Real Time Graph", "main", "graph minimised", "RealTimeGraph1", "effect:graph restored");
        row("main: Window > Tile", "main", "", "Tile1", "moved");
        row("main: Window > Cascade", "main", "", "Cascade1", "moved");
        row("main: Window > a window", "main", "", "Window1/-1", "activated");
        row("main: Help > Contents", "main", "", "Contents1", "url:KV3917Help.htm");
        row("main: Help > About", "main", "", "About1", "dialog:AboutDialog");
        row("main: search", "main", "port item", "BitBtn1", "splash shown");
        row("main: port box", "main", "connected", "ComboBoxDeviceName", "connection lost");
        row("main: disconnect", "main", "connected", "BitBtn2", "link dropped");

        // ---- the file commands on each kind of window -------------------------------------
        const struct {
            const char *kind;
            const char *saveExpected;
        } documents[] = {{"realtime", "file:save"},
                         {"logger", "dialog:kv::CollectionChooser"},
                         {"file", "file:save"},
                         {"tablegraph", "file:save"},
                         {"table", "file:save"}};
        for (const auto &d : documents) {
            const QString k = QString::fromLatin1(d.kind);
            QTest::newRow(qPrintable(k + ": File > Save")) << k << "" << "Save1" << QString::fromLatin1(d.saveExpected);
            QTest::newRow(qPrintable(k + ": Save button")) << k << "" << "SpeedButton2" << QString::fromLatin1(d.saveExpected);
            QTest::newRow(qPrintable(k + ": File > Print")) << k << "" << "Print1" << print;
            QTest::newRow(qPrintable(k + ": Print button")) << k << "" << "btnPrint" << print;
            QTest::newRow(qPrintable(k + ": File > Print Preview")) << k << "" << "PrintPreview1" << preview;
        }
        QTest::newRow("table: Output Tabular to graph") << "table" << "" << "btnOutputToGraph" << "window:+1";

        // ---- the graph windows' own tools -------------------------------------------------
        for (const char *kind : {"realtime", "logger", "file", "tablegraph"}) {
            const QString k = QString::fromLatin1(kind);
            auto tool = [&k](const char *what, const char *prepare, const char *control, const QString &expected) {
                QTest::newRow(qPrintable(k + ": " + QString::fromLatin1(what)))
                    << k << QString::fromLatin1(prepare) << QString::fromLatin1(control) << expected;
            };
            tool("Toggle Graph Statistic", "", "ToolButton1", "effect:graph statistics hidden");
            tool("Toggle Line Cursor Statistic", "", "ToolButton2", "effect:line statistics hidden");
            tool("Normal Cursor", "cross", "ToolButton4", "effect:normal tool");
            tool("Draw A Cross On Graph", "", "ToolButton5", "effect:cross tool");
            tool("Text", "", "ToolButton9", "effect:text tool");
            tool("Set Annotation Color", "", "ToolButton15", "color");
            tool("Undo Zoom", "zoomed", "UndoZoom", "effect:zoom undone");
            tool("Graph Option", "", "Button1", "dialog:kv::CustomizeDialog");
            tool("Y Axis", "", "btnChangeScale", "dialog:YScaleDialog");
            tool("Font", "", "Button3", "font");
            tool("Export Picture", "", "btnExportPicture", "file:save");
            tool("Show MAX/MIN on Graph", "", "Button2", "effect:statistics table shown");
            for (const char *box : {"chkRH", "chkT1", "chkT2", "chkWETBULB", "chkDEWPOINT"})
                tool(box, "", box, "effect:channel hidden");
        }
        QTest::newRow("realtime: Clear") << "realtime" << "data" << "tbntClr" << saveQuestion;
        QTest::newRow("realtime: Clear, No") << "realtime" << "data" << "tbntClr" << "effect:graph cleared";
        QTest::newRow("realtime: sampling minutes") << "realtime" << "data" << "ComboBox1"
                                                    << "question:Sampling Rate is being changed";
        QTest::newRow("realtime: sampling seconds") << "realtime" << "data" << "ComboBox2"
                                                    << "question:Sampling Rate is being changed";
        QTest::newRow("logger: data set list") << "logger" << "logger data" << "Grid2" << "effect:second data set";
    }

    void walk()
    {
        QFETCH(QString, window);
        QFETCH(QString, prepare);
        QFETCH(QString, control);
        QFETCH(QString, expected);
        MainWindow &main = m_walk->main;
        QVERIFY(main.isVisible());
        QWidget *w = this->window(window);
        QVERIFY2(w, qPrintable(window));
        activate(w);
        QCoreApplication::processEvents();
        this->prepare(prepare, w);
        if (QTest::currentTestFailed())
            return;
        QObject *target = this->control(w, control);
        QVERIFY2(target, qPrintable(control + QStringLiteral(" not found")));
        m_walked << (window == QLatin1String("main") ? window : QStringLiteral("graph:") + window) + QLatin1Char('/')
                        + control;
        m_walkedControls << control;

        WalkPrompts &prompts = m_walk->prompts;
        prompts.log.clear();
        prompts.answers.clear();
        prompts.dialogs.clear();
        const int windowsBefore = int(area()->subWindowList().size());
        QList<QRect> placesBefore;
        for (QMdiSubWindow *sub : area()->subWindowList())
            placesBefore << sub->geometry();
        const auto checks = effectChecks(w);
        QString effect;
        if (expected.startsWith(QLatin1String("effect:"))) {
            effect = expected.mid(7);
            QVERIFY2(checks.count(effect), qPrintable(effect));
            // The effect is the control's doing: it is not there yet.
            QVERIFY2(!checks.at(effect)(), qPrintable(QStringLiteral("already so: ") + effect));
        }

        // As a user uses the control; "No" where a question comes.
        if (effect == QLatin1String("graph cleared"))
            prompts.answers.push_back(kv::Answer::No);
        m_modalsClosed = 0;
        m_modalCloser.start();
        if (auto *action = qobject_cast<QAction *>(target)) {
            QVERIFY2(action->isEnabled() && action->isVisible(), qPrintable(control + QStringLiteral(" not offered")));
            action->trigger();
        } else if (auto *box = qobject_cast<QComboBox *>(target)) {
            QVERIFY2(box->isEnabled() && box->isVisibleTo(box->window()), qPrintable(control + QStringLiteral(" not offered")));
            if (box->isEditable()) {
                box->setEditText(QStringLiteral("ttyWALK8"));
            } else {
                const int next = (box->currentIndex() + 1) % box->count();
                box->setCurrentIndex(next);
                emit box->activated(next);
            }
        } else if (auto *grid = qobject_cast<QTableWidget *>(target)) {
            QTRY_VERIFY(grid->rowCount() >= 2);
            const QRect cell = grid->visualRect(grid->model()->index(1, 1));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        } else if (auto *button = qobject_cast<QAbstractButton *>(target)) {
            QVERIFY2(button->isEnabled() && button->isVisibleTo(button->window()),
                     qPrintable(control + QStringLiteral(" not offered")));
            button->click();
        } else {
            QFAIL(qPrintable(control + QStringLiteral(" is no control")));
        }
        QCoreApplication::processEvents();
        const auto stopCloser = qScopeGuard([this] { m_modalCloser.stop(); });
        QVERIFY(main.isVisible());

        const QString shown = prompts.log.join(QStringLiteral(" | "));
        if (!effect.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(checks.at(effect)(), qPrintable(effect + QStringLiteral("; shown: ") + shown),
                                      LongCommandMs);
        } else if (expected == QLatin1String("window:+1")) {
            QTRY_COMPARE(int(area()->subWindowList().size()), windowsBefore + 1);
        } else if (expected == QLatin1String("windows kept")) {
            QCOMPARE(prompts.log, QStringList{QStringLiteral("question:Save Real-Time Graph ?")});
            QCOMPARE(int(area()->subWindowList().size()), windowsBefore);
            QVERIFY(main.recorder().isUnsaved());
        } else if (expected == QLatin1String("moved")) {
            QList<QRect> places;
            for (QMdiSubWindow *sub : area()->subWindowList())
                places << sub->geometry();
            QVERIFY(places != placesBefore);
        } else if (expected == QLatin1String("activated")) {
            QMdiSubWindow *last = area()->subWindowList().constLast();
            QCOMPARE(area()->activeSubWindow(), last);
        } else {
            // What a command shows may come once it has waited for the link.
            const auto seen = [&] {
                for (const QString &item : prompts.log)
                    if (item.startsWith(expected))
                        return true;
                return false;
            };
            QTRY_VERIFY2(seen(), qPrintable(QStringLiteral("expected ") + expected + QStringLiteral("; shown: ")
                                            + prompts.log.join(QStringLiteral(" | "))));
        }
        QVERIFY2(m_modalsClosed <= MaxModalsPerRow, "a dialog kept coming back");
        QTRY_VERIFY2(!QApplication::activeModalWidget(), "a dialog is still open");
        QVERIFY(main.isVisible());
        // Set back what a row changed that later rows rely on.
        if (auto *tool = w->findChild<QAbstractButton *>(QStringLiteral("ToolButton4")))
            if (!tool->isChecked())
                tool->click();
        for (const char *panel : {"ToolButton1", "ToolButton2", "chkRH", "chkT1", "chkT2", "chkWETBULB", "chkDEWPOINT"})
            if (auto *b = w->findChild<QAbstractButton *>(QLatin1String(panel)))
                if (!b->isChecked())
                    b->click();
    }

    // The table above leaves nothing out: every command the main window
    // offers and every tool of every kind of graph window has its row.
    void everyControlHasARow()
    {
        QStringList missing;
        MainWindow &main = m_walk->main;
        for (QAction *menu : main.menuBar()->actions())
            for (QAction *a : menu->menu()->actions())
                if (!a->isSeparator() && !a->menu() && a->isVisible() && !a->objectName().isEmpty()
                    && !m_walkedControls.contains(a->objectName()))
                    missing << QStringLiteral("main/") + a->objectName();
        for (QWidget *c : child<QWidget>(main, "ToolBarPanel")->findChildren<QWidget *>())
            if ((qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c)) && c->isVisibleTo(&main)
                && !m_walkedControls.contains(c->objectName()))
                missing << QStringLiteral("main/") + c->objectName();
        for (const char *kind : {"realtime", "logger", "file", "tablegraph"}) {
            QWidget *w = window(QString::fromLatin1(kind));
            QVERIFY(w);
            for (const char *bar : {"ToolBar1", "ToolBar2", "pnlGraphStatistic", "pnlDataSets"})
                for (QWidget *c : child<QWidget>(w, QLatin1String(bar))->findChildren<QWidget *>()) {
                    const bool control = qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c)
                                         || qobject_cast<QTableWidget *>(c);
                    const QString name = QStringLiteral("graph:%1/%2").arg(QLatin1String(kind), c->objectName());
                    if (control && c->isVisibleTo(w) && c->isEnabled() && !m_walked.contains(name))
                        missing << name;
                }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no row for ") + missing.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(TestCommandWalk)
#include "tst_commandwalk.moc"

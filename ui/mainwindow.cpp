#include "ui/mainwindow.h"

#include "ui/collectioncommands.h"

#include "ui/aboutdialog.h"
#include "app/recentfiles.h"
#include "live/displaytext.h"
#include "app/prompt.h"
#include "app/settings.h"
#include "ui/filecommands.h"
#include "ui/graphwindow.h"
#include "ui/loggerdownload.h"
#include "ui/metersetupwindow.h"
#include "ui/maindocuments.h"
#include "ui/panelwindow.h"
#include "realtime/datetime.h"
#include "ui/realtimesetupdialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cfenv>
#include <memory>

namespace {

constexpr int ClientWidth = 966;
constexpr int ClientHeight = 600;
constexpr int ToolBarHeight = 59;
constexpr int StatusPanel0Width = 150;
constexpr int StatusPanel1Width = 50;
constexpr int RealTimeGraphWidth = 800;
constexpr int RealTimeGraphHeightSlack = 40;
// Ten seconds as a fraction of a day, held in single precision.

// Stop waits this long at most for a running poll tick.
constexpr int StopLinkWaitMs = 2500;
// The setup dialog opens with the period of this many samples.
constexpr int SetupPeriodSamples = 2000;

const QString RunResetQuestion = QStringLiteral("There are datas in Real_Time graph ,it have to reset the graph.\n")
                                 + QStringLiteral("Do you want to save the Real-Time graph ?");
const QString NotValidText = QStringLiteral(" is not valid.\n");

const QString OffConnection = QStringLiteral("Off Connection");
const QString OnConnection = QStringLiteral("On Connection");
const QString NoConnection = QStringLiteral("No Connection");
const QString SearchingOn = QStringLiteral("Searching on ");
const QString UnprotectedRecording = QStringLiteral("Recording not protected against a crash");
const QString JournalFailedText =
    QStringLiteral("%1\n\nThis recording is not protected against a crash: if the program ends unexpectedly, "
                   "its samples are lost. Save the graph when the recording is done.");

QToolButton *MakeSpeedButton(QWidget *parent, const char *name, const QString &hint, const QString &icon)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setAutoRaise(true); // flat
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(48, 48);
    return button;
}

QAction *MakeAction(QMenu *menu, const char *name, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

void MaskFloatingPointExceptions()
{
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
}

} // namespace

MainWindow::MainWindow(kv::UsbTransfer &usb, QWidget *parent)
    : QMainWindow(parent), m_connection(usb, m_recorder, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("KV3917"));
    connect(&m_connection, &kv::Connection::connectionFound, this, &MainWindow::showConnectionFound);
    connect(&m_connection, &kv::Connection::connectionLost, this, &MainWindow::showConnectionLost);
    connect(&m_connection, &kv::Connection::linkHeld, this, &MainWindow::showLinkHeld);
    connect(&m_connection, &kv::Connection::sampleDue, this, &MainWindow::addRealTimeSample);
    m_loggerDownload = std::make_unique<MainWindowLoggerDownload>(*this);

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
    // The client area covers its whole window: no scroll bars, no border.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_mdiArea->setFrameShape(QFrame::NoFrame);
    m_mdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(m_mdiArea);

    buildMenus();
    buildToolBar();
    buildStatusBar();
    connectFileCommands();
    setUpDesktop();

    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setObjectName(QStringLiteral("MaxMinTimer"));
    m_blinkTimer->setInterval(kv::PollIntervalMs);
    connect(m_blinkTimer, &QTimer::timeout, this, &MainWindow::runBlinkTick);
    // The journal follows the recording: finished when it stops, deleted
    // with its samples (saved, cleared or dropped with consent).
    connect(&m_recorder, &kv::RealTimeRecorder::stopped, this, [this] { m_journal.finish(); });
    connect(&m_recorder, &kv::RealTimeRecorder::cleared, this, [this] { m_journal.discard(); });
    m_blinkTimer->start();

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height() + ToolBarHeight
                            + m_statusBar->sizeHint().height());
    setWindowState(Qt::WindowMaximized);

    loadStartupState();
}

PanelWindow *MainWindow::panel() const { return m_panel; }
GraphWindow *MainWindow::realTimeGraph() const { return m_realTimeGraph; }
GraphWindow *MainWindow::loggerGraph() const { return m_loggerGraph; }
MeterSetupWindow *MainWindow::setupWindow() const { return m_setupWindow; }
AboutDialog *MainWindow::aboutDialog() const { return m_about; }
AboutDialog *MainWindow::searchSplash() const { return m_searchSplash; }
void MainWindow::setSplash(AboutDialog *splash) { m_splash = splash; }

void MainWindow::connectFileCommands()
{
    m_documents = std::make_unique<MainWindowDocuments>(*this);
    m_files = new kv::FileCommands(*m_documents, this);
    m_files->setObjectName(QStringLiteral("FileCommands"));
    m_collectionHooks = std::make_unique<kv::LoggerCollectionHooks>(
        m_loggerData, [this] { return initialFolder(); }, [this] { ensureLoggerGraph(); });
    m_files->setCollectionHooks(m_collectionHooks.get());
    // A real-time graph saved while it no longer records needs no journal.
    connect(m_files, &kv::FileCommands::graphSaved, this, [this](GraphWindow *graph) {
        if (graph == m_realTimeGraph && !m_recorder.isRecording())
            m_journal.discard();
    });
    connect(m_files, &kv::FileCommands::fileUsed, this, &MainWindow::addRecentFile);
    connect(m_openAction, &QAction::triggered, m_files, &kv::FileCommands::open);
    connect(m_openButton, &QToolButton::clicked, m_files, &kv::FileCommands::open);
    connect(m_saveAction, &QAction::triggered, m_files, &kv::FileCommands::save);
    connect(m_saveButton, &QToolButton::clicked, m_files, &kv::FileCommands::save);
    connect(m_printAction, &QAction::triggered, m_files, &kv::FileCommands::print);
    connect(m_printButton, &QToolButton::clicked, m_files, &kv::FileCommands::print);
    connect(m_printerSetupAction, &QAction::triggered, m_files, &kv::FileCommands::printerSetup);
    connect(m_printPreviewAction, &QAction::triggered, m_files, &kv::FileCommands::printPreview);
    connect(m_tableToGraphButton, &QToolButton::clicked, m_files, &kv::FileCommands::outputTableToGraph);
}

MainWindow::~MainWindow()
{
    if (!m_connection.isClosed())
        saveAndDisconnect();
}

// ---- construction -------------------------------------------------------------

void MainWindow::buildMenus()
{
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->setObjectName(QStringLiteral("File1"));
    m_openAction = MakeAction(m_fileMenu, "Open1", QStringLiteral("&Open"));
    m_saveAction = MakeAction(m_fileMenu, "Save1", QStringLiteral("&Save"));
    m_fileMenu->addSeparator();
    m_printAction = MakeAction(m_fileMenu, "Print1", QStringLiteral("&Print"));
    m_printerSetupAction = MakeAction(m_fileMenu, "PrinterSetup1", QStringLiteral("&Printer Setup"));
    m_printPreviewAction = MakeAction(m_fileMenu, "PrintPreview1", QStringLiteral("Print Pre&view"));
    m_fileMenu->addSeparator();
    m_exitAction = MakeAction(m_fileMenu, "Exit1", QStringLiteral("E&xit"));
    connect(m_exitAction, &QAction::triggered, this, &MainWindow::exitProgram);

    m_realTimeMenu = menuBar()->addMenu(QStringLiteral("Real Time"));
    m_realTimeMenu->setObjectName(QStringLiteral("RealTime1"));
    m_runAction = MakeAction(m_realTimeMenu, "Run1", QStringLiteral("Run"));
    m_runAction->setEnabled(false);
    m_stopAction = MakeAction(m_realTimeMenu, "Stop1", QStringLiteral("Stop"));
    m_stopAction->setEnabled(false);
    connect(m_runAction, &QAction::triggered, this, &MainWindow::startRecording);
    connect(m_stopAction, &QAction::triggered, this, &MainWindow::stopRecording);

    m_loggerMenu = menuBar()->addMenu(QStringLiteral("&Data Logger"));
    m_loggerMenu->setObjectName(QStringLiteral("DataLogger1"));
    m_loadAction = MakeAction(m_loggerMenu, "LoadData1", QStringLiteral("&Load "));
    connect(m_loadAction, &QAction::triggered, this, &MainWindow::loadLoggerData);
    m_setupAction = MakeAction(m_loggerMenu, "Setup1", QStringLiteral("&Setup"));
    connect(m_setupAction, &QAction::triggered, this, &MainWindow::showSetupWindow);

    m_viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    m_viewMenu->setObjectName(QStringLiteral("View1"));
    m_panelAction = MakeAction(m_viewMenu, "ControlPanel1", QStringLiteral("&Control Panel"));
    m_panelAction->setCheckable(true);
    m_panelAction->setChecked(true);
    connect(m_panelAction, &QAction::triggered, this, &MainWindow::showPanel);
    m_graphAction = MakeAction(m_viewMenu, "RealTimeGraph1", QStringLiteral("Real Time &Graph"));
    m_graphAction->setCheckable(true);
    m_graphAction->setChecked(true);
    connect(m_graphAction, &QAction::triggered, this, &MainWindow::showRealTimeGraph);

    m_windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    m_windowMenu->setObjectName(QStringLiteral("Window1"));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &MainWindow::fillWindowMenu);
    fillWindowMenu();

    m_helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    m_helpMenu->setObjectName(QStringLiteral("Help1"));
    m_contentsAction = MakeAction(m_helpMenu, "Contents1", QStringLiteral("&Contents"));
    connect(m_contentsAction, &QAction::triggered, this, &MainWindow::openHelp);
    m_helpMenu->addSeparator();
    m_aboutAction = MakeAction(m_helpMenu, "About1", QStringLiteral("&About"));
    connect(m_aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::fillWindowMenu()
{
    // "&Tile", "&Cascade", then the open child windows.
    m_windowMenu->clear();
    m_tileAction = MakeAction(m_windowMenu, "Tile1", QStringLiteral("&Tile"));
    connect(m_tileAction, &QAction::triggered, this, &MainWindow::tileWindows);
    m_cascadeAction = MakeAction(m_windowMenu, "Cascade1", QStringLiteral("&Cascade"));
    connect(m_cascadeAction, &QAction::triggered, this, &MainWindow::cascadeWindows);
    const auto windows = m_mdiArea->subWindowList();
    if (!windows.isEmpty())
        m_windowMenu->addSeparator();
    int n = 1;
    for (QMdiSubWindow *sub : windows) {
        const QString title = sub->widget() ? sub->widget()->windowTitle() : sub->windowTitle();
        QAction *item = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(title));
        item->setCheckable(true);
        item->setChecked(sub == m_mdiArea->activeSubWindow());
        connect(item, &QAction::triggered, m_mdiArea, [this, sub] { m_mdiArea->setActiveSubWindow(sub); });
    }
}

void MainWindow::buildToolBar()
{
    m_toolBarPanel = new QWidget(this);
    m_toolBarPanel->setObjectName(QStringLiteral("ToolBarPanel"));
    auto *layout = new QHBoxLayout(m_toolBarPanel);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);

    m_openButton = MakeSpeedButton(m_toolBarPanel, "SpeedButton1", QStringLiteral("Open File"), QStringLiteral(":/icons/open.svg"));
    m_saveButton = MakeSpeedButton(m_toolBarPanel, "SpeedButton2", QStringLiteral("Save to file"), QStringLiteral(":/icons/save.svg"));
    m_printButton = MakeSpeedButton(m_toolBarPanel, "btnPrint", QStringLiteral("Print"), QStringLiteral(":/icons/print.svg"));
    m_dataLoggerButton = MakeSpeedButton(m_toolBarPanel, "btnDataLogger", QStringLiteral("Data Logger"), QStringLiteral(":/icons/datalogger.svg"));
    connect(m_dataLoggerButton, &QToolButton::clicked, this, &MainWindow::loadLoggerData);
    m_tableToGraphButton = MakeSpeedButton(m_toolBarPanel, "btnOutputToGraph", QStringLiteral("Output Tabular to graph"), QStringLiteral(":/icons/tabletograph.svg"));
    m_tableToGraphButton->setEnabled(false);
    m_runButton = MakeSpeedButton(m_toolBarPanel, "btnRun", QStringLiteral("Start Graphing Real Time Data"), QStringLiteral(":/icons/run.svg"));
    m_runButton->setEnabled(false);
    m_stopButton = MakeSpeedButton(m_toolBarPanel, "btnStop", QStringLiteral("Stop Graphing Real Time Data"), QStringLiteral(":/icons/stop.svg"));
    m_stopButton->setEnabled(false);
    connect(m_runButton, &QToolButton::clicked, this, &MainWindow::startRecording);
    connect(m_stopButton, &QToolButton::clicked, this, &MainWindow::stopRecording);
    m_helpButton = MakeSpeedButton(m_toolBarPanel, "SpeedButton8", QStringLiteral("Help"), QStringLiteral(":/icons/help.svg"));
    m_helpButton->setVisible(false);
    connect(m_helpButton, &QToolButton::clicked, this, &MainWindow::openHelp);

    m_portBox = new QComboBox(m_toolBarPanel);
    m_portBox->setObjectName(QStringLiteral("ComboBoxDeviceName"));
    m_portBox->setEditable(true);
    // Every keystroke is a connection attempt: completing "t" to a listed
    // "ttyS0" would try a name nobody typed.
    m_portBox->setCompleter(nullptr);
    m_portBox->setMinimumWidth(160);
    m_portBox->setEditText(QStringLiteral("ComPort"));

    m_searchButton = MakeSpeedButton(m_toolBarPanel, "BitBtn1", QStringLiteral("search bluetooth device"), QStringLiteral(":/icons/search.svg"));
    m_disconnectButton = MakeSpeedButton(m_toolBarPanel, "BitBtn2", QStringLiteral("disconnect bluetooth device"), QStringLiteral(":/icons/disconnect.svg"));
    // Every change of the text, picked or typed, is a connection attempt.
    connect(m_portBox, &QComboBox::editTextChanged, this, &MainWindow::connectTypedPort);
    connect(m_searchButton, &QToolButton::clicked, this, &MainWindow::searchPorts);
    connect(m_disconnectButton, &QToolButton::clicked, this, &MainWindow::dropLink);

    for (QWidget *w : std::initializer_list<QWidget *>{m_openButton, m_saveButton, m_printButton, m_dataLoggerButton,
                                                      m_tableToGraphButton, m_runButton, m_stopButton, m_helpButton})
        layout->addWidget(w);
    layout->addSpacing(16);
    layout->addWidget(m_portBox);
    layout->addWidget(m_searchButton);
    layout->addWidget(m_disconnectButton);
    layout->addStretch();

    // The tool bar: a fixed strip between the menu and the client area.
    m_toolBar = addToolBar(QStringLiteral("Tool bar"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->toggleViewAction()->setVisible(false);
    m_toolBar->setFixedHeight(ToolBarHeight);
    m_toolBar->addWidget(m_toolBarPanel);
}

void MainWindow::buildStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    const int widths[2] = {StatusPanel0Width, StatusPanel1Width};
    for (int i = 0; i < 2; ++i) {
        auto *panel = new QLabel(m_statusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setMinimumWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        m_statusBar->addWidget(panel);
        m_statusPanels[static_cast<std::size_t>(i)] = panel;
    }
    m_journalStatus = new QLabel(UnprotectedRecording, m_statusBar);
    m_journalStatus->setObjectName(QStringLiteral("StatusJournal"));
    m_journalStatus->setFrameShape(QFrame::Panel);
    m_journalStatus->setFrameShadow(QFrame::Sunken);
    m_journalStatus->hide();
    m_statusBar->addWidget(m_journalStatus);
    setStatusBar(m_statusBar);
}

void MainWindow::setStatusText(int panel, const QString &text)
{
    m_statusPanels[static_cast<std::size_t>(panel)]->setText(text);
    if (panel == 1)
        m_statusPanels[1]->setAccessibleName(kv::ConnectionStateText(text));
}

QString MainWindow::statusText(int panel) const { return m_statusPanels[static_cast<std::size_t>(panel)]->text(); }

// ---- life cycle ------------------------------------------------------------------

void MainWindow::loadStartupState()
{
    m_settings.load();
    m_recorder.setPeriod(m_settings.realTimeRate);

    m_panelGlyphs.load();

    // The serial ports present, in the order the system lists them.  The
    // first is selected without connecting: the port stays closed.
    const QSignalBlocker quiet(m_portBox);
    m_portBox->addItems(kv::SerialPortNames());
    if (m_portBox->count() > 0) {
        m_portBox->setCurrentIndex(0);
        m_connection.selectPort(m_portBox->itemText(0));
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        showFirstTime();
    }
}

void MainWindow::showFirstTime()
{
    m_settings.dataFolder = kv::DetermineDataFolder();
    m_loggerData.setDataFolder(m_settings.dataFolder);
    m_setupAction->setVisible(m_serviceMode); // a service item, offered only with --service
    MaskFloatingPointExceptions();
    m_recorder.setTimeAxisMargin(kv::InitialTimeAxisMargin);
    createRealTimeGraph();
    createPanel();

    if (m_realTimeGraph) {
        const int left = m_panel ? m_panel->parentWidget()->width() : 0;
        const int height = m_mdiArea->height() - RealTimeGraphHeightSlack;
        m_realTimeGraph->parentWidget()->setGeometry(left, 0, RealTimeGraphWidth, std::max(height, 200));
        m_realTimeGraph->setFocus();
    }

    // The panel shows the connection by itself.
    setStatusText(1, m_connection.isConnected() ? OnConnection : OffConnection);
    m_connection.startPolling();
    if (m_splash)
        m_splash->close();
    QTimer::singleShot(0, this, [this] {
        offerJournalRestore();
        offerDownloadRestore();
    });
}

void MainWindow::offerJournalRestore()
{
    // A journal another running instance holds is not left behind.
    if (!QFileInfo::exists(m_journal.path()) || !m_journal.claim())
        return;
    kv::JournalContents contents;
    QString error;
    // A journal without a sound header or without samples holds nothing to
    // restore.
    if (!kv::ReadJournalFile(m_journal.path(), &contents, &error) || contents.records.empty()
        || kv::Prompts().askYesNo(this, kv::RestoreJournalQuestion(contents)) != kv::Answer::Yes) {
        m_journal.discard();
        return;
    }
    if (!m_realTimeGraph)
        createRealTimeGraph();
    // Replayed like a recording that was stopped after its last sample; the
    // journal stays until these data are saved or dropped.
    const int count = int(contents.records.size());
    m_realTimeGraph->startRecording(count + 1, contents.header.start);
    m_recorder.start(count + 1);
    for (const kv::JournalRecord &record : contents.records)
        m_realTimeGraph->addSample(record.toReading(), kv::FromDateTime(record.time));
    m_recorder.stop();
    m_realTimeGraph->stopRecording(contents.records.back().time);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every question about unsaved data first: Cancel to any of them closes
    // nothing.  Then the saves as answered (one that does not happen keeps
    // everything open too), and only then the windows close.
    QList<QPointer<GraphWindow>> graphs;
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList())
        if (auto *graph = qobject_cast<GraphWindow *>(sub->widget()))
            graphs << graph;
    for (const QPointer<GraphWindow> &graph : graphs)
        if (graph && !graph->askBeforeClose()) {
            event->ignore();
            return;
        }
    for (const QPointer<GraphWindow> &graph : graphs)
        if (graph && !graph->saveAsAnswered()) {
            event->ignore();
            return;
        }
    // A child that still refuses (a setup operation running) keeps the
    // program open.
    m_mdiArea->closeAllSubWindows();
    if (!m_mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
    saveAndDisconnect();
}

void MainWindow::saveAndDisconnect()
{
    m_connection.close();
    m_settings.realTimeRate = m_recorder.period();
    m_settings.save();

    m_panelGlyphs.large.fill(QPixmap());
}

// ---- child windows ---------------------------------------------------------------

QMdiSubWindow *MainWindow::addChild(QWidget *child, Qt::WindowFlags flags)
{
    QMdiSubWindow *sub = m_mdiArea->addSubWindow(child, flags);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    return sub;
}

void MainWindow::createPanel()
{
    auto *panel = new PanelWindow(m_connection, m_panelGlyphs);
    connect(panel, &PanelWindow::activated, this, [this] { m_tableToGraphButton->setEnabled(false); });
    connect(panel, &PanelWindow::closed, this, [this, panel] {
        if (m_panel == panel)
            m_panel = nullptr;
        m_panelAction->setChecked(false);
    });
    QMdiSubWindow *sub = addChild(panel, Qt::FramelessWindowHint);
    sub->move(0, 0);
    m_panel = panel;
    m_panelAction->setChecked(true);
    sub->show();
}

QMdiSubWindow *MainWindow::addGraphWindow(GraphWindow *graph)
{
    QMdiSubWindow *sub = addChild(graph);
    connect(graph, &GraphWindow::activated, m_tableToGraphButton, [button = m_tableToGraphButton] {
        button->setEnabled(false);
    });
    connect(graph, &GraphWindow::fileSaved, this, &MainWindow::addRecentFile);
    connect(graph, &GraphWindow::recordingFull, this, [this] { endRecording(true); });
    connect(graph, &GraphWindow::recordingSaved, this, [this] { m_journal.discard(); });
    connect(graph, &GraphWindow::recordingReset, this,
            [this] { setRunStopEnabled(m_connection.isConnected(), false); });
    connect(graph, &GraphWindow::closed, this, [this, graph] {
        if (graph == m_loggerGraph)
            m_loggerGraph = nullptr;
        if (graph == m_realTimeGraph) {
            m_graphAction->setChecked(false);
            m_realTimeGraph = nullptr;
            setRunStopEnabled(m_connection.isConnected(), false);
            m_recorder.setRecording(false);
            m_recorder.clear();
        }
    });
    return sub;
}

void MainWindow::createRealTimeGraph()
{
    auto *graph = new GraphWindow(RealTimeGraphCaption, m_recorder, m_annotationCursor, m_settings);
    QMdiSubWindow *sub = addGraphWindow(graph);
    m_realTimeGraph = graph;
    m_graphAction->setChecked(true);
    graph->setUpRealTimeGraph(now());
    sub->show();
    sub->raise();
}

void MainWindow::showSetupWindow()
{
    if (m_setupWindow) {
        auto *sub = qobject_cast<QMdiSubWindow *>(m_setupWindow->parentWidget());
        if (sub) {
            sub->showNormal();
            m_mdiArea->setActiveSubWindow(sub);
        }
        return;
    }
    auto *window = new MeterSetupWindow(m_connection.link().usb(), m_setupState, m_setupHost);
    window->setLinkHeld(m_connection.isLinkHeld());
    connect(&m_connection, &kv::Connection::linkHeld, window, &MeterSetupWindow::setLinkHeld);
    QMdiSubWindow *sub = addChild(window);
    m_setupWindow = window;
    sub->adjustSize();
    sub->move(std::max(0, (m_mdiArea->width() - sub->width()) / 2), std::max(0, (m_mdiArea->height() - sub->height()) / 2));
    sub->show();
    sub->raise();
}

double MainWindow::now() const { return kv::ToDateTime(m_connection.now()); }

QString MainWindow::helpFilePath()
{
    // Beside the program (build tree, unpacked copy), else where the install
    // puts it: the documentation folder relative to the program's folder.
    const QString name = QStringLiteral("KV3917Help.htm");
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(name);
#ifdef KV_HELP_DIR_FROM_BIN
    if (!QFileInfo::exists(beside)) {
        const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral(KV_HELP_DIR_FROM_BIN "/") + name));
        if (QFileInfo::exists(installed))
            return installed;
    }
#endif
    return beside;
}

// ---- handlers ---------------------------------------------------------------------

void MainWindow::runBlinkTick()
{
    m_blinkPhase = !m_blinkPhase;
    if (m_panel)
        m_panel->blinkSymbols(m_blinkPhase);
}

void MainWindow::showPanel()
{
    if (m_panel) {
        m_panel->parentWidget()->showNormal();
        m_panelAction->setChecked(true);
        return;
    }
    createPanel();
}

void MainWindow::showRealTimeGraph()
{
    if (m_realTimeGraph) {
        m_realTimeGraph->parentWidget()->showNormal();
        m_graphAction->setChecked(true);
        return;
    }
    createRealTimeGraph();
}

void MainWindow::tileWindows() { m_mdiArea->tileSubWindows(); }

void MainWindow::cascadeWindows() { m_mdiArea->cascadeSubWindows(); }

void MainWindow::openHelp()
{
    // The result is ignored: a missing page shows nothing.
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpFilePath()));
}

void MainWindow::showAbout()
{
    auto *about = new AboutDialog(this);
    m_about = about;
    kv::Prompts().exec(*about);
    delete about;
    m_about = nullptr;
}

void MainWindow::exitProgram() { close(); }

// ---- serial port link --------------------------------------------------------------

void MainWindow::connectTypedPort(const QString &) { connectSelectedPort(); }

void MainWindow::connectSelectedPort() { m_connection.connectPort(m_portBox->currentText()); }

void MainWindow::searchPorts()
{
    if (m_connection.isLinkHeld())
        return; // another operation has the link
    QStringList ports;
    for (int i = 0; i < m_portBox->count(); ++i)
        ports << m_portBox->itemText(i);

    auto *splash = new AboutDialog(this);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    m_searchSplash = splash;
    splash->showAsSplash();
    // The search holds the link: the port controls are disabled meanwhile.
    m_connection.searchPorts(ports, *this);
    if (m_searchSplash)
        m_searchSplash->close();
}

void MainWindow::searchingOn(int index, const QString &device)
{
    {
        // Selected in code: no connection attempt of its own.
        const QSignalBlocker quiet(m_portBox);
        m_portBox->setCurrentIndex(index);
    }
    if (m_searchSplash)
        m_searchSplash->setTitleText(SearchingOn + device);
}

void MainWindow::dropLink() { m_connection.dropLink(); }

void MainWindow::loadLoggerData() { m_loggerDownload->loadData(); }

void MainWindow::showLinkHeld(bool held)
{
    // While an operation holds the link, no other link user can be started.
    // Typing in the port box connects at every change, holding the link for
    // a moment: the box gets its focus back, so typing goes on.
    if (held) {
        QWidget *focus = QApplication::focusWidget();
        m_focusBeforeHold = focus && (focus == m_portBox || m_portBox->isAncestorOf(focus)) ? focus : nullptr;
    }
    setPortControlsEnabled(!held);
    if (!held && m_focusBeforeHold) {
        m_focusBeforeHold->setFocus();
        m_focusBeforeHold = nullptr;
    }
    m_loadAction->setEnabled(!held);
    // The button also follows the connection state, as the logger menu does.
    m_dataLoggerButton->setEnabled(!held && m_loggerMenu->menuAction()->isEnabled());
}

void MainWindow::setPortControlsEnabled(bool enabled)
{
    m_portBox->setEnabled(enabled);
    m_searchButton->setEnabled(enabled);
    m_disconnectButton->setEnabled(enabled);
}

// ---- connection state as shown ------------------------------------------------------

void MainWindow::setRunStopEnabled(bool run, bool stop)
{
    m_runButton->setEnabled(run);
    m_runAction->setEnabled(run);
    m_stopButton->setEnabled(stop);
    m_stopAction->setEnabled(stop);
}

void MainWindow::showConnectionFound()
{
    setStatusText(0, QString());
    setStatusText(1, OnConnection);
    m_loggerMenu->menuAction()->setVisible(true);
    m_loggerMenu->menuAction()->setEnabled(true);
    m_dataLoggerButton->setVisible(true);
    m_dataLoggerButton->setEnabled(!m_connection.isLinkHeld());
    setRunStopEnabled(!m_recorder.isRecording(), m_recorder.isRecording());
    if (m_realTimeGraph)
        m_realTimeGraph->setClearEnabled(!m_recorder.isRecording());
}

void MainWindow::showConnectionLost()
{
    setRunStopEnabled(false, false);
    m_dataLoggerButton->setEnabled(false);
    m_loggerMenu->menuAction()->setEnabled(false);
    setStatusText(0, QString());
    setStatusText(1, NoConnection);
}

void MainWindow::addRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp)
{
    if (!m_realTimeGraph)
        return;
    // Journal first: a full graph stops the recording, which closes it.
    QString error;
    if (m_journal.isOpen() && !m_journal.append(kv::JournalRecord::fromReading(reading, kv::ToDateTime(stamp)), &error))
        reportJournalFailure(error);
    m_realTimeGraph->addSample(reading, stamp);
}

void MainWindow::reportJournalFailure(const QString &error)
{
    qWarning("%s", qPrintable(error));
    if (m_journalFailureReported)
        return;
    m_journalFailureReported = true;
    m_journalStatus->setToolTip(error);
    m_journalStatus->show();
    // Shown after the poll tick that found the failure, so the link is not
    // held while the message is open.
    QMetaObject::invokeMethod(
        this, [this, error] { kv::Prompts().message(this, JournalFailedText.arg(error)); }, Qt::QueuedConnection);
}

// ---- real-time recording ---------------------------------------------------------------

void MainWindow::startRecording()
{
    if (!m_connection.isConnected())
        return;
    if (m_realTimeGraph) {
        m_realTimeGraph->restoreWindow();
        if (m_recorder.isRecording() || m_recorder.count() > 0) {
            switch (kv::Prompts().askYesNoCancel(this, RunResetQuestion)) {
            case kv::Answer::Cancel:
                return;
            case kv::Answer::Yes:
                // A save that did not happen keeps the recording.
                if (!m_realTimeGraph->saveRecording())
                    return;
                break;
            default:
                break;
            }
        }
    } else {
        createRealTimeGraph();
    }
    if (!m_realTimeGraph)
        return;

    RealTimeSetupDialog dialog(this);
    dialog.setSamplingIndexes(m_realTimeGraph->minutesIndex(), m_realTimeGraph->secondsIndex());
    dialog.setPeriodText(kv::RecordingPeriodText(qint64(m_recorder.period()) * SetupPeriodSamples, false));
    if (kv::Prompts().exec(dialog) != QDialog::Accepted || !m_realTimeGraph)
        return;
    const QString typed = dialog.sampleCountText();
    m_realTimeGraph->setSamplingIndexes(dialog.minutesIndex(), dialog.secondsIndex());
    bool ok = false;
    const int count = typed.trimmed().toInt(&ok);
    // A recording of no samples would end at its first sample: refused.
    if (!ok || count <= 0) {
        kv::Prompts().message(this, typed + NotValidText);
        return;
    }
    m_recorder.setPeriod(m_realTimeGraph->samplingPeriod());
    if (m_recorder.period() == 0)
        return;

    const double start = now();
    m_realTimeGraph->startRecording(count, start);
    m_recorder.start(count);
    kv::JournalHeader journal;
    journal.start = start;
    journal.periodSeconds = std::uint32_t(m_recorder.period());
    journal.requestedCount = std::uint32_t(count);
    journal.unitCode = m_connection.reading().UnitCode;
    QString error;
    m_journalFailureReported = false;
    m_journalStatus->hide();
    if (!m_journal.start(journal, &error))
        reportJournalFailure(error);
    setRunStopEnabled(false, true);
}

void MainWindow::stopRecording() { endRecording(false); }

void MainWindow::endRecording(bool insideTick)
{
    // A tick running below a nested wait: let it finish, without handling
    // input meanwhile.
    if (!insideTick)
        m_connection.waitForTick(StopLinkWaitMs);
    m_recorder.stop();
    setRunStopEnabled(m_connection.isConnected(), false);
    if (!m_realTimeGraph)
        return;
    m_realTimeGraph->stopRecording(now());
}

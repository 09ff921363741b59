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
    : QMainWindow(parent), m_connection(usb, Recorder, this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("KV3917"));
    connect(&m_connection, &kv::Connection::connectionFound, this, &MainWindow::showConnectionFound);
    connect(&m_connection, &kv::Connection::connectionLost, this, &MainWindow::showConnectionLost);
    connect(&m_connection, &kv::Connection::linkDropped, this, &MainWindow::ShowPanelDisconnected);
    connect(&m_connection, &kv::Connection::linkPictureHidden, this, &MainWindow::hideLinkPicture);
    connect(&m_connection, &kv::Connection::readingDecoded, this, &MainWindow::updatePanel);
    connect(&m_connection, &kv::Connection::sampleDue, this, &MainWindow::addRealTimeSample);
    LoggerDownload = std::make_unique<MainWindowLoggerDownload>(*this);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    // The client area covers its whole window: no scroll bars, no border.
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MdiArea->setFrameShape(QFrame::NoFrame);
    MdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(MdiArea);

    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    ConnectFileCommands();
    SetUpDesktop();

    MaxMinTimer = new QTimer(this);
    MaxMinTimer->setObjectName(QStringLiteral("MaxMinTimer"));
    MaxMinTimer->setInterval(kv::PollIntervalMs);
    connect(MaxMinTimer, &QTimer::timeout, this, &MainWindow::runBlinkTick);
    // The journal follows the recording: finished when it stops, deleted
    // with its samples (saved, cleared or dropped with consent).
    connect(&Recorder, &kv::RealTimeRecorder::stopped, this, [this] { RecordingJournal.finish(); });
    connect(&Recorder, &kv::RealTimeRecorder::cleared, this, [this] { RecordingJournal.discard(); });
    MaxMinTimer->start();

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height() + ToolBarHeight
                            + StatusBar1->sizeHint().height());
    setWindowState(Qt::WindowMaximized);

    FormCreate();
}

void MainWindow::ConnectFileCommands()
{
    m_documents = std::make_unique<MainWindowDocuments>(*this);
    Files = new kv::FileCommands(*m_documents, this);
    Files->setObjectName(QStringLiteral("FileCommands"));
    m_collectionHooks = std::make_unique<kv::LoggerCollectionHooks>(
        LoggerData, [this] { return InitialFolder(); }, [this] { ensureLoggerGraph(); });
    Files->setCollectionHooks(m_collectionHooks.get());
    // A real-time graph saved while it no longer records needs no journal.
    connect(Files, &kv::FileCommands::graphSaved, this, [this](GraphWindow *graph) {
        if (graph == RealTimeGraph && !Recorder.isRecording())
            RecordingJournal.discard();
    });
    connect(Files, &kv::FileCommands::fileUsed, this, &MainWindow::addRecentFile);
    connect(Open1, &QAction::triggered, Files, &kv::FileCommands::open);
    connect(SpeedButton1, &QToolButton::clicked, Files, &kv::FileCommands::open);
    connect(Save1, &QAction::triggered, Files, &kv::FileCommands::save);
    connect(SpeedButton2, &QToolButton::clicked, Files, &kv::FileCommands::save);
    connect(Print1, &QAction::triggered, Files, &kv::FileCommands::print);
    connect(btnPrint, &QToolButton::clicked, Files, &kv::FileCommands::print);
    connect(PrinterSetup1, &QAction::triggered, Files, &kv::FileCommands::printerSetup);
    connect(PrintPreview1, &QAction::triggered, Files, &kv::FileCommands::printPreview);
    connect(btnOutputToGraph, &QToolButton::clicked, Files, &kv::FileCommands::outputTableToGraph);
}

MainWindow::~MainWindow()
{
    if (!m_connection.isClosed())
        FormClose();
}

// ---- construction -------------------------------------------------------------

void MainWindow::BuildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Open1 = MakeAction(File1, "Open1", QStringLiteral("&Open"));
    Save1 = MakeAction(File1, "Save1", QStringLiteral("&Save"));
    File1->addSeparator();
    Print1 = MakeAction(File1, "Print1", QStringLiteral("&Print"));
    PrinterSetup1 = MakeAction(File1, "PrinterSetup1", QStringLiteral("&Printer Setup"));
    PrintPreview1 = MakeAction(File1, "PrintPreview1", QStringLiteral("Print Pre&view"));
    File1->addSeparator();
    Exit1 = MakeAction(File1, "Exit1", QStringLiteral("E&xit"));
    connect(Exit1, &QAction::triggered, this, &MainWindow::exitProgram);

    RealTime1 = menuBar()->addMenu(QStringLiteral("Real Time"));
    RealTime1->setObjectName(QStringLiteral("RealTime1"));
    Run1 = MakeAction(RealTime1, "Run1", QStringLiteral("Run"));
    Run1->setEnabled(false);
    Stop1 = MakeAction(RealTime1, "Stop1", QStringLiteral("Stop"));
    Stop1->setEnabled(false);
    connect(Run1, &QAction::triggered, this, &MainWindow::startRecording);
    connect(Stop1, &QAction::triggered, this, &MainWindow::stopRecording);

    DataLogger1 = menuBar()->addMenu(QStringLiteral("&Data Logger"));
    DataLogger1->setObjectName(QStringLiteral("DataLogger1"));
    LoadData1 = MakeAction(DataLogger1, "LoadData1", QStringLiteral("&Load "));
    connect(LoadData1, &QAction::triggered, this, &MainWindow::loadLoggerData);
    Setup1 = MakeAction(DataLogger1, "Setup1", QStringLiteral("&Setup"));
    connect(Setup1, &QAction::triggered, this, &MainWindow::showSetupWindow);

    View1 = menuBar()->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    ControlPanel1 = MakeAction(View1, "ControlPanel1", QStringLiteral("&Control Panel"));
    ControlPanel1->setCheckable(true);
    ControlPanel1->setChecked(true);
    connect(ControlPanel1, &QAction::triggered, this, &MainWindow::showPanel);
    RealTimeGraph1 = MakeAction(View1, "RealTimeGraph1", QStringLiteral("Real Time &Graph"));
    RealTimeGraph1->setCheckable(true);
    RealTimeGraph1->setChecked(true);
    connect(RealTimeGraph1, &QAction::triggered, this, &MainWindow::showRealTimeGraph);

    Window1 = menuBar()->addMenu(QStringLiteral("&Window"));
    Window1->setObjectName(QStringLiteral("Window1"));
    connect(Window1, &QMenu::aboutToShow, this, &MainWindow::FillWindowMenu);
    FillWindowMenu();

    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Contents1 = MakeAction(Help1, "Contents1", QStringLiteral("&Contents"));
    connect(Contents1, &QAction::triggered, this, &MainWindow::openHelp);
    Help1->addSeparator();
    About1 = MakeAction(Help1, "About1", QStringLiteral("&About"));
    connect(About1, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::FillWindowMenu()
{
    // "&Tile", "&Cascade", then the open child windows.
    Window1->clear();
    Tile1 = MakeAction(Window1, "Tile1", QStringLiteral("&Tile"));
    connect(Tile1, &QAction::triggered, this, &MainWindow::tileWindows);
    Cascade1 = MakeAction(Window1, "Cascade1", QStringLiteral("&Cascade"));
    connect(Cascade1, &QAction::triggered, this, &MainWindow::cascadeWindows);
    const auto windows = MdiArea->subWindowList();
    if (!windows.isEmpty())
        Window1->addSeparator();
    int n = 1;
    for (QMdiSubWindow *sub : windows) {
        const QString title = sub->widget() ? sub->widget()->windowTitle() : sub->windowTitle();
        QAction *item = Window1->addAction(QStringLiteral("&%1 %2").arg(n++).arg(title));
        item->setCheckable(true);
        item->setChecked(sub == MdiArea->activeSubWindow());
        connect(item, &QAction::triggered, MdiArea, [this, sub] { MdiArea->setActiveSubWindow(sub); });
    }
}

void MainWindow::BuildToolBar()
{
    ToolBarPanel = new QWidget(this);
    ToolBarPanel->setObjectName(QStringLiteral("ToolBarPanel"));
    auto *layout = new QHBoxLayout(ToolBarPanel);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);

    SpeedButton1 = MakeSpeedButton(ToolBarPanel, "SpeedButton1", QStringLiteral("Open File"), QStringLiteral(":/icons/open.svg"));
    SpeedButton2 = MakeSpeedButton(ToolBarPanel, "SpeedButton2", QStringLiteral("Save to file"), QStringLiteral(":/icons/save.svg"));
    btnPrint = MakeSpeedButton(ToolBarPanel, "btnPrint", QStringLiteral("Print"), QStringLiteral(":/icons/print.svg"));
    btnDataLogger = MakeSpeedButton(ToolBarPanel, "btnDataLogger", QStringLiteral("Data Logger"), QStringLiteral(":/icons/datalogger.svg"));
    connect(btnDataLogger, &QToolButton::clicked, this, &MainWindow::loadLoggerData);
    btnOutputToGraph = MakeSpeedButton(ToolBarPanel, "btnOutputToGraph", QStringLiteral("Output Tabular to graph"), QStringLiteral(":/icons/tabletograph.svg"));
    btnOutputToGraph->setEnabled(false);
    btnRun = MakeSpeedButton(ToolBarPanel, "btnRun", QStringLiteral("Start Graphing Real Time Data"), QStringLiteral(":/icons/run.svg"));
    btnRun->setEnabled(false);
    btnStop = MakeSpeedButton(ToolBarPanel, "btnStop", QStringLiteral("Stop Graphing Real Time Data"), QStringLiteral(":/icons/stop.svg"));
    btnStop->setEnabled(false);
    connect(btnRun, &QToolButton::clicked, this, &MainWindow::startRecording);
    connect(btnStop, &QToolButton::clicked, this, &MainWindow::stopRecording);
    SpeedButton8 = MakeSpeedButton(ToolBarPanel, "SpeedButton8", QStringLiteral("Help"), QStringLiteral(":/icons/help.svg"));
    SpeedButton8->setVisible(false);
    connect(SpeedButton8, &QToolButton::clicked, this, &MainWindow::openHelp);

    ComboBoxDeviceName = new QComboBox(ToolBarPanel);
    ComboBoxDeviceName->setObjectName(QStringLiteral("ComboBoxDeviceName"));
    ComboBoxDeviceName->setEditable(true);
    // Every keystroke is a connection attempt: completing "t" to a listed
    // "ttyS0" would try a name nobody typed.
    ComboBoxDeviceName->setCompleter(nullptr);
    ComboBoxDeviceName->setMinimumWidth(160);
    ComboBoxDeviceName->setEditText(QStringLiteral("ComPort"));

    BitBtn1 = MakeSpeedButton(ToolBarPanel, "BitBtn1", QStringLiteral("search bluetooth device"), QStringLiteral(":/icons/search.svg"));
    BitBtn2 = MakeSpeedButton(ToolBarPanel, "BitBtn2", QStringLiteral("disconnect bluetooth device"), QStringLiteral(":/icons/disconnect.svg"));
    // Every change of the text, picked or typed, is a connection attempt.
    connect(ComboBoxDeviceName, &QComboBox::editTextChanged, this, &MainWindow::connectTypedPort);
    connect(BitBtn1, &QToolButton::clicked, this, &MainWindow::searchPorts);
    connect(BitBtn2, &QToolButton::clicked, this, &MainWindow::dropLink);

    for (QWidget *w : std::initializer_list<QWidget *>{SpeedButton1, SpeedButton2, btnPrint, btnDataLogger,
                                                      btnOutputToGraph, btnRun, btnStop, SpeedButton8})
        layout->addWidget(w);
    layout->addSpacing(16);
    layout->addWidget(ComboBoxDeviceName);
    layout->addWidget(BitBtn1);
    layout->addWidget(BitBtn2);
    layout->addStretch();

    // The tool bar: a fixed strip between the menu and the client area.
    ToolBar1 = addToolBar(QStringLiteral("Tool bar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->toggleViewAction()->setVisible(false);
    ToolBar1->setFixedHeight(ToolBarHeight);
    ToolBar1->addWidget(ToolBarPanel);
}

void MainWindow::BuildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    const int widths[2] = {StatusPanel0Width, StatusPanel1Width};
    for (int i = 0; i < 2; ++i) {
        auto *panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setMinimumWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(panel);
        StatusPanels[static_cast<std::size_t>(i)] = panel;
    }
    setStatusBar(StatusBar1);
}

void MainWindow::SetStatusText(int panel, const QString &text)
{
    StatusPanels[static_cast<std::size_t>(panel)]->setText(text);
    if (panel == 1)
        StatusPanels[1]->setAccessibleName(kv::ConnectionStateText(text));
}

QString MainWindow::StatusText(int panel) const { return StatusPanels[static_cast<std::size_t>(panel)]->text(); }

void MainWindow::LoadGlyphs()
{
    // A missing picture stops the loading of its set; the rest stay absent.
    const auto load = [](std::array<QPixmap, GlyphPictureCount> &set, const QString &prefix) {
        for (int i = 0; i < GlyphPictureCount; ++i) {
            const QPixmap picture = kv::LoadPicture(QStringLiteral(":/glyphs/%1%2.jpg").arg(prefix).arg(i));
            if (picture.isNull())
                return;
            set[static_cast<std::size_t>(i)] = picture;
        }
    };
    load(GlyphSetLarge, QStringLiteral("LCD"));
    load(GlyphSetSmall, QStringLiteral("LCDS"));
}

// ---- life cycle ------------------------------------------------------------------

void MainWindow::FormCreate()
{
    m_settings.load();
    Recorder.setPeriod(m_settings.realTimeRate);

    LoadGlyphs();

    // The serial ports present, in the order the system lists them.  The
    // first is selected without connecting: the port stays closed.
    const QSignalBlocker quiet(ComboBoxDeviceName);
    ComboBoxDeviceName->addItems(kv::SerialPortNames());
    if (ComboBoxDeviceName->count() > 0) {
        ComboBoxDeviceName->setCurrentIndex(0);
        m_connection.selectPort(ComboBoxDeviceName->itemText(0));
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void MainWindow::FormShow()
{
    m_settings.dataFolder = kv::DetermineDataFolder();
    LoggerData.setDataFolder(m_settings.dataFolder);
    Setup1->setVisible(ServiceMode); // a service item, offered only with --service
    MaskFloatingPointExceptions();
    Recorder.setTimeAxisMargin(kv::InitialTimeAxisMargin);
    CreateRealTimeGraph();
    CreatePanel();

    if (RealTimeGraph) {
        const int left = frmPanel ? frmPanel->parentWidget()->width() : 0;
        const int height = MdiArea->height() - RealTimeGraphHeightSlack;
        RealTimeGraph->parentWidget()->setGeometry(left, 0, RealTimeGraphWidth, std::max(height, 200));
        RealTimeGraph->setFocus();
    }

    if (m_connection.isConnected()) {
        if (frmPanel)
            frmPanel->lblNoConnection->hide();
        SetStatusText(1, OnConnection);
    } else {
        if (frmPanel) {
            frmPanel->ingBlutoothLink->hide();
            frmPanel->lblNoConnection->show();
        }
        SetStatusText(1, OffConnection);
    }
    m_connection.startPolling();
    if (Splash)
        Splash->close();
    QTimer::singleShot(0, this, [this] {
        OfferJournalRestore();
        OfferDownloadRestore();
    });
}

void MainWindow::OfferJournalRestore()
{
    // A journal another running instance holds is not left behind.
    if (!QFileInfo::exists(RecordingJournal.path()) || !RecordingJournal.claim())
        return;
    kv::JournalContents contents;
    QString error;
    // A journal without a sound header or without samples holds nothing to
    // restore.
    if (!kv::ReadJournalFile(RecordingJournal.path(), &contents, &error) || contents.records.empty()
        || kv::Prompts().askYesNo(this, kv::RestoreJournalQuestion(contents)) != kv::Answer::Yes) {
        RecordingJournal.discard();
        return;
    }
    if (!RealTimeGraph)
        CreateRealTimeGraph();
    // Replayed like a recording that was stopped after its last sample; the
    // journal stays until these data are saved or dropped.
    const int count = int(contents.records.size());
    RealTimeGraph->startRecording(count + 1, contents.header.start);
    Recorder.start(count + 1);
    for (const kv::JournalRecord &record : contents.records)
        RealTimeGraph->addSample(record.toReading(), kv::FromDateTime(record.time));
    Recorder.stop();
    RealTimeGraph->stopRecording(contents.records.back().time);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Children ask about unsaved data first; a child that refuses keeps the
    // program open.
    MdiArea->closeAllSubWindows();
    if (!MdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

void MainWindow::FormClose()
{
    m_connection.close();
    m_settings.realTimeRate = Recorder.period();
    m_settings.save();

    GlyphSetLarge.fill(QPixmap());
}

// ---- child windows ---------------------------------------------------------------

QMdiSubWindow *MainWindow::AddChild(QWidget *child, Qt::WindowFlags flags)
{
    QMdiSubWindow *sub = MdiArea->addSubWindow(child, flags);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    return sub;
}

void MainWindow::CreatePanel()
{
    auto *panel = new PanelWindow(*this);
    QMdiSubWindow *sub = AddChild(panel, Qt::FramelessWindowHint);
    sub->move(0, 0);
    frmPanel = panel;
    ControlPanel1->setChecked(true);
    sub->show();
}

QMdiSubWindow *MainWindow::addGraphWindow(GraphWindow *graph)
{
    QMdiSubWindow *sub = AddChild(graph);
    connect(graph, &GraphWindow::activated, btnOutputToGraph, [button = btnOutputToGraph] {
        button->setEnabled(false);
    });
    connect(graph, &GraphWindow::fileSaved, this, &MainWindow::addRecentFile);
    connect(graph, &GraphWindow::recordingFull, this, [this] { endRecording(true); });
    connect(graph, &GraphWindow::recordingSaved, this, [this] { RecordingJournal.discard(); });
    connect(graph, &GraphWindow::recordingReset, this,
            [this] { SetRunStopEnabled(m_connection.isConnected(), false); });
    connect(graph, &GraphWindow::closed, this, [this, graph] {
        if (graph == LoggerGraph)
            LoggerGraph = nullptr;
        if (graph == RealTimeGraph) {
            RealTimeGraph1->setChecked(false);
            RealTimeGraph = nullptr;
            SetRunStopEnabled(m_connection.isConnected(), false);
            Recorder.setRecording(false);
            Recorder.clear();
        }
    });
    return sub;
}

void MainWindow::CreateRealTimeGraph()
{
    auto *graph = new GraphWindow(RealTimeGraphCaption, Recorder, annotationCursor, m_settings);
    QMdiSubWindow *sub = addGraphWindow(graph);
    RealTimeGraph = graph;
    RealTimeGraph1->setChecked(true);
    graph->setUpRealTimeGraph(Now());
    sub->show();
    sub->raise();
}

void MainWindow::showSetupWindow()
{
    if (frmSetup) {
        auto *sub = qobject_cast<QMdiSubWindow *>(frmSetup->parentWidget());
        if (sub) {
            sub->showNormal();
            MdiArea->setActiveSubWindow(sub);
        }
        return;
    }
    auto *window = new MeterSetupWindow(m_connection.link().usb(), SetupExchange, SetupHost);
    QMdiSubWindow *sub = AddChild(window);
    frmSetup = window;
    sub->adjustSize();
    sub->move(std::max(0, (MdiArea->width() - sub->width()) / 2), std::max(0, (MdiArea->height() - sub->height()) / 2));
    sub->show();
    sub->raise();
}

double MainWindow::Now() const { return kv::ToDateTime(m_connection.now()); }

QString MainWindow::HelpFilePath()
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
    BlinkBusy = true;
    BlinkPhase = !BlinkPhase;
    if (frmPanel)
        frmPanel->BlinkSymbols(m_connection.reading(), BlinkPhase, m_connection.isSerial());
    BlinkBusy = false;
}

void MainWindow::showPanel()
{
    if (frmPanel) {
        frmPanel->parentWidget()->showNormal();
        ControlPanel1->setChecked(true);
        return;
    }
    CreatePanel();
}

void MainWindow::showRealTimeGraph()
{
    if (RealTimeGraph) {
        RealTimeGraph->parentWidget()->showNormal();
        RealTimeGraph1->setChecked(true);
        return;
    }
    CreateRealTimeGraph();
}

void MainWindow::tileWindows() { MdiArea->tileSubWindows(); }

void MainWindow::cascadeWindows() { MdiArea->cascadeSubWindows(); }

void MainWindow::openHelp()
{
    // The result is ignored: a missing page shows nothing.
    QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFilePath()));
}

void MainWindow::showAbout()
{
    auto *about = new AboutDialog(this);
    frmAbout = about;
    kv::Prompts().exec(*about);
    delete about;
    frmAbout = nullptr;
}

void MainWindow::exitProgram() { close(); }

// ---- serial port link --------------------------------------------------------------

void MainWindow::connectTypedPort(const QString &) { connectSelectedPort(); }

void MainWindow::connectSelectedPort() { m_connection.connectPort(ComboBoxDeviceName->currentText()); }

void MainWindow::searchPorts()
{
    QStringList ports;
    for (int i = 0; i < ComboBoxDeviceName->count(); ++i)
        ports << ComboBoxDeviceName->itemText(i);

    auto *splash = new AboutDialog(this);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    SearchSplash = splash;
    splash->ShowAsSplash();
    SetPortControlsEnabled(false);
    m_connection.searchPorts(ports, *this);
    SetPortControlsEnabled(true);
    if (SearchSplash)
        SearchSplash->close();
}

void MainWindow::searchingOn(int index, const QString &device)
{
    {
        // Selected in code: no connection attempt of its own.
        const QSignalBlocker quiet(ComboBoxDeviceName);
        ComboBoxDeviceName->setCurrentIndex(index);
    }
    if (SearchSplash)
        SearchSplash->SetTitleText(SearchingOn + device);
}

void MainWindow::dropLink() { m_connection.dropLink(); }

void MainWindow::loadLoggerData() { LoggerDownload->loadData(); }

void MainWindow::SetPortControlsEnabled(bool enabled)
{
    ComboBoxDeviceName->setEnabled(enabled);
    BitBtn1->setEnabled(enabled);
    BitBtn2->setEnabled(enabled);
}

// ---- connection state as shown ------------------------------------------------------

void MainWindow::SetRunStopEnabled(bool run, bool stop)
{
    btnRun->setEnabled(run);
    Run1->setEnabled(run);
    btnStop->setEnabled(stop);
    Stop1->setEnabled(stop);
}

void MainWindow::ShowPanelDisconnected()
{
    if (!frmPanel)
        return;
    frmPanel->ingBlutoothLink->hide();
    frmPanel->lblNoConnection->show();
}

void MainWindow::showConnectionFound()
{
    SetStatusText(0, QString());
    SetStatusText(1, OnConnection);
    if (frmPanel)
        frmPanel->lblNoConnection->hide();
    DataLogger1->menuAction()->setVisible(true);
    DataLogger1->menuAction()->setEnabled(true);
    btnDataLogger->setVisible(true);
    btnDataLogger->setEnabled(true);
    SetRunStopEnabled(!Recorder.isRecording(), Recorder.isRecording());
    if (RealTimeGraph)
        RealTimeGraph->setClearEnabled(!Recorder.isRecording());
}

void MainWindow::showConnectionLost()
{
    SetRunStopEnabled(false, false);
    btnDataLogger->setEnabled(false);
    DataLogger1->menuAction()->setEnabled(false);
    SetStatusText(0, QString());
    SetStatusText(1, NoConnection);
    ShowPanelDisconnected();
}

void MainWindow::hideLinkPicture()
{
    if (frmPanel)
        frmPanel->ingBlutoothLink->hide();
}

void MainWindow::updatePanel(const kv::LiveReading &reading)
{
    if (frmPanel)
        frmPanel->UpdatePanel(reading);
}

void MainWindow::addRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp)
{
    if (!RealTimeGraph)
        return;
    // Journal first: a full graph stops the recording, which closes it.
    QString error;
    if (RecordingJournal.isOpen() && !RecordingJournal.append(kv::JournalRecord::fromReading(reading, kv::ToDateTime(stamp)), &error))
        qWarning("%s", qPrintable(error));
    RealTimeGraph->addSample(reading, stamp);
}

// ---- real-time recording ---------------------------------------------------------------

void MainWindow::startRecording()
{
    if (!m_connection.isConnected())
        return;
    if (RealTimeGraph) {
        RealTimeGraph->restoreWindow();
        if (Recorder.isRecording() || Recorder.count() > 0) {
            switch (kv::Prompts().askYesNoCancel(this, RunResetQuestion)) {
            case kv::Answer::Cancel:
                return;
            case kv::Answer::Yes:
                // A save that did not happen keeps the recording.
                if (!RealTimeGraph->saveRecording())
                    return;
                break;
            default:
                break;
            }
        }
    } else {
        CreateRealTimeGraph();
    }
    if (!RealTimeGraph)
        return;

    RealTimeSetupDialog dialog(this);
    dialog.ComboBox1->setCurrentIndex(RealTimeGraph->minutesIndex());
    dialog.ComboBox2->setCurrentIndex(RealTimeGraph->secondsIndex());
    dialog.edtPeriod->setText(kv::RecordingPeriodText(qint64(Recorder.period()) * SetupPeriodSamples, false));
    if (kv::Prompts().exec(dialog) != QDialog::Accepted || !RealTimeGraph)
        return;
    const QString typed = dialog.edtRealTimeNo->text();
    RealTimeGraph->setSamplingIndexes(dialog.ComboBox1->currentIndex(), dialog.ComboBox2->currentIndex());
    bool ok = false;
    const int count = typed.trimmed().toInt(&ok);
    // A recording of no samples would end at its first sample: refused.
    if (!ok || count <= 0) {
        kv::Prompts().message(this, typed + NotValidText);
        return;
    }
    Recorder.setPeriod(RealTimeGraph->samplingPeriod());
    if (Recorder.period() == 0)
        return;

    const double start = Now();
    RealTimeGraph->startRecording(count, start);
    Recorder.start(count);
    kv::JournalHeader journal;
    journal.start = start;
    journal.periodSeconds = std::uint32_t(Recorder.period());
    journal.requestedCount = std::uint32_t(count);
    journal.unitCode = m_connection.reading().UnitCode;
    QString error;
    if (!RecordingJournal.start(journal, &error))
        qWarning("%s", qPrintable(error));
    SetRunStopEnabled(false, true);
}

void MainWindow::stopRecording() { endRecording(false); }

void MainWindow::endRecording(bool insideTick)
{
    // A tick running below a nested wait: let it finish, without handling
    // input meanwhile.
    if (!insideTick)
        m_connection.waitForTick(StopLinkWaitMs);
    Recorder.stop();
    SetRunStopEnabled(m_connection.isConnected(), false);
    if (!RealTimeGraph)
        return;
    RealTimeGraph->stopRecording(Now());
}

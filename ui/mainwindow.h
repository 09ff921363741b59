#pragma once
// The main window: menus, tool bar, status bar, the two timers that drive the
// program, the link to the meter and the state every window shares.

#include "app/connection.h"
#include "app/settings.h"
#include "chart/model/annotationcursor.h"
#include "realtime/journal.h"
#include "logger/loggerdata.h"
#include "realtime/recorder.h"
#include "setup/meterservice.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSettings;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class AboutDialog;
class GraphWindow;
class MainWindowLoggerDownload;
class MeterSetupWindow;
class MainWindowDocuments;
class PanelWindow;

namespace kv {
class FileCommands;
class LoggerCollectionHooks;
class RecentFiles;
}

constexpr int GlyphPictureCount = 25;

class MainWindow : public QMainWindow, private kv::PortSearchView {
    Q_OBJECT
public:
    // `usb` is the USB transfer (a HID device or the simulated meter); it
    // must outlive the window.
    explicit MainWindow(kv::UsbTransfer &usb, QWidget *parent = nullptr);
    ~MainWindow() override;

    // ---- shared state ---------------------------------------------------
    kv::RealTimeRecorder Recorder;
private:
    // Declared before everything that refers to them.
    kv::AppSettings m_settings;
    kv::Connection m_connection;

public:
    // The link to the meter, the poll loop and its timer.
    kv::Connection &connection() { return m_connection; }
    kv::AppSettings &settings() { return m_settings; }
    // Annotation tool and numbering shared by every graph window.
    kv::AnnotationCursor annotationCursor;
    // Every real-time sample also goes here, so a crash loses none of them;
    // the journal finishes when the recording stops and goes when its
    // samples are cleared.
    kv::JournalWriter RecordingJournal{kv::DefaultJournalPath()};
    bool BlinkBusy = false;   // a blink tick is running
    bool BlinkPhase = false;  // blinking symbols are lit; toggled every blink tick
    std::array<QPixmap, GlyphPictureCount> GlyphSetLarge;
    std::array<QPixmap, GlyphPictureCount> GlyphSetSmall;

    QPointer<PanelWindow> frmPanel;
    QPointer<GraphWindow> RealTimeGraph;
    QPointer<GraphWindow> LoggerGraph;
    // The "Data Logger" command (download, progress dialog, hand-back).
    std::unique_ptr<MainWindowLoggerDownload> LoggerDownload;
    QPointer<AboutDialog> frmAbout;
    QPointer<AboutDialog> Splash; // closed at the end of FormShow
    QPointer<AboutDialog> SearchSplash; // shown while tryEveryPort runs

    // ---- meter setup (service) --------------------------------------------
    // kv3917 --service: the Data Logger > Setup item stays visible.
    bool ServiceMode = false;
    // The setup window's frame and exchange buffer, kept for the program's
    // lifetime; its operations hold the link through SetupHost.
    kv::SetupState SetupExchange;
    kv::LinkServiceHost SetupHost{m_connection.link()};
    QPointer<MeterSetupWindow> frmSetup;

    // ---- controls ---------------------------------------------------------
    QMdiArea *MdiArea = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QWidget *ToolBarPanel = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *btnPrint = nullptr;
    QToolButton *btnDataLogger = nullptr;
    QToolButton *btnOutputToGraph = nullptr;
    QToolButton *btnRun = nullptr;
    QToolButton *btnStop = nullptr;
    QToolButton *SpeedButton8 = nullptr;
    QComboBox *ComboBoxDeviceName = nullptr;
    QToolButton *BitBtn1 = nullptr;
    QToolButton *BitBtn2 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    std::array<QLabel *, 2> StatusPanels{};

    QMenu *File1 = nullptr;
    QMenu *RealTime1 = nullptr;
    QMenu *DataLogger1 = nullptr;
    QMenu *View1 = nullptr;
    QMenu *Window1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *Open1 = nullptr;
    QAction *Save1 = nullptr;
    QAction *Print1 = nullptr;
    QAction *PrinterSetup1 = nullptr;
    QAction *PrintPreview1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *Run1 = nullptr;
    QAction *Stop1 = nullptr;
    QAction *LoadData1 = nullptr;
    QAction *Setup1 = nullptr;
    QAction *ControlPanel1 = nullptr;
    QAction *RealTimeGraph1 = nullptr;
    QAction *Tile1 = nullptr;
    QAction *Cascade1 = nullptr;
    QAction *Contents1 = nullptr;
    QAction *About1 = nullptr;

    QTimer *MaxMinTimer = nullptr;

    // ---- logger data (ui/loggercommands.cpp) ---------------------------------
    // What the "DataLogger" window shows, with its unsaved flag; a download
    // hands its image to LoggerData.acceptDownload().
    kv::LoggerData LoggerData;
    // Restores the "DataLogger" window, or makes it (an empty chart from now
    // on) showing LoggerData.
    GraphWindow &ensureLoggerGraph();
    // The save command's branch for the "DataLogger" window: the chooser,
    // then the collection or the selected data set.  True when saved.
    bool saveLoggerGraph();
    // The open command's collection branch.  True when a collection opened.
    bool openCollection();

    // ---- windows ------------------------------------------------------------
    // Puts a child window into the multiple-document area.
    QMdiSubWindow *AddChild(QWidget *child, Qt::WindowFlags flags = {});
    // Adds a graph window to the MDI area and follows its signals.
    QMdiSubWindow *addGraphWindow(GraphWindow *graph);
    void CreatePanel();
    void CreateRealTimeGraph();
    // The folder the file dialogs start in: the data folder, else the program's.
    QString InitialFolder() const { return m_settings.initialFolder(); }
    // The local time as a date-time, from the poll loop's clock.
    double Now() const;
    void SetRunStopEnabled(bool run, bool stop);
    // Ends a real-time recording.  Inside a poll tick (a full graph) the
    // tick holds LinkBusy, so the wait for the link is skipped there.
    void endRecording(bool insideTick);

    void SetStatusText(int panel, const QString &text);
    QString StatusText(int panel) const;

    // The help page beside the program.
    static QString HelpFilePath();

    // ---- serial port link -----------------------------------------------------
    // Identifies a meter on the port named in ComboBoxDeviceName; also used
    // when a logger download ends on a serial connection.
    void connectSelectedPort();

public slots:
    void runBlinkTick();
    void startRecording();
    void stopRecording();
    void showPanel();
    void showRealTimeGraph();
    void tileWindows();
    void cascadeWindows();
    void openHelp();
    void showAbout();
    void exitProgram();
    void connectTypedPort(const QString &text);
    void searchPorts();
    void dropLink();
    // "&Load " and the "Data Logger" button: downloads the logger memory.
    void loadLoggerData();
    // Opens the setup window, or brings the open one back to its normal size.
    void showSetupWindow();

public:
    // ---- files from the desktop (ui/desktopfiles.cpp) ----------------------
    // Opens each file as File > Open does for its extension: .GHF a graph
    // window, .TXT/.CSV a table window, .REC the collection in the
    // "DataLogger" window.  Used by the command line and by dropped files.
    void openFiles(const QStringList &fileNames);
    // Opens one file; false when it was not opened (the reason is reported).
    bool openDataFile(const QString &fileName);
    // Puts an opened or saved file first in File > recent files.
    void addRecentFile(const QString &fileName);
    // The open functions per kind of file; each opens the file, reports
    // its own failure and returns whether it opened it.
    struct FileOpeners {
        std::function<bool(const QString &)> graph, table, collection;
    } Openers;
    QMenu *RecentFiles1 = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What the connection's signals show.
    void showConnectionFound();
    void showConnectionLost();
    void hideLinkPicture();
    void updatePanel(const kv::LiveReading &reading);
    // A real-time sample: to the journal, then to the real-time graph.
    void addRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp);
    // kv::PortSearchView: selects the port in the box and names it on the
    // search splash.
    void searchingOn(int index, const QString &device) override;
    void FormCreate();
    void FormShow();
    // A journal left behind by a recording that was never saved: offered
    // once; restored into the real-time graph as unsaved data, or deleted.
    void OfferJournalRestore();
    // A logger download left unsaved by an earlier run: offered once;
    // restored into the "DataLogger" window as unsaved data, or forgotten.
    void OfferDownloadRestore();
    void FormClose();
    void BuildToolBar();
    void BuildMenus();
    void BuildStatusBar();
    void LoadGlyphs();
    void FillWindowMenu();
    // Shows the panel's "No Connection" label and hides its link picture.
    void ShowPanelDisconnected();
    // The port box and the search/disconnect buttons, disabled while a
    // search is running so that no port operation starts inside it.
    void SetPortControlsEnabled(bool enabled);

    // Open, save, print, print preview, printer setup and table to graph
    // act on the active child window through the file commands.
    void ConnectFileCommands();

    std::unique_ptr<MainWindowDocuments> m_documents;
    std::unique_ptr<kv::LoggerCollectionHooks> m_collectionHooks;
    // Shortcuts, accessible names, the recent-files menu and file drops.
    void SetUpDesktop();
    void FillRecentFilesMenu();
    std::unique_ptr<QSettings> m_recentSettings;
    std::unique_ptr<kv::RecentFiles> m_recentFiles;

    bool m_shown = false;

public:
    kv::FileCommands *Files = nullptr;
};

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
#include "ui/panelglyphs.h"

#include <QMainWindow>
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

class MainWindow : public QMainWindow, private kv::PortSearchView {
    Q_OBJECT
public:
    // `usb` is the USB transfer (a HID device or the simulated meter); it
    // must outlive the window.
    explicit MainWindow(kv::UsbTransfer &usb, QWidget *parent = nullptr);
    ~MainWindow() override;

    // ---- shared objects, handed to the child windows by reference ---------
    kv::RealTimeRecorder &recorder() { return m_recorder; }
    // The link to the meter, the poll loop and its timer.
    kv::Connection &connection() { return m_connection; }
    kv::AppSettings &settings() { return m_settings; }
    // The digit pictures every panel draws with; loaded once.
    kv::PanelGlyphs &panelGlyphs() { return m_panelGlyphs; }
    // Annotation tool and numbering shared by every graph window.
    kv::AnnotationCursor &annotationCursor() { return m_annotationCursor; }
    // Every real-time sample also goes here, so a crash loses none of them;
    // the journal finishes when the recording stops and goes when its
    // samples are cleared.
    kv::JournalWriter &journal() { return m_journal; }
    // What the "DataLogger" window shows, with its unsaved flag; a download
    // hands its image to acceptDownload().
    kv::LoggerData &loggerData() { return m_loggerData; }
    // Blinking symbols are lit; toggled every blink tick.
    bool blinkPhase() const { return m_blinkPhase; }

    // ---- child windows (null while closed) ----------------------------------
    PanelWindow *panel() const;
    GraphWindow *realTimeGraph() const;
    GraphWindow *loggerGraph() const;
    MeterSetupWindow *setupWindow() const;
    AboutDialog *aboutDialog() const;
    // Shown while searchPorts runs.
    AboutDialog *searchSplash() const;
    // The start-up splash, closed once the window has been shown.
    void setSplash(AboutDialog *splash);
    // kv3917 --service: the Data Logger > Setup item stays visible.
    void setServiceMode(bool on) { m_serviceMode = on; }
    // The "Data Logger" command (download, progress dialog, hand-back).
    MainWindowLoggerDownload *loggerDownload() const { return m_loggerDownload.get(); }
    // Open, save, print, print preview, printer setup and table to graph.
    kv::FileCommands *fileCommands() const { return m_files; }

private:
    // Declared before everything that refers to them.
    kv::RealTimeRecorder m_recorder;
    kv::AppSettings m_settings;
    kv::Connection m_connection;
    kv::PanelGlyphs m_panelGlyphs;
    kv::AnnotationCursor m_annotationCursor;
    kv::JournalWriter m_journal{kv::DefaultJournalPath()};
    kv::LoggerData m_loggerData;
    bool m_blinkPhase = false;

    QPointer<PanelWindow> m_panel;
    QPointer<GraphWindow> m_realTimeGraph;
    QPointer<GraphWindow> m_loggerGraph;
    std::unique_ptr<MainWindowLoggerDownload> m_loggerDownload;
    QPointer<AboutDialog> m_about;
    QPointer<AboutDialog> m_splash;
    QPointer<AboutDialog> m_searchSplash;

    // ---- meter setup (service) --------------------------------------------
    bool m_serviceMode = false;
    // The setup window's frame and exchange buffer, kept for the program's
    // lifetime; its operations hold the link through m_setupHost.
    kv::SetupState m_setupState;
    kv::LinkServiceHost m_setupHost{m_connection.link()};
    QPointer<MeterSetupWindow> m_setupWindow;

private:
    // The main window's own parts, kept in files of their own.
    friend class MainWindowDocuments;
    friend class MainWindowLoggerDownload;
    // ---- controls ---------------------------------------------------------
    QMdiArea *m_mdiArea = nullptr;
    QToolBar *m_toolBar = nullptr;
    QWidget *m_toolBarPanel = nullptr;
    QToolButton *m_openButton = nullptr;
    QToolButton *m_saveButton = nullptr;
    QToolButton *m_printButton = nullptr;
    QToolButton *m_dataLoggerButton = nullptr;
    QToolButton *m_tableToGraphButton = nullptr;
    QToolButton *m_runButton = nullptr;
    QToolButton *m_stopButton = nullptr;
    QToolButton *m_helpButton = nullptr;
    QComboBox *m_portBox = nullptr;
    QToolButton *m_searchButton = nullptr;
    QToolButton *m_disconnectButton = nullptr;
    QStatusBar *m_statusBar = nullptr;
    std::array<QLabel *, 2> m_statusPanels{};
    QLabel *m_journalStatus = nullptr;
    bool m_journalFailureReported = false;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_realTimeMenu = nullptr;
    QMenu *m_loggerMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_windowMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QAction *m_openAction = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_printAction = nullptr;
    QAction *m_printerSetupAction = nullptr;
    QAction *m_printPreviewAction = nullptr;
    QAction *m_exitAction = nullptr;
    QAction *m_runAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_loadAction = nullptr;
    QAction *m_setupAction = nullptr;
    QAction *m_panelAction = nullptr;
    QAction *m_graphAction = nullptr;
    QAction *m_tileAction = nullptr;
    QAction *m_cascadeAction = nullptr;
    QAction *m_contentsAction = nullptr;
    QAction *m_aboutAction = nullptr;

    QTimer *m_blinkTimer = nullptr;
    QMenu *m_recentFilesMenu = nullptr;

public:
    // ---- logger data (ui/loggercommands.cpp) ---------------------------------
    // Restores the "DataLogger" window, or makes it (an empty chart from now
    // on) showing loggerData().
    GraphWindow &ensureLoggerGraph();
    // The save command's branch for the "DataLogger" window: the chooser,
    // then the collection or the selected data set.  True when saved.
    bool saveLoggerGraph();
    // The open command's collection branch.  True when a collection opened.
    bool openCollection();

    // ---- windows ------------------------------------------------------------
    // Puts a child window into the multiple-document area.
    QMdiSubWindow *addChild(QWidget *child, Qt::WindowFlags flags = {});
    // Adds a graph window to the MDI area and follows its signals.
    QMdiSubWindow *addGraphWindow(GraphWindow *graph);
    void createPanel();
    void createRealTimeGraph();
    // The folder the file dialogs start in: the data folder, else the program's.
    QString initialFolder() const { return m_settings.initialFolder(); }

    void setStatusText(int panel, const QString &text);
    QString statusText(int panel) const;

    // Identifies a meter on the port named in the port box; also used
    // when a logger download ends on a serial connection.
    void connectSelectedPort();

    // ---- files from the desktop (ui/desktopfiles.cpp) ----------------------
    // Opens each file as File > Open does for its extension: .GHF a graph
    // window, .TXT/.CSV a table window, .REC the collection in the
    // "DataLogger" window.  Used by the command line and by dropped files.
    void openFiles(const QStringList &fileNames);
    // Puts an opened or saved file first in File > recent files.
    void addRecentFile(const QString &fileName);
    // The open functions per kind of file; each opens the file, reports
    // its own failure and returns whether it opened it.
    struct FileOpeners {
        std::function<bool(const QString &)> graph, table, collection;
    };
    FileOpeners &fileOpeners() { return m_openers; }

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

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What the connection's signals show.
    void showConnectionFound();
    void showConnectionLost();
    // A real-time sample: to the journal, then to the real-time graph.
    void addRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp);
    // The journal of the recording could not be started or written: logged,
    // and told once per recording (a message and the status bar).
    void reportJournalFailure(const QString &error);
    // kv::PortSearchView: selects the port in the box and names it on the
    // search splash.
    void searchingOn(int index, const QString &device) override;
    void loadStartupState();
    // The first show: data folder, the real-time graph and the panel,
    // polling on, then the offers to restore unsaved data.
    void showFirstTime();
    // The local time as a date-time, from the poll loop's clock.
    double now() const;
    void setRunStopEnabled(bool run, bool stop);
    // Ends a real-time recording.  Inside a poll tick (a full graph) the
    // tick holds LinkBusy, so the wait for the link is skipped there.
    void endRecording(bool insideTick);
    // The help page beside the program.
    static QString helpFilePath();
    // Opens one file; false when it was not opened (the reason is reported).
    bool openDataFile(const QString &fileName);
    // A journal left behind by a recording that was never saved: offered
    // once; restored into the real-time graph as unsaved data, or deleted.
    void offerJournalRestore();
    // A logger download left unsaved by an earlier run: offered once;
    // restored into the "DataLogger" window as unsaved data, or forgotten.
    void offerDownloadRestore();
    void saveAndDisconnect();
    void buildToolBar();
    void buildMenus();
    void buildStatusBar();
    void fillWindowMenu();
    // The port box and the search/disconnect buttons, "&Load " and the "Data
    // Logger" button are disabled while an operation holds the link.
    void showLinkHeld(bool held);
    void setPortControlsEnabled(bool enabled);
    QPointer<QWidget> m_focusBeforeHold;

    // Open, save, print, print preview, printer setup and table to graph
    // act on the active child window through the file commands.
    void connectFileCommands();

    std::unique_ptr<MainWindowDocuments> m_documents;
    std::unique_ptr<kv::LoggerCollectionHooks> m_collectionHooks;
    // Shortcuts, accessible names, the recent-files menu and file drops.
    void setUpDesktop();
    void fillRecentFilesMenu();
    std::unique_ptr<QSettings> m_recentSettings;
    std::unique_ptr<kv::RecentFiles> m_recentFiles;

    FileOpeners m_openers;
    kv::FileCommands *m_files = nullptr;
    bool m_shown = false;
};

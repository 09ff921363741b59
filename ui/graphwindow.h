#pragma once
// The graph window: five channels against date and time with statistics,
// channel selection, split view and zoom.  One class serves the real-time
// graph ("Real-Time Graph"), the logger graph ("DataLogger"), graphs drawn
// from a table (the table's caption) and opened graph files (the file name).

#include "ui/savegraph.h"
#include "live/livereading.h"
#include "logger/loggerdata.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QSplitter;
class QTableWidget;
class QToolBar;
class QToolButton;
class MainWindow;

namespace kv {
class Chart;
class RealTimeRecorder;
}

const QString RealTimeGraphCaption = QStringLiteral("Real-Time Graph");
const QString LoggerGraphCaption = QStringLiteral("DataLogger");

class GraphWindow : public QWidget {
    Q_OBJECT
public:
    GraphWindow(MainWindow &main, const QString &caption, QWidget *parent = nullptr);
    ~GraphWindow() override;

    // Cursor state shared by every graph window: the annotation cursor mode
    // and the index of the last annotation placed.
    static constexpr int CursorModeNormal = -99;
    static constexpr int CursorModeText = 0;
    static constexpr int CursorModeCross = 2;
    static constexpr int FirstLastAnnotationIndex = 3;
    static int AnnotationCursorMode;
    static int LastAnnotationIndex;

    bool isRealTimeGraph() const;
    bool isLoggerGraph() const;
    MainWindow &mainWindow() const { return m_main; }
    kv::RealTimeRecorder &recorder() const { return m_recorder; }

    // ---- controls -----------------------------------------------------------
    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButton1 = nullptr;     // graph statistics shown
    QToolButton *ToolButton2 = nullptr;     // line cursor statistics shown
    QToolButton *ToolButton4 = nullptr;     // normal cursor
    QToolButton *ToolButton5 = nullptr;     // cross tool
    QToolButton *ToolButton9 = nullptr;     // text tool
    QToolButton *ToolButton15 = nullptr;    // annotation colour
    QToolButton *tbntClr = nullptr;
    QToolButton *UndoZoom = nullptr;
    QCheckBox *chkSplit = nullptr;
    QToolButton *Button1 = nullptr;         // Graph Option
    QToolButton *btnChangeScale = nullptr;  // Y Axis
    QToolButton *Button3 = nullptr;         // Font

    QToolBar *ToolBar2 = nullptr;
    QCheckBox *chkRH = nullptr;
    QCheckBox *chkT1 = nullptr;
    QCheckBox *chkT2 = nullptr;
    QCheckBox *chkWETBULB = nullptr;
    QCheckBox *chkDEWPOINT = nullptr;

    QFrame *pnlGraphStatistic = nullptr;
    QLineEdit *txtStartTime = nullptr;
    QFrame *pnlSamplingRate = nullptr;
    QComboBox *ComboBox1 = nullptr;         // minutes
    QComboBox *ComboBox2 = nullptr;         // seconds
    QLineEdit *txtDataNo = nullptr;
    QToolButton *Button2 = nullptr;         // Show MAX/MIN on Graph

    kv::Chart *PESGraph1 = nullptr;
    QLabel *Panel12 = nullptr;

    QFrame *pnlStatistic = nullptr;
    QLineEdit *txtRHMax = nullptr;
    QLineEdit *txtRHMin = nullptr;
    QLineEdit *txtRHAvg = nullptr;
    QLineEdit *txtT1Max = nullptr;
    QLineEdit *txtT1Min = nullptr;
    QLineEdit *txtT1Avg = nullptr;
    QLineEdit *txtT2Max = nullptr;
    QLineEdit *txtT2Min = nullptr;
    QLineEdit *txtT2Avg = nullptr;

    QFrame *pnlDataSets = nullptr;
    QTableWidget *Grid2 = nullptr;

    // The statistics boxes of RH, T1 and T2 (index = channel).
    std::array<QLineEdit *, 3> maxBoxes() const { return {txtRHMax, txtT1Max, txtT2Max}; }
    std::array<QLineEdit *, 3> minBoxes() const { return {txtRHMin, txtT1Min, txtT2Min}; }
    std::array<QLineEdit *, 3> avgBoxes() const { return {txtRHAvg, txtT1Avg, txtT2Avg}; }

    // Grid2 as a string grid: row 0 holds the titles, rows 1.. the data sets.
    QString Grid2Cell(int column, int row) const;
    void setGrid2Cell(int column, int row, const QString &text);
    int Grid2RowCount() const;
    void setGrid2RowCount(int rows);

    // ---- logger data (the "DataLogger" window; ui/loggergraph.cpp) ------------
    // Shows `data`: its data sets now when it holds any, and again after every
    // new parse; a click in the list shows that data set; closing asks about
    // unsaved data.  `data` must outlive the window.
    void attachLoggerData(kv::LoggerData &data);
    kv::LoggerData *loggerData() const { return m_loggerData.data(); }
    // Refills the data set list and selects row 1.
    void showDataSets(const kv::LoggerData &data);
    // Puts data set `index` (0-based) on the chart.
    void showDataSet(const kv::LoggerData &data, int index);

    // ---- real-time recording ------------------------------------------------
    // The window's part of creating the real-time graph: the Clear tool, the
    // chart set up for a new recording, the sampling period boxes.
    void SetUpRealTimeGraph(double now);
    // Shows a sampling period in the minutes and seconds boxes.
    void ShowSamplingRate(int seconds);
    // The period the boxes show (an unselected box counts as 0).
    int SamplingRateFromBoxes() const;
    // A new recording of `points` samples starting at `now`.
    void StartRealTimeRecording(int points, double now);
    // One point of the recording, from a live reading taken at `stamp`.
    void AddRealTimeSample(const kv::LiveReading &reading, const QDateTime &stamp);
    // The window's part of stopping at `now`: the points cut to the count,
    // the time axis ended, the averages shown.
    void StopRealTimeRecording(double now);
    // Saves this chart with recording paused meanwhile; true when saved.
    bool SaveRecording();
    // Restores the window to normal size when it is minimised or maximised.
    void RestoreWindow();

    // Enables the cross and text tools only while the chart has one axis.
    void UpdateAnnotationTools();

    // ---- handlers ---------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormActivate();
    bool FormCloseQuery();
    void FormClose();
    void chkRHClick();
    void chkSplitClick();
    void UndoZoomClick();
    void PESGraph1ZoomIn();
    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton4Click();
    void Button3Click();
    void pnlGraphResize();
    void Grid2Click();
    void ComboBox1Change();
    void tbntClrClick();

signals:
    // A data set of the list was chosen (0-based).
    void ShowDataSetRequested(int index);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildToolBars();
    void BuildStatisticsPanel();
    void BuildBottomPanel();
    void BuildDataSetsPanel();
    void SetNormalCursor();
    // "Save DataLogger Data ?" while the logger data is unsaved; false keeps
    // the window open (Cancel, or Yes and the save did not happen).
    bool askToSaveLoggerData();
    void showRequestedDataSet(int index);

    MainWindow &m_main;
    QPointer<kv::LoggerData> m_loggerData;
    kv::RealTimeRecorder &m_recorder;
    QAction *m_clrSeparator = nullptr;
    QAction *m_clrAction = nullptr;
    QAction *m_splitAction = nullptr;
    QSplitter *m_splitter = nullptr;
    bool m_shown = false;
};

// Prepares a chart for a new set of samples: the graph template's look and
// Y range when the template exists, else the default look with the given Y
// range; always the given subsets, points and X range (a first time of 0
// keeps the X range), one axis and no values.
void SetUpGraph(kv::Chart &chart, int subsets, int points, double firstTime, double lastTime, double yMin,
                double yMax);
// Fills the start time, sampling rate, data count and statistics boxes from
// the chart's data.
void UpdateGraphStatistics(GraphWindow &window);
// Empties the chart and the statistics.
void ClearGraph(GraphWindow &window);

// The graph template, "template/graph.ghf" beside the program; tests may
// point it elsewhere (empty: back to the default).
QString GraphTemplatePath();
void SetGraphTemplatePath(const QString &path);

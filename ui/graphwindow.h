#pragma once
// The graph window: five channels against date and time with statistics,
// channel selection, split view and zoom.  One class serves the real-time
// graph ("Real-Time Graph"), the logger graph ("DataLogger"), graphs drawn
// from a table (the table's caption) and opened graph files (the file name).

#include "app/prompt.h"
#include "ui/graphtools.h"
#include "ui/savegraph.h"
#include "live/livereading.h"
#include "logger/loggerdata.h"
#include "realtime/channels.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMdiArea;
class QSplitter;
class QTableWidget;
class QToolBar;
class QToolButton;

namespace kv {
class AppSettings;
class Chart;
class RealTimeRecorder;
}

const QString RealTimeGraphCaption = QStringLiteral("Real-Time Graph");
const QString LoggerGraphCaption = QStringLiteral("DataLogger");

class GraphWindow : public QWidget {
    Q_OBJECT
public:
    // The recording, the shared annotation tool and the settings (annotation
    // colour, initial folder) must outlive the window.
    GraphWindow(const QString &caption, kv::RealTimeRecorder &recorder, kv::AnnotationCursor &cursor,
                kv::AppSettings &settings, QWidget *parent = nullptr);
    ~GraphWindow() override;

    bool isRealTimeGraph() const;
    bool isLoggerGraph() const;
    kv::Chart &chart() const { return *m_chart; }
    // Scale, template, notes, read-out, statistics table and picture export.
    GraphTools &tools() const { return *m_tools; }

    // Fills the start time, sampling period, data count and statistics boxes
    // from the chart's data.
    void showGraphStatistics();
    // Empties the chart and the statistics; the user's notes go and their
    // numbering starts again; a real-time graph forgets its recording.
    void clearGraph();
    // The split view: RH on one axis, T1 and T2 on the next, wet bulb and
    // dew point on the third.
    void setSplitView(bool split);
    // Enables the cross and text tools only while the chart has one axis.
    void updateAnnotationTools();

    // The data set list as a string grid: row 0 holds the titles, rows 1..
    // the data sets.
    QString dataSetCell(int column, int row) const;
    void setDataSetCell(int column, int row, const QString &text);
    int dataSetRowCount() const;
    void setDataSetRowCount(int rows);

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
    void setUpRealTimeGraph(double now);
    // The sampling period boxes' items (minutes 0..60, seconds 0..60); -1
    // when none is selected.
    int minutesIndex() const;
    int secondsIndex() const;
    void setSamplingIndexes(int minutes, int seconds);
    // Shows a sampling period in the minutes and seconds boxes.
    void showSamplingPeriod(int seconds);
    // The period the boxes show (an unselected box counts as 0).
    int samplingPeriod() const;
    // The Clear tool, which is off while recording.
    void setClearEnabled(bool enabled);
    // A new recording of `points` samples starting at `now`.
    void startRecording(int points, double now);
    // One point of the recording, from a live reading taken at `stamp`;
    // emits recordingFull() when the chart has no room left.
    void addSample(const kv::LiveReading &reading, const QDateTime &stamp);
    // The window's part of stopping at `now`: the points cut to the count,
    // the time axis ended, the averages shown.
    void stopRecording(double now);
    // Saves this chart with recording paused meanwhile; true when saved.
    bool saveRecording();
    // Restores the window to normal size when it is minimised or maximised.
    void restoreWindow();

    // Closing asks about unsaved data ("Save DataLogger Data ?", "Save
    // Real-Time Graph ?") in two steps, so that the main window can ask every
    // window before it closes any: askBeforeClose() asks and keeps the answer
    // (false on Cancel: nothing changed); saveAsAnswered() saves or drops the
    // data as answered (false when a save did not happen), after which a
    // close asks nothing more.
    bool askBeforeClose();
    bool saveAsAnswered();

signals:
    // The window became the active document.
    void activated();
    // The window was closed (after its questions were answered).
    void closed();
    // The real-time chart has no room for another sample.
    void recordingFull();
    // A new sampling period stopped the recording and cleared the graph.
    void recordingReset();
    // The recording was saved and no longer records.
    void recordingSaved();
    // A file was written (for the recent files).
    void fileSaved(const QString &fileName);
    // A data set of the list was chosen (0-based).
    void dataSetRequested(int index);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBars();
    void buildStatisticsPanel();
    void buildBottomPanel();
    void buildDataSetsPanel();
    void setUpChartAndList();
    void followActivation();
    void showChannels();
    void applySplitView();
    void chooseNormalCursor();
    void allowAnnotationTools(bool allowed);
    void showCursorTool();
    void clearStatisticsBoxes();
    void installGraphTools();
    void toggleGraphStatistics();
    void toggleLineStatistics();
    void chooseStatisticsFont();
    void placeReadout();
    void undoZoom();
    void requestDataSet(int listRow);
    void fitDataSetColumns();
    void changeSamplingPeriod();
    void clearRecording();
    GraphTools::StatisticsTexts statisticsTexts() const;

    // "Save DataLogger Data ?" while the logger data is unsaved (nothing to
    // ask otherwise); then its save as answered, false when it did not happen.
    std::optional<kv::Answer> askAboutLoggerData();
    bool saveLoggerDataAsAnswered(kv::Answer answer);
    void showRequestedDataSet(int index);

    // The statistics boxes of RH, T1 and T2 (index = channel).
    std::array<QLineEdit *, 3> m_maxBoxes{};
    std::array<QLineEdit *, 3> m_minBoxes{};
    std::array<QLineEdit *, 3> m_avgBoxes{};

    QToolBar *m_toolBar = nullptr;
    QToolButton *m_graphStatisticsTool = nullptr;
    QToolButton *m_lineStatisticsTool = nullptr;
    QToolButton *m_normalCursorTool = nullptr;
    QToolButton *m_crossTool = nullptr;
    QToolButton *m_textTool = nullptr;
    QToolButton *m_annotationColorTool = nullptr;
    QToolButton *m_clearTool = nullptr;
    QToolButton *m_undoZoomButton = nullptr;
    QCheckBox *m_splitBox = nullptr;
    QToolButton *m_graphOptionButton = nullptr;
    QToolButton *m_yAxisButton = nullptr;
    QToolButton *m_fontButton = nullptr;
    QToolButton *m_exportPictureButton = nullptr;

    QToolBar *m_channelBar = nullptr;
    std::array<QCheckBox *, kv::GraphChannelCount> m_channelBoxes{};

    QFrame *m_graphStatisticsPanel = nullptr;
    QLineEdit *m_startTimeBox = nullptr;
    QFrame *m_samplingPanel = nullptr;
    QComboBox *m_minutesBox = nullptr;
    QComboBox *m_secondsBox = nullptr;
    QLineEdit *m_dataCountBox = nullptr;
    QToolButton *m_showExtremesButton = nullptr;

    kv::Chart *m_chart = nullptr;
    QLabel *m_readout = nullptr;
    QFrame *m_statisticsPanel = nullptr;
    QFrame *m_dataSetsPanel = nullptr;
    QTableWidget *m_dataSetList = nullptr;

    GraphTools *m_tools = nullptr;
    QPointer<kv::LoggerData> m_loggerData;
    kv::RealTimeRecorder &m_recorder;
    kv::AnnotationCursor &m_cursor;
    kv::AppSettings &m_settings;
    QPointer<QMdiArea> m_mdiArea;
    QMetaObject::Connection m_activation;
    QAction *m_clearSeparator = nullptr;
    QAction *m_clearAction = nullptr;
    QAction *m_splitAction = nullptr;
    QSplitter *m_splitter = nullptr;
    bool m_shown = false;
    bool m_closed = false;
    // The answer askBeforeClose() got, until saveAsAnswered() acts on it.
    std::optional<kv::Answer> m_closeAnswer;
    // The user answered No to saving the logger data: it goes with the window.
    bool m_dropLoggerData = false;
    // Set when the list's current row changed since the last mouse press.
    bool m_dataSetRowChangedByPress = false;
};

// Prepares a chart for a new set of samples: the graph template's look and
// Y range when a template exists (kv::GraphTemplateToRead), else the default look with the given Y
// range; always the given subsets, points and X range (a first time of 0
// keeps the X range), one axis and no values.
void SetUpGraph(kv::Chart &chart, int subsets, int points, double firstTime, double lastTime, double yMin,
                double yMax);

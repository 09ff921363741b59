#include "ui/graphwindow.h"
#include "ui/accessibility.h"

#include "app/prompt.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "chart/model/graphtemplate.h"
#include "logger/loggerdata.h"
#include "realtime/recorder.h"
#include "realtime/statistics.h"
#include "realtime/datetime.h"
#include "ui/realtimesetupdialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cfenv>
#include <utility>
#include <vector>


namespace {

using namespace kv;

struct ChannelLook {
    const char *label;
    QColor color;
    const char *box;      // check box name
    const char *boxText;
};
const std::array<ChannelLook, GraphChannelCount> Channels = {{
    {"%RH", QColor(255, 255, 0), "chkRH", "RH"},
    {"T1", QColor(0, 0, 255), "chkT1", "T1"},
    {"T2", QColor(255, 0, 0), "chkT2", "T2"},
    {"WET BULB", QColor(0, 255, 0), "chkWETBULB", "WET BULB"},
    {"DEW POINT", QColor(255, 0, 255), "chkDEWPOINT", "DEW POINT"},
}};

// Data set list: titles and column widths.
const std::array<const char *, 11> DataSetTitles = {"Set",       "DATE",      "TIME",      "Rate",
                                                  "Nums",      "Unit",      "Couple",    "RH Offset",
                                                  "T1 Offset", "T2 Offset", ""};
const std::array<int, 11> DataSetColumnWidths = {25, 60, 60, 65, 40, 40, 40, 60, 60, 60, 60};
constexpr int DataSetsPanelWidth = 260;

const QString StatisticsInitialText = QStringLiteral("***.* ");
const QString SaveRealTimeQuestion = QStringLiteral("Save Real-Time Graph ?");
const QString RateChangeQuestion =
    QStringLiteral("Sampling Rate is being changed and it is recording Real-Time data or there are data in "
                   "Real_Time graph.")
    + QStringLiteral("If you want to make new sampling rate effective,it have to reset the graph.\n")
    + QStringLiteral("Do you want to save the Real-Time graph ?");

// Real-time chart: time axis of a new window and of a new recording, and the
// period that replaces a zero one.
constexpr double RealTimeWindowSpan = 110 * OneSecond;
constexpr double RealTimeRecordingSpan = 100 * OneSecond;
constexpr int RealTimeWindowPoints = 100;
constexpr double RealTimeYMin = -10;
constexpr double RealTimeYMax = 50;
constexpr int DefaultSamplingPeriod = 2;
// Each second of the period extends the time axis by this many seconds.
constexpr double NoLineGaps = 1e20;

// Split view: subsets per axis and the axes' shares of the height.
constexpr std::array<int, 3> SplitSubsets = {1, 2, 2};
constexpr std::array<double, 3> SplitProportions = {0.2, 0.4, 0.4};

constexpr int StatisticsBoxWidth = 190;
constexpr int AverageBoxWidth = 70;

QIcon SwatchIcon(const QColor &color)
{
    QPixmap picture(12, 12);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(color);
    painter.drawRect(0, 0, 11, 11);
    return QIcon(picture);
}

QToolButton *ToolButton(QWidget *parent, const char *name, const QString &hint, const QString &icon,
                        bool checkable = false)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setText(hint);
    button->setIcon(QIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    button->setCheckable(checkable);
    return button;
}

QToolButton *TextButton(QWidget *parent, const char *name, const QString &text, const QString &hint = {})
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

QLineEdit *TextBox(QWidget *parent, const char *name, int width, const QString &text = {})
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setMinimumWidth(width);
    return box;
}

QComboBox *SamplingBox(QWidget *parent, const char *name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (int i = 0; i < SamplingBoxItems; ++i)
        box->addItem(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
    box->setMaxVisibleItems(12);
    return box;
}

void SelectItem(QComboBox *box, int index) { box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1); }

void MaskFloatingPointExceptions()
{
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
}

// X 0 and the null value in every cell.
void ClearChartValues(Chart &chart)
{
    const qsizetype cells = qsizetype(chart.Subsets()) * chart.Points();
    const std::vector<double> x(size_t(cells), 0.0);
    const std::vector<float> y(size_t(cells), NoValue);
    chart.setXDataIIArray(x.data(), cells);
    chart.setYDataArray(y.data(), cells);
}

} // namespace

// ---- shared helpers --------------------------------------------------------------------

void SetUpGraph(Chart &chart, int subsets, int points, double firstTime, double lastTime, double yMin, double yMax)
{
    bool restored = false;
    const QString templatePath = GraphTemplateToRead();
    if (!templatePath.isEmpty()) {
        QString error;
        restored = ReadGraphFile(chart, templatePath, &error);
        if (!restored)
            Prompts().error(chart.window(), error);
    }

    chart.setNullDataValueY(NoValue);
    chart.setSubsets(subsets);
    chart.setPoints(points);
    chart.setNoHelp(true);
    chart.setAllowPopup(false);
    ClearChartValues(chart);
    chart.setAllowDataLabels(sgNoDataLabels);
    if (firstTime != 0) {
        chart.setManualScaleControlX(sgManualMinAndMax);
        chart.setManualMinX(firstTime);
        chart.setManualMaxX(lastTime);
    }

    if (!restored) {
        chart.setShowVertLineAnnotations(true);
        chart.setVertLineAnnotationsHot(true);
        chart.setLineAnnotationTextSize(80);
        chart.setVertLineAnnotationColor(0, QColor(0, 0, 255));
        chart.setVertLineAnnotationColor(1, QColor(255, 0, 0));
        chart.setLineAnnotationTextSize(100);
        chart.setShowAnnotations(true);
        chart.setGraphAnnotationTextSize(100);
        chart.setGridStyle(sgDot);
        chart.setMainTitle(QString());
        chart.setSubTitle(QStringLiteral(" "));
        for (int s = 0; s < GraphChannelCount; ++s) {
            chart.setSubsetLabels(s, QLatin1String(Channels[size_t(s)].label));
            chart.setSubsetColors(s, Channels[size_t(s)].color);
        }
        chart.setDateTimeMode(sgVBDateTime);
        chart.setUsingXDataII(true);
        chart.setXAxisLabel(QStringLiteral("Time"));
        chart.setAllowZooming(sgHorzPlusVertZooming);
        chart.setScrollingHorzZoom(true);
        chart.setScrollingVertZoom(true);
        chart.setGraphForeColor(QColor(0, 128, 0));
        chart.setGraphBackColor(Qt::black);
        chart.setDeskColor(QColor(192, 192, 192));
        chart.setTextColor(Qt::black);
        chart.setAllowAxisPage(false);
        chart.setArrowCursor(ArrowCursorNormal);
        chart.setWorkingAxis(0);
        chart.setYAxisLabel(QString());
        chart.setManualScaleControlY(sgManualMinAndMax);
        chart.setManualMinY(yMin);
        chart.setManualMaxY(yMax);
    }

    // Data, point count, X range and a single axis always come from here.
    chart.setWorkingAxis(0);
    chart.setMultiAxesSubsets(-1, 0);
    chart.setMultiAxesProportions(0, 1.0);
    chart.setYAxisLabel(QString());
    chart.setAllowGraphAnnotHotSpots(true);
    chart.reinitAndReset();
}

void GraphWindow::showGraphStatistics()
{
    const ChartState &state = m_chart->state();
    const int points = state.points;
    const double *x = state.subsets.empty() ? nullptr : state.subsets[0].x.constData();
    std::array<const double *, GraphChannelCount> y{};
    for (size_t s = 0; s < y.size() && s < state.subsets.size(); ++s)
        y[s] = state.subsets[s].y.constData();
    const GraphStatistics stats = ComputeGraphStatistics(x, y, points);

    m_dataCountBox->setText(QString::number(points));
    if (points <= 0 || !x) {
        m_startTimeBox->clear();
        for (size_t c = 0; c < m_maxBoxes.size(); ++c) {
            m_maxBoxes[c]->clear();
            m_minBoxes[c]->clear();
            m_avgBoxes[c]->setText(NoAverageText);
        }
        return;
    }
    m_startTimeBox->setText(DateTimeText(stats.firstTime));
    const int interval = stats.intervalSeconds;
    SelectItem(m_minutesBox, interval >= 0 ? interval / 60 : -1);
    SelectItem(m_secondsBox, interval >= 0 ? interval % 60 : -1);
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        const ChannelStatistics &channel = stats.channels[size_t(c)];
        m_maxBoxes[size_t(c)]->setText(StatisticsExtremeText(c, channel.max, channel.maxTime));
        m_minBoxes[size_t(c)]->setText(StatisticsExtremeText(c, channel.min, channel.minTime));
        m_avgBoxes[size_t(c)]->setText(StatisticsAverageText(channel));
    }
}

void GraphWindow::clearStatisticsBoxes()
{
    for (size_t c = 0; c < m_maxBoxes.size(); ++c) {
        m_maxBoxes[c]->clear();
        m_minBoxes[c]->clear();
        m_avgBoxes[c]->clear();
    }
}

void GraphWindow::clearGraph()
{
    Chart &chart = *m_chart;
    ClearChartValues(chart);
    m_dataCountBox->clear();
    clearStatisticsBoxes();
    // Notes placed by the user leave the picture and numbering starts again.
    for (int i = AnnotationCursor::NoUserAnnotation; i <= m_cursor.lastIndex(); ++i) {
        chart.setGraphAnnotationX(i, 0);
        chart.setGraphAnnotationY(i, 0);
    }
    m_cursor.restartNumbering();
    if (isRealTimeGraph()) {
        // Nothing recorded is left to save.
        m_recorder.clear();
    }
    chart.resetImage();
}

// ---- the window ----------------------------------------------------------------------------

GraphWindow::GraphWindow(const QString &caption, RealTimeRecorder &recorder, AnnotationCursor &cursor,
                         AppSettings &settings, QWidget *parent)
    : QWidget(parent), m_recorder(recorder), m_cursor(cursor), m_settings(settings)
{
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(caption);
    setWindowIcon(QIcon(QStringLiteral(":/icons/run.svg")));

    m_chart = new Chart(this);
    m_chart->setObjectName(QStringLiteral("PESGraph1"));
    m_readout = new QLabel(m_chart);
    m_readout->setObjectName(QStringLiteral("Panel12"));
    // A plain read-out on the chart's margin: nothing shows until it has text.
    m_readout->setFrameShape(QFrame::NoFrame);
    m_readout->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_readout->setMargin(3);
    m_readout->setMinimumWidth(120);
    m_chart->installEventFilter(this);

    buildToolBars();
    buildStatisticsPanel();
    buildBottomPanel();
    buildDataSetsPanel();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->addWidget(m_dataSetsPanel);
    m_splitter->addWidget(m_chart);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({DataSetsPanelWidth, 600});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_channelBar);
    layout->addWidget(m_graphStatisticsPanel);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(m_statisticsPanel);

    m_dataSetsPanel->setVisible(isLoggerGraph());
    m_samplingPanel->setEnabled(false);
    m_clearSeparator->setVisible(false);
    m_clearAction->setVisible(false);

    connect(m_chart, &Chart::OnZoomIn, m_undoZoomButton, [this] { m_undoZoomButton->setEnabled(true); });
    connect(m_chart, &Chart::zoomUndone, m_undoZoomButton, [this] { m_undoZoomButton->setEnabled(false); });

    installGraphTools();
    m_chart->setAccessibleName(QStringLiteral("Graph"));
    m_chart->setAccessibleDescription(caption);
    kv::NameControls(this);
    setUpChartAndList();
    followActivation();
}

GraphWindow::~GraphWindow() = default;

bool GraphWindow::isRealTimeGraph() const { return windowTitle() == RealTimeGraphCaption; }

bool GraphWindow::isLoggerGraph() const { return windowTitle() == LoggerGraphCaption; }

void GraphWindow::buildToolBars()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setIconSize(QSize(20, 20));
    m_graphStatisticsTool = ToolButton(m_toolBar, "ToolButton1", QStringLiteral("Toggle Graph Statistic"),
                             QStringLiteral(":/icons/statistics.svg"), true);
    m_graphStatisticsTool->setChecked(true);
    m_lineStatisticsTool = ToolButton(m_toolBar, "ToolButton2", QStringLiteral("Toggle Line Cursor Statistic"),
                             QStringLiteral(":/icons/linestatistics.svg"), true);
    m_lineStatisticsTool->setChecked(true);
    m_normalCursorTool = ToolButton(m_toolBar, "ToolButton4", QStringLiteral("Normal Cursor"),
                             QStringLiteral(":/icons/cursor.svg"), true);
    m_normalCursorTool->setChecked(true);
    m_crossTool = ToolButton(m_toolBar, "ToolButton5", QStringLiteral("Draw A Cross On Graph"),
                             QStringLiteral(":/icons/cross.svg"), true);
    m_textTool = ToolButton(m_toolBar, "ToolButton9", QStringLiteral("Text"), QStringLiteral(":/icons/text.svg"),
                             true);
    auto *cursorTools = new QButtonGroup(this);
    cursorTools->setExclusive(true);
    for (QToolButton *tool : {m_normalCursorTool, m_crossTool, m_textTool})
        cursorTools->addButton(tool);
    m_annotationColorTool = ToolButton(m_toolBar, "ToolButton15", QStringLiteral("Set Annotation Color"),
                              QStringLiteral(":/icons/color.svg"));
    m_clearTool = ToolButton(m_toolBar, "tbntClr", QStringLiteral("Clear"), QStringLiteral(":/icons/clear.svg"));
    m_undoZoomButton = TextButton(m_toolBar, "UndoZoom", QStringLiteral("Undo Zoom"));
    m_undoZoomButton->setEnabled(false);
    m_splitBox = new QCheckBox(QStringLiteral("Split"), m_toolBar);
    m_splitBox->setObjectName(QStringLiteral("chkSplit"));
    m_splitBox->setChecked(true);
    m_graphOptionButton =
        TextButton(m_toolBar, "Button1", QStringLiteral("Graph Option"), QStringLiteral("Graph Customization"));
    m_yAxisButton = TextButton(m_toolBar, "btnChangeScale", QStringLiteral("Y Axis"),
                                QStringLiteral("set the maximum and minimum extent of the left y axis."));
    m_fontButton = TextButton(m_toolBar, "Button3", QStringLiteral("Font"));
    m_exportPictureButton = TextButton(m_toolBar, "btnExportPicture", QStringLiteral("Export Picture"),
                                  QStringLiteral("Export the graph as a picture (PNG, JPEG, PDF or SVG)"));

    m_toolBar->addWidget(m_graphStatisticsTool);
    m_toolBar->addWidget(m_lineStatisticsTool);
    m_toolBar->addSeparator();
    m_toolBar->addWidget(m_normalCursorTool);
    m_toolBar->addWidget(m_crossTool);
    m_toolBar->addWidget(m_textTool);
    m_toolBar->addWidget(m_annotationColorTool);
    m_clearSeparator = m_toolBar->addSeparator();
    m_clearAction = m_toolBar->addWidget(m_clearTool);
    m_toolBar->addSeparator();
    m_toolBar->addWidget(m_undoZoomButton);
    m_splitAction = m_toolBar->addWidget(m_splitBox);
    m_splitAction->setVisible(false);
    m_toolBar->addWidget(m_graphOptionButton);
    m_toolBar->addWidget(m_yAxisButton);
    m_toolBar->addWidget(m_fontButton);
    m_toolBar->addWidget(m_exportPictureButton);

    connect(m_graphStatisticsTool, &QToolButton::clicked, this, &GraphWindow::toggleGraphStatistics);
    connect(m_lineStatisticsTool, &QToolButton::clicked, this, &GraphWindow::toggleLineStatistics);
    connect(m_normalCursorTool, &QToolButton::clicked, this, &GraphWindow::chooseNormalCursor);
    connect(m_clearTool, &QToolButton::clicked, this, &GraphWindow::clearRecording);
    connect(m_undoZoomButton, &QToolButton::clicked, this, &GraphWindow::undoZoom);
    connect(m_splitBox, &QCheckBox::toggled, this, &GraphWindow::applySplitView);
    connect(m_fontButton, &QToolButton::clicked, this, &GraphWindow::chooseStatisticsFont);

    m_channelBar = new QToolBar(this);
    m_channelBar->setObjectName(QStringLiteral("ToolBar2"));
    for (size_t s = 0; s < m_channelBoxes.size(); ++s) {
        auto *box = new QCheckBox(QLatin1String(Channels[s].boxText), m_channelBar);
        box->setObjectName(QLatin1String(Channels[s].box));
        box->setIcon(SwatchIcon(Channels[s].color));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, &GraphWindow::showChannels);
        m_channelBar->addWidget(box);
        if (s + 1 < m_channelBoxes.size())
            m_channelBar->addSeparator();
        m_channelBoxes[s] = box;
    }
}

void GraphWindow::buildStatisticsPanel()
{
    m_graphStatisticsPanel = new QFrame(this);
    m_graphStatisticsPanel->setObjectName(QStringLiteral("pnlGraphStatistic"));
    m_graphStatisticsPanel->setFrameShape(QFrame::StyledPanel);
    auto *row = new QHBoxLayout(m_graphStatisticsPanel);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);

    m_startTimeBox = TextBox(m_graphStatisticsPanel, "txtStartTime", 150);
    m_samplingPanel = new QFrame(m_graphStatisticsPanel);
    m_samplingPanel->setObjectName(QStringLiteral("pnlSamplingRate"));
    auto *rate = new QHBoxLayout(m_samplingPanel);
    rate->setContentsMargins(0, 0, 0, 0);
    rate->setSpacing(3);
    m_minutesBox = SamplingBox(m_samplingPanel, "ComboBox1");
    m_secondsBox = SamplingBox(m_samplingPanel, "ComboBox2");
    rate->addWidget(new QLabel(QStringLiteral("Sampling\nRate"), m_samplingPanel));
    rate->addWidget(m_minutesBox);
    rate->addWidget(new QLabel(QStringLiteral(":"), m_samplingPanel));
    rate->addWidget(m_secondsBox);
    rate->addWidget(new QLabel(QStringLiteral("mm:ss"), m_samplingPanel));
    connect(m_minutesBox, &QComboBox::activated, this, &GraphWindow::changeSamplingPeriod);
    connect(m_secondsBox, &QComboBox::activated, this, &GraphWindow::changeSamplingPeriod);

    m_dataCountBox = TextBox(m_graphStatisticsPanel, "txtDataNo", 60);
    m_dataCountBox->setMaximumWidth(80);
    m_showExtremesButton = TextButton(m_graphStatisticsPanel, "Button2", QStringLiteral("Show MAX/MIN on Graph"));

    row->addWidget(new QLabel(QStringLiteral("Start Time"), m_graphStatisticsPanel));
    row->addWidget(m_startTimeBox);
    row->addSpacing(6);
    row->addWidget(m_samplingPanel);
    row->addSpacing(6);
    row->addWidget(new QLabel(QStringLiteral("Data No."), m_graphStatisticsPanel));
    row->addWidget(m_dataCountBox);
    row->addStretch();
    row->addWidget(m_showExtremesButton);
}

void GraphWindow::buildBottomPanel()
{
    m_statisticsPanel = new QFrame(this);
    m_statisticsPanel->setObjectName(QStringLiteral("pnlStatistic"));
    m_statisticsPanel->setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(m_statisticsPanel);
    grid->setContentsMargins(6, 3, 6, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const std::array<const char *, 3> rowLabels = {"RHMAX ", "T1 MAX ", "T2 MAX "};
    const std::array<std::array<const char *, 3>, 3> names = {{{"txtRHMax", "txtRHMin", "txtRHAvg"},
                                                               {"txtT1Max", "txtT1Min", "txtT1Avg"},
                                                               {"txtT2Max", "txtT2Min", "txtT2Avg"}}};
    for (int r = 0; r < 3; ++r) {
        const auto rowNames = names[size_t(r)];
        const size_t channel = size_t(r);
        m_maxBoxes[channel] = TextBox(m_statisticsPanel, rowNames[0], StatisticsBoxWidth, StatisticsInitialText);
        m_minBoxes[channel] = TextBox(m_statisticsPanel, rowNames[1], StatisticsBoxWidth, StatisticsInitialText);
        m_avgBoxes[channel] = TextBox(m_statisticsPanel, rowNames[2], AverageBoxWidth, StatisticsInitialText);
        grid->addWidget(new QLabel(QLatin1String(rowLabels[size_t(r)]), m_statisticsPanel), r, 0);
        grid->addWidget(m_maxBoxes[channel], r, 1);
        grid->addWidget(new QLabel(QStringLiteral("MIN"), m_statisticsPanel), r, 2);
        grid->addWidget(m_minBoxes[channel], r, 3);
        grid->addWidget(new QLabel(QStringLiteral("AVG"), m_statisticsPanel), r, 4);
        grid->addWidget(m_avgBoxes[channel], r, 5);
    }
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 3);
    grid->setColumnStretch(5, 1);
}

void GraphWindow::buildDataSetsPanel()
{
    m_dataSetsPanel = new QFrame(this);
    m_dataSetsPanel->setObjectName(QStringLiteral("pnlDataSets"));
    m_dataSetsPanel->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(m_dataSetsPanel);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    auto *caption = new QLabel(QStringLiteral("Data Sets"), m_dataSetsPanel);
    caption->setAlignment(Qt::AlignCenter);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_dataSetList = new QTableWidget(m_dataSetsPanel);
    m_dataSetList->setObjectName(QStringLiteral("Grid2"));
    m_dataSetList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_dataSetList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dataSetList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_dataSetList->verticalHeader()->hide();
    m_dataSetList->verticalHeader()->setDefaultSectionSize(20);
    m_dataSetList->horizontalHeader()->setHighlightSections(false);
    // The current row's data set is on the chart, whether the row was
    // reached by the mouse or by the keys; a click on the current row shows
    // its data set again.
    connect(m_dataSetList, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previousRow) {
                if (row == previousRow)
                    return;
                m_dataSetRowChangedByPress = true;
                requestDataSet(row);
            });
    connect(m_dataSetList, &QTableWidget::cellClicked, this, [this](int row) {
        // The press that made the row current has shown it already.
        if (std::exchange(m_dataSetRowChangedByPress, false))
            return;
        requestDataSet(row);
    });
    m_dataSetList->viewport()->installEventFilter(this);
    layout->addWidget(caption);
    layout->addWidget(m_dataSetList, 1);
}

// ---- the data set list as a string grid ----------------------------------------------------

QString GraphWindow::dataSetCell(int column, int row) const
{
    if (column < 0 || column >= m_dataSetList->columnCount())
        return {};
    if (row == 0) {
        const QTableWidgetItem *title = m_dataSetList->horizontalHeaderItem(column);
        return title ? title->text() : QString();
    }
    const QTableWidgetItem *item = m_dataSetList->item(row - 1, column);
    return item ? item->text() : QString();
}

void GraphWindow::setDataSetCell(int column, int row, const QString &text)
{
    if (column < 0 || column >= m_dataSetList->columnCount() || row < 0)
        return;
    if (row == 0) {
        m_dataSetList->setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    if (row > m_dataSetList->rowCount())
        m_dataSetList->setRowCount(row);
    m_dataSetList->setItem(row - 1, column, new QTableWidgetItem(text));
}

int GraphWindow::dataSetRowCount() const { return m_dataSetList->rowCount() + 1; }

void GraphWindow::setDataSetRowCount(int rows) { m_dataSetList->setRowCount(qMax(rows - 1, 0)); }

// ---- life cycle ------------------------------------------------------------------------------

void GraphWindow::setUpChartAndList()
{
    m_dataSetList->setColumnCount(int(DataSetTitles.size()));
    for (int c = 0; c < int(DataSetTitles.size()); ++c) {
        setDataSetCell(c, 0, QLatin1String(DataSetTitles[size_t(c)]));
        m_dataSetList->setColumnWidth(c, DataSetColumnWidths[size_t(c)]);
    }
    setDataSetRowCount(2);

    // The chart's design settings, which SetUpGraph then adjusts.
    Chart &chart = *m_chart;
    chart.setPlottingMethod(sgLine);
    chart.setShowLegend(true);
    chart.setLegendLocation(sgLegendTop);
    chart.setGridLineControl(sgYPlusXAxis);
    chart.setDataPrecision(sgThreeDecimals);
    chart.setAllowCustomization(true);
    chart.setAllowExporting(true);
    chart.setDefOrientation(sgLandscape);
}

void GraphWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        MaskFloatingPointExceptions();
        chooseNormalCursor();
        placeReadout();
    }
}

bool GraphWindow::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange)
        followActivation();
    return QWidget::event(event);
}

void GraphWindow::followActivation()
{
    // Placed in an MDI area, the window reports when its sub-window becomes
    // the active one.
    auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget());
    QMdiArea *area = frame ? frame->mdiArea() : nullptr;
    if (area == m_mdiArea)
        return;
    disconnect(m_activation);
    m_mdiArea = area;
    if (area)
        m_activation = connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *sub) {
            if (sub && sub->widget() == this)
                emit activated();
        });
}

void GraphWindow::closeEvent(QCloseEvent *event)
{
    if (!askBeforeClose() || !saveAsAnswered()) {
        event->ignore();
        return;
    }
    event->accept();
    m_closed = true;
    // Only the logger graph holds logger data: closing another graph window
    // must not drop the question about it.
    if (isLoggerGraph() && m_loggerData) {
        if (m_dropLoggerData)
            m_loggerData->drop();
        m_loggerData->setUnsaved(false);
    }
    emit closed();
}

bool GraphWindow::askBeforeClose()
{
    m_closeAnswer.reset();
    std::optional<Answer> answer;
    if (isLoggerGraph())
        answer = askAboutLoggerData();
    else if (isRealTimeGraph() && m_recorder.isUnsaved())
        answer = Prompts().askYesNoCancel(this, SaveRealTimeQuestion);
    if (answer == Answer::Cancel)
        return false;
    m_closeAnswer = answer;
    return true;
}

bool GraphWindow::saveAsAnswered()
{
    const std::optional<Answer> answer = std::exchange(m_closeAnswer, std::nullopt);
    if (!answer)
        return true;
    if (isLoggerGraph())
        return saveLoggerDataAsAnswered(*answer);
    // A save that did not happen keeps the window and its data.
    if (*answer == Answer::Yes && !saveRecording())
        return false;
    m_recorder.setUnsaved(false);
    return true;
}

void GraphWindow::restoreWindow()
{
    QWidget *frame = parentWidget() ? parentWidget() : this;
    if (frame->isMinimized() || frame->isMaximized())
        frame->showNormal();
}

// ---- channels, split view, zoom, panels -----------------------------------------------------

void GraphWindow::showChannels()
{
    Chart &chart = *m_chart;
    chart.setRandomSubsetsToGraph(-1, 0);
    int position = 0;
    for (int s = 0; s < GraphChannelCount; ++s)
        if (m_channelBoxes[size_t(s)]->isChecked())
            chart.setRandomSubsetsToGraph(position++, s);
    chart.resetImage();
    chart.reinitAndReset();
}

void GraphWindow::setSplitView(bool split) { m_splitBox->setChecked(split); }

void GraphWindow::applySplitView()
{
    Chart &chart = *m_chart;
    if (m_splitBox->isChecked()) {
        for (int a = 0; a < int(SplitSubsets.size()); ++a) {
            chart.setMultiAxesSubsets(a, SplitSubsets[size_t(a)]);
            chart.setMultiAxesProportions(a, SplitProportions[size_t(a)]);
        }
        allowAnnotationTools(false);
        chooseNormalCursor();
    } else {
        chart.setMultiAxesSubsets(-1, 0);
        chart.setMultiAxesProportions(0, 1.0);
        allowAnnotationTools(true);
    }
    chart.resetImage();
    chart.reinitAndReset();
}

void GraphWindow::updateAnnotationTools()
{
    allowAnnotationTools(m_chart->MultiAxesProportions(0) == 1.0);
}

void GraphWindow::allowAnnotationTools(bool allowed)
{
    m_crossTool->setEnabled(allowed);
    m_textTool->setEnabled(allowed);
    // Also puts the pointer back: a template or a graph file may bring another.
    m_tools->setAnnotationsAllowed(allowed);
    showCursorTool();
}

void GraphWindow::showCursorTool()
{
    switch (m_tools->tool()) {
    case AnnotationTool::Normal: m_normalCursorTool->setChecked(true); break;
    case AnnotationTool::Cross: m_crossTool->setChecked(true); break;
    case AnnotationTool::Text: m_textTool->setChecked(true); break;
    }
}

void GraphWindow::undoZoom()
{
    m_chart->undoZoom();
    m_chart->resetImage();
    m_undoZoomButton->setEnabled(false);
}

void GraphWindow::toggleGraphStatistics()
{
    m_graphStatisticsPanel->setVisible(m_graphStatisticsTool->isChecked());
    placeReadout();
}

void GraphWindow::toggleLineStatistics()
{
    const bool down = m_lineStatisticsTool->isChecked();
    m_statisticsPanel->setVisible(down);
    m_chart->setShowVertLineAnnotations(down);
    m_chart->resetImage();
}

void GraphWindow::chooseNormalCursor()
{
    m_tools->chooseTool(AnnotationTool::Normal);
    showCursorTool();
}

void GraphWindow::installGraphTools()
{
    m_tools = new GraphTools(*m_chart, m_cursor, m_settings.annotationColor, *m_readout, this);
    m_tools->setStatisticsSource([this] { return statisticsTexts(); });
    connect(m_crossTool, &QToolButton::clicked, m_tools, [this] { m_tools->chooseTool(AnnotationTool::Cross); });
    connect(m_textTool, &QToolButton::clicked, m_tools, [this] { m_tools->chooseTool(AnnotationTool::Text); });
    // The tool is shared: a choice in any window shows on these buttons.
    connect(&m_cursor, &AnnotationCursor::toolChanged, this, &GraphWindow::showCursorTool);
    connect(m_annotationColorTool, &QToolButton::clicked, m_tools, &GraphTools::recolourAnnotations);
    connect(m_graphOptionButton, &QToolButton::clicked, m_tools, &GraphTools::customize);
    connect(m_yAxisButton, &QToolButton::clicked, m_tools, &GraphTools::changeYScale);
    connect(m_showExtremesButton, &QToolButton::clicked, m_tools, &GraphTools::showStatisticsTable);
    connect(m_exportPictureButton, &QToolButton::clicked, m_tools,
            [this] { m_tools->exportPicture(m_settings.initialFolder()); });
}

GraphTools::StatisticsTexts GraphWindow::statisticsTexts() const
{
    return {m_startTimeBox->text(), m_minutesBox->currentText() + QLatin1Char(':') + m_secondsBox->currentText(),
            m_dataCountBox->text(), m_maxBoxes[0]->text(), m_minBoxes[0]->text(), m_avgBoxes[0]->text(),
            m_maxBoxes[1]->text(),  m_minBoxes[1]->text(), m_avgBoxes[1]->text(), m_maxBoxes[2]->text(),
            m_minBoxes[2]->text(),  m_avgBoxes[2]->text()};
}

void GraphWindow::chooseStatisticsFont()
{
    QFont font = m_statisticsPanel->font();
    if (!Prompts().chooseFont(this, font))
        return;
    m_graphStatisticsPanel->setFont(font);
    m_statisticsPanel->setFont(font);
}

void GraphWindow::placeReadout()
{
    // The mouse read-out sits at the chart's top-left corner.
    m_readout->adjustSize();
    m_readout->move(0, 0);
    m_readout->raise();
}

bool GraphWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chart && event->type() == QEvent::Resize)
        placeReadout();
    if (m_dataSetList && watched == m_dataSetList->viewport() && event->type() == QEvent::MouseButtonPress)
        m_dataSetRowChangedByPress = false;
    return QWidget::eventFilter(watched, event);
}

void GraphWindow::requestDataSet(int listRow)
{
    const int row = listRow + 1;
    if (row >= 1 && !dataSetCell(1, row).isEmpty())
        emit dataSetRequested(row - 1);
}

void GraphWindow::fitDataSetColumns()
{
    // The listed widths are the least; a column holding longer texts (a long
    // date format, say) widens to show them whole.
    for (int c = 0; c < int(DataSetColumnWidths.size()) && c < m_dataSetList->columnCount(); ++c) {
        m_dataSetList->resizeColumnToContents(c);
        if (m_dataSetList->columnWidth(c) < DataSetColumnWidths[size_t(c)])
            m_dataSetList->setColumnWidth(c, DataSetColumnWidths[size_t(c)]);
    }
}

// ---- real-time recording ---------------------------------------------------------------------

void GraphWindow::setUpRealTimeGraph(double now)
{
    m_clearSeparator->setVisible(true);
    m_clearAction->setVisible(true);
    SetUpGraph(*m_chart, GraphChannelCount, RealTimeWindowPoints, now, now + RealTimeWindowSpan, RealTimeYMin,
               RealTimeYMax);
    updateAnnotationTools();
    m_chart->setAllowBar(false);
    m_chart->setLineGapThreshold(NoLineGaps);
    m_samplingPanel->setEnabled(true);
    showSamplingPeriod(m_recorder.period());
}

void GraphWindow::showSamplingPeriod(int seconds)
{
    SelectItem(m_minutesBox, seconds >= 0 ? seconds / 60 : -1);
    SelectItem(m_secondsBox, seconds >= 0 ? seconds % 60 : -1);
}

int GraphWindow::minutesIndex() const { return m_minutesBox->currentIndex(); }

int GraphWindow::secondsIndex() const { return m_secondsBox->currentIndex(); }

void GraphWindow::setSamplingIndexes(int minutes, int seconds)
{
    m_minutesBox->setCurrentIndex(minutes);
    m_secondsBox->setCurrentIndex(seconds);
}

void GraphWindow::setClearEnabled(bool enabled) { m_clearTool->setEnabled(enabled); }

int GraphWindow::samplingPeriod() const
{
    return qMax(m_minutesBox->currentIndex(), 0) * 60 + qMax(m_secondsBox->currentIndex(), 0);
}

void GraphWindow::startRecording(int points, double now)
{
    Chart &chart = *m_chart;
    chart.setPoints(points);
    ClearChartValues(chart);
    clearStatisticsBoxes();
    m_startTimeBox->setText(DateTimeText(now));
    chart.setManualScaleControlX(sgManualMinAndMax);
    chart.setManualMinX(now);
    chart.setManualMaxX(now + RealTimeRecordingSpan);
    chart.setShowTableAnnotation(false);
    m_clearTool->setEnabled(false);
    chart.resetImage();
}

void GraphWindow::addSample(const LiveReading &reading, const QDateTime &stamp)
{
    Chart &chart = *m_chart;
    const int p = m_recorder.count();
    const double t = ToDateTime(stamp);
    if (t > chart.ManualMaxX())
        chart.setManualMaxX(t + m_recorder.timeAxisMargin());

    std::array<float, StatisticsChannelCount> maxBefore{}, minBefore{};
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        maxBefore[size_t(c)] = m_recorder.maximum(c).value;
        minBefore[size_t(c)] = m_recorder.minimum(c).value;
    }
    const SampleValues values = m_recorder.addSample(reading, t);
    for (int s = 0; s < GraphChannelCount; ++s) {
        chart.setXDataII(s, p, t);
        chart.setYData(s, p, values[size_t(s)]);
    }
    // The boxes change with the extremes.
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        const RecordedExtreme &high = m_recorder.maximum(c);
        if (high.value != maxBefore[size_t(c)])
            m_maxBoxes[size_t(c)]->setText(RealTimeExtremeText(c, high.value, high.flagged, high.dateTime));
        const RecordedExtreme &low = m_recorder.minimum(c);
        if (low.value != minBefore[size_t(c)])
            m_minBoxes[size_t(c)]->setText(RealTimeExtremeText(c, low.value, low.flagged, low.dateTime));
    }
    chart.resetImage();

    m_dataCountBox->setText(QString::number(m_recorder.count()));
    if (m_recorder.count() >= chart.Points())
        emit recordingFull();
}

void GraphWindow::stopRecording(double now)
{
    Chart &chart = *m_chart;
    restoreWindow();
    m_clearTool->setEnabled(true);
    const int count = m_recorder.count();
    if (count > 0 && count < chart.Points())
        chart.setPoints(count);
    chart.setManualMaxX(now);
    const ChartState &state = chart.state();
    for (int c = 0; c < StatisticsChannelCount && size_t(c) < state.subsets.size(); ++c)
        m_avgBoxes[size_t(c)]->setText(
            RealTimeAverageText(state.subsets[size_t(c)].y.constData(), qMin(count, state.points)));
    chart.resetImage();
}

bool GraphWindow::saveRecording()
{
    // Samples arriving while the dialogs are open would miss the file and
    // then be cleared unasked: hold the recording until the save is done.
    const bool recording = m_recorder.isRecording();
    m_recorder.setRecording(false);
    QString fileName;
    const SaveOutcome outcome = SaveGraphToFile(this, *m_chart, m_settings.initialFolder(), &fileName);
    m_recorder.setRecording(recording && !m_closed);
    if (outcome == SaveOutcome::Saved)
        emit fileSaved(fileName);
    // A recording that goes on keeps its journal for the samples to come.
    if (outcome == SaveOutcome::Saved && !m_recorder.isRecording())
        emit recordingSaved();
    return outcome == SaveOutcome::Saved;
}

void GraphWindow::changeSamplingPeriod()
{
    int rate = samplingPeriod();
    if (rate == m_recorder.period())
        return;
    if (rate == 0) {
        rate = DefaultSamplingPeriod;
        showSamplingPeriod(rate);
    }
    m_recorder.setPeriod(rate);

    if (m_recorder.isRecording() || m_recorder.count() > 0) {
        switch (Prompts().askYesNoCancel(this, RateChangeQuestion)) {
        case Answer::Cancel:
            return;
        case Answer::Yes:
            if (!saveRecording())
                return;
            break;
        default:
            break;
        }
    }
    m_recorder.setRecording(false);
    m_clearTool->setEnabled(true);
    emit recordingReset();
    clearGraph();
    m_chart->setLineGapThreshold(NoLineGaps);
    m_recorder.setMarginFromPeriod();
    m_chart->setFocus();
}

void GraphWindow::clearRecording()
{
    if (Prompts().askYesNo(this, SaveRealTimeQuestion) == Answer::Yes && !saveRecording())
        return;
    m_chart->undoZoom();
    m_undoZoomButton->setEnabled(false);
    clearGraph();
}

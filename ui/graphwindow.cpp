#include "ui/graphwindow.h"
#include "ui/accessibility.h"

#include "ui/mainwindow.h"
#include "app/prompt.h"
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
const std::array<const char *, 11> Grid2Titles = {"Set",       "DATE",      "TIME",      "Rate",
                                                  "Nums",      "Unit",      "Couple",    "RH Offset",
                                                  "T1 Offset", "T2 Offset", ""};
const std::array<int, 11> Grid2Widths = {25, 60, 60, 65, 40, 40, 40, 60, 60, 60, 60};
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
constexpr int DefaultSamplingRate = 2;
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

void UpdateGraphStatistics(GraphWindow &window)
{
    const ChartState &state = window.PESGraph1->state();
    const int points = state.points;
    const double *x = state.subsets.empty() ? nullptr : state.subsets[0].x.constData();
    std::array<const double *, GraphChannelCount> y{};
    for (size_t s = 0; s < y.size() && s < state.subsets.size(); ++s)
        y[s] = state.subsets[s].y.constData();
    const GraphStatistics stats = ComputeGraphStatistics(x, y, points);

    window.txtDataNo->setText(QString::number(points));
    if (points <= 0 || !x) {
        window.txtStartTime->clear();
        for (int c = 0; c < StatisticsChannelCount; ++c) {
            window.maxBoxes()[size_t(c)]->clear();
            window.minBoxes()[size_t(c)]->clear();
            window.avgBoxes()[size_t(c)]->setText(NoAverageText);
        }
        return;
    }
    window.txtStartTime->setText(DateTimeText(stats.firstTime));
    const int interval = stats.intervalSeconds;
    SelectItem(window.ComboBox1, interval >= 0 ? interval / 60 : -1);
    SelectItem(window.ComboBox2, interval >= 0 ? interval % 60 : -1);
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        const ChannelStatistics &channel = stats.channels[size_t(c)];
        window.maxBoxes()[size_t(c)]->setText(StatisticsExtremeText(c, channel.max, channel.maxTime));
        window.minBoxes()[size_t(c)]->setText(StatisticsExtremeText(c, channel.min, channel.minTime));
        window.avgBoxes()[size_t(c)]->setText(StatisticsAverageText(channel));
    }
}

void ClearGraph(GraphWindow &window)
{
    Chart &chart = *window.PESGraph1;
    ClearChartValues(chart);
    window.txtDataNo->clear();
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        window.maxBoxes()[size_t(c)]->clear();
        window.minBoxes()[size_t(c)]->clear();
        window.avgBoxes()[size_t(c)]->clear();
    }
    // Notes placed by the user leave the picture and numbering starts again.
    AnnotationCursor &cursor = window.mainWindow().annotationCursor;
    for (int i = AnnotationCursor::NoUserAnnotation; i <= cursor.lastIndex(); ++i) {
        chart.setGraphAnnotationX(i, 0);
        chart.setGraphAnnotationY(i, 0);
    }
    cursor.restartNumbering();
    if (window.isRealTimeGraph()) {
        // Nothing recorded is left to save.
        window.recorder().clear();
    }
    chart.resetImage();
}

// ---- the window ----------------------------------------------------------------------------

GraphWindow::GraphWindow(MainWindow &main, const QString &caption, QWidget *parent) : QWidget(parent), m_main(main), m_recorder(main.Recorder)
{
    setObjectName(QStringLiteral("frmGraph"));
    setWindowTitle(caption);
    setWindowIcon(QIcon(QStringLiteral(":/icons/run.svg")));

    PESGraph1 = new Chart(this);
    PESGraph1->setObjectName(QStringLiteral("PESGraph1"));
    Panel12 = new QLabel(PESGraph1);
    Panel12->setObjectName(QStringLiteral("Panel12"));
    // A plain read-out on the chart's margin: nothing shows until it has text.
    Panel12->setFrameShape(QFrame::NoFrame);
    Panel12->setAttribute(Qt::WA_TransparentForMouseEvents);
    Panel12->setMargin(3);
    Panel12->setMinimumWidth(120);
    PESGraph1->installEventFilter(this);

    BuildToolBars();
    BuildStatisticsPanel();
    BuildBottomPanel();
    BuildDataSetsPanel();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter1"));
    m_splitter->addWidget(pnlDataSets);
    m_splitter->addWidget(PESGraph1);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({DataSetsPanelWidth, 600});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(ToolBar2);
    layout->addWidget(pnlGraphStatistic);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(pnlStatistic);

    pnlDataSets->setVisible(isLoggerGraph());
    pnlSamplingRate->setEnabled(false);
    m_clrSeparator->setVisible(false);
    m_clrAction->setVisible(false);

    connect(PESGraph1, &Chart::OnZoomIn, this, &GraphWindow::PESGraph1ZoomIn);
    connect(PESGraph1, &Chart::zoomUndone, UndoZoom, [this] { UndoZoom->setEnabled(false); });
    if (m_main.m_mdiArea)
        connect(m_main.m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *sub) {
            if (sub && sub->widget() == this)
                FormActivate();
        });

    InstallGraphTools();
    PESGraph1->setAccessibleName(QStringLiteral("Graph"));
    PESGraph1->setAccessibleDescription(caption);
    kv::NameControls(this);
    FormCreate();
}

GraphWindow::~GraphWindow() = default;

bool GraphWindow::isRealTimeGraph() const { return windowTitle() == RealTimeGraphCaption; }

bool GraphWindow::isLoggerGraph() const { return windowTitle() == LoggerGraphCaption; }

void GraphWindow::BuildToolBars()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(20, 20));
    ToolButton1 = ToolButton(ToolBar1, "ToolButton1", QStringLiteral("Toggle Graph Statistic"),
                             QStringLiteral(":/icons/statistics.svg"), true);
    ToolButton1->setChecked(true);
    ToolButton2 = ToolButton(ToolBar1, "ToolButton2", QStringLiteral("Toggle Line Cursor Statistic"),
                             QStringLiteral(":/icons/linestatistics.svg"), true);
    ToolButton2->setChecked(true);
    ToolButton4 = ToolButton(ToolBar1, "ToolButton4", QStringLiteral("Normal Cursor"),
                             QStringLiteral(":/icons/cursor.svg"), true);
    ToolButton4->setChecked(true);
    ToolButton5 = ToolButton(ToolBar1, "ToolButton5", QStringLiteral("Draw A Cross On Graph"),
                             QStringLiteral(":/icons/cross.svg"), true);
    ToolButton9 = ToolButton(ToolBar1, "ToolButton9", QStringLiteral("Text"), QStringLiteral(":/icons/text.svg"),
                             true);
    auto *cursorTools = new QButtonGroup(this);
    cursorTools->setExclusive(true);
    for (QToolButton *tool : {ToolButton4, ToolButton5, ToolButton9})
        cursorTools->addButton(tool);
    ToolButton15 = ToolButton(ToolBar1, "ToolButton15", QStringLiteral("Set Annotation Color"),
                              QStringLiteral(":/icons/color.svg"));
    tbntClr = ToolButton(ToolBar1, "tbntClr", QStringLiteral("Clear"), QStringLiteral(":/icons/clear.svg"));
    UndoZoom = TextButton(ToolBar1, "UndoZoom", QStringLiteral("Undo Zoom"));
    UndoZoom->setEnabled(false);
    chkSplit = new QCheckBox(QStringLiteral("Split"), ToolBar1);
    chkSplit->setObjectName(QStringLiteral("chkSplit"));
    chkSplit->setChecked(true);
    Button1 = TextButton(ToolBar1, "Button1", QStringLiteral("Graph Option"), QStringLiteral("Graph Customization"));
    btnChangeScale = TextButton(ToolBar1, "btnChangeScale", QStringLiteral("Y Axis"),
                                QStringLiteral("set the maximum and minimum extent of the left y axis."));
    Button3 = TextButton(ToolBar1, "Button3", QStringLiteral("Font"));
    btnExportPicture = TextButton(ToolBar1, "btnExportPicture", QStringLiteral("Export Picture"),
                                  QStringLiteral("Export the graph as a picture (PNG, JPEG, PDF or SVG)"));

    ToolBar1->addWidget(ToolButton1);
    ToolBar1->addWidget(ToolButton2);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(ToolButton4);
    ToolBar1->addWidget(ToolButton5);
    ToolBar1->addWidget(ToolButton9);
    ToolBar1->addWidget(ToolButton15);
    m_clrSeparator = ToolBar1->addSeparator();
    m_clrAction = ToolBar1->addWidget(tbntClr);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(UndoZoom);
    m_splitAction = ToolBar1->addWidget(chkSplit);
    m_splitAction->setVisible(false);
    ToolBar1->addWidget(Button1);
    ToolBar1->addWidget(btnChangeScale);
    ToolBar1->addWidget(Button3);
    ToolBar1->addWidget(btnExportPicture);

    connect(ToolButton1, &QToolButton::clicked, this, &GraphWindow::ToolButton1Click);
    connect(ToolButton2, &QToolButton::clicked, this, &GraphWindow::ToolButton2Click);
    connect(ToolButton4, &QToolButton::clicked, this, &GraphWindow::ToolButton4Click);
    connect(tbntClr, &QToolButton::clicked, this, &GraphWindow::tbntClrClick);
    connect(UndoZoom, &QToolButton::clicked, this, &GraphWindow::UndoZoomClick);
    connect(chkSplit, &QCheckBox::toggled, this, &GraphWindow::chkSplitClick);
    connect(Button3, &QToolButton::clicked, this, &GraphWindow::Button3Click);

    ToolBar2 = new QToolBar(this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    std::array<QCheckBox **, GraphChannelCount> boxes = {&chkRH, &chkT1, &chkT2, &chkWETBULB, &chkDEWPOINT};
    for (size_t s = 0; s < boxes.size(); ++s) {
        auto *box = new QCheckBox(QLatin1String(Channels[s].boxText), ToolBar2);
        box->setObjectName(QLatin1String(Channels[s].box));
        box->setIcon(SwatchIcon(Channels[s].color));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, &GraphWindow::chkRHClick);
        ToolBar2->addWidget(box);
        if (s + 1 < boxes.size())
            ToolBar2->addSeparator();
        *boxes[s] = box;
    }
}

void GraphWindow::BuildStatisticsPanel()
{
    pnlGraphStatistic = new QFrame(this);
    pnlGraphStatistic->setObjectName(QStringLiteral("pnlGraphStatistic"));
    pnlGraphStatistic->setFrameShape(QFrame::StyledPanel);
    auto *row = new QHBoxLayout(pnlGraphStatistic);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);

    txtStartTime = TextBox(pnlGraphStatistic, "txtStartTime", 150);
    pnlSamplingRate = new QFrame(pnlGraphStatistic);
    pnlSamplingRate->setObjectName(QStringLiteral("pnlSamplingRate"));
    auto *rate = new QHBoxLayout(pnlSamplingRate);
    rate->setContentsMargins(0, 0, 0, 0);
    rate->setSpacing(3);
    ComboBox1 = SamplingBox(pnlSamplingRate, "ComboBox1");
    ComboBox2 = SamplingBox(pnlSamplingRate, "ComboBox2");
    rate->addWidget(new QLabel(QStringLiteral("Sampling\nRate"), pnlSamplingRate));
    rate->addWidget(ComboBox1);
    rate->addWidget(new QLabel(QStringLiteral(":"), pnlSamplingRate));
    rate->addWidget(ComboBox2);
    rate->addWidget(new QLabel(QStringLiteral("mm:ss"), pnlSamplingRate));
    connect(ComboBox1, &QComboBox::activated, this, &GraphWindow::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &GraphWindow::ComboBox1Change);

    txtDataNo = TextBox(pnlGraphStatistic, "txtDataNo", 60);
    txtDataNo->setMaximumWidth(80);
    Button2 = TextButton(pnlGraphStatistic, "Button2", QStringLiteral("Show MAX/MIN on Graph"));

    row->addWidget(new QLabel(QStringLiteral("Start Time"), pnlGraphStatistic));
    row->addWidget(txtStartTime);
    row->addSpacing(6);
    row->addWidget(pnlSamplingRate);
    row->addSpacing(6);
    row->addWidget(new QLabel(QStringLiteral("Data No."), pnlGraphStatistic));
    row->addWidget(txtDataNo);
    row->addStretch();
    row->addWidget(Button2);
}

void GraphWindow::BuildBottomPanel()
{
    pnlStatistic = new QFrame(this);
    pnlStatistic->setObjectName(QStringLiteral("pnlStatistic"));
    pnlStatistic->setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(pnlStatistic);
    grid->setContentsMargins(6, 3, 6, 3);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const std::array<const char *, 3> rowLabels = {"RHMAX ", "T1 MAX ", "T2 MAX "};
    const std::array<std::array<const char *, 3>, 3> names = {{{"txtRHMax", "txtRHMin", "txtRHAvg"},
                                                               {"txtT1Max", "txtT1Min", "txtT1Avg"},
                                                               {"txtT2Max", "txtT2Min", "txtT2Avg"}}};
    std::array<std::array<QLineEdit **, 3>, 3> boxes = {{{&txtRHMax, &txtRHMin, &txtRHAvg},
                                                         {&txtT1Max, &txtT1Min, &txtT1Avg},
                                                         {&txtT2Max, &txtT2Min, &txtT2Avg}}};
    for (int r = 0; r < 3; ++r) {
        const auto rowNames = names[size_t(r)];
        *boxes[size_t(r)][0] = TextBox(pnlStatistic, rowNames[0], StatisticsBoxWidth, StatisticsInitialText);
        *boxes[size_t(r)][1] = TextBox(pnlStatistic, rowNames[1], StatisticsBoxWidth, StatisticsInitialText);
        *boxes[size_t(r)][2] = TextBox(pnlStatistic, rowNames[2], AverageBoxWidth, StatisticsInitialText);
        grid->addWidget(new QLabel(QLatin1String(rowLabels[size_t(r)]), pnlStatistic), r, 0);
        grid->addWidget(*boxes[size_t(r)][0], r, 1);
        grid->addWidget(new QLabel(QStringLiteral("MIN"), pnlStatistic), r, 2);
        grid->addWidget(*boxes[size_t(r)][1], r, 3);
        grid->addWidget(new QLabel(QStringLiteral("AVG"), pnlStatistic), r, 4);
        grid->addWidget(*boxes[size_t(r)][2], r, 5);
    }
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 3);
    grid->setColumnStretch(5, 1);
}

void GraphWindow::BuildDataSetsPanel()
{
    pnlDataSets = new QFrame(this);
    pnlDataSets->setObjectName(QStringLiteral("pnlDataSets"));
    pnlDataSets->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(pnlDataSets);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    auto *caption = new QLabel(QStringLiteral("Data Sets"), pnlDataSets);
    caption->setAlignment(Qt::AlignCenter);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    Grid2 = new QTableWidget(pnlDataSets);
    Grid2->setObjectName(QStringLiteral("Grid2"));
    Grid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid2->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid2->verticalHeader()->hide();
    Grid2->verticalHeader()->setDefaultSectionSize(20);
    Grid2->horizontalHeader()->setHighlightSections(false);
    connect(Grid2, &QTableWidget::cellClicked, this, &GraphWindow::Grid2Click);
    layout->addWidget(caption);
    layout->addWidget(Grid2, 1);
}

// ---- Grid2 as a string grid ----------------------------------------------------------------

QString GraphWindow::Grid2Cell(int column, int row) const
{
    if (column < 0 || column >= Grid2->columnCount())
        return {};
    if (row == 0) {
        const QTableWidgetItem *title = Grid2->horizontalHeaderItem(column);
        return title ? title->text() : QString();
    }
    const QTableWidgetItem *item = Grid2->item(row - 1, column);
    return item ? item->text() : QString();
}

void GraphWindow::setGrid2Cell(int column, int row, const QString &text)
{
    if (column < 0 || column >= Grid2->columnCount() || row < 0)
        return;
    if (row == 0) {
        Grid2->setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    if (row > Grid2->rowCount())
        Grid2->setRowCount(row);
    Grid2->setItem(row - 1, column, new QTableWidgetItem(text));
}

int GraphWindow::Grid2RowCount() const { return Grid2->rowCount() + 1; }

void GraphWindow::setGrid2RowCount(int rows) { Grid2->setRowCount(qMax(rows - 1, 0)); }

// ---- life cycle ------------------------------------------------------------------------------

void GraphWindow::FormCreate()
{
    Grid2->setColumnCount(int(Grid2Titles.size()));
    for (int c = 0; c < int(Grid2Titles.size()); ++c) {
        setGrid2Cell(c, 0, QLatin1String(Grid2Titles[size_t(c)]));
        Grid2->setColumnWidth(c, Grid2Widths[size_t(c)]);
    }
    setGrid2RowCount(2);

    // The chart's design settings, which SetUpGraph then adjusts.
    Chart &chart = *PESGraph1;
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
        FormShow();
    }
}

void GraphWindow::FormShow()
{
    MaskFloatingPointExceptions();
    SetNormalCursor();
    pnlGraphResize();
}

void GraphWindow::FormActivate()
{
    if (m_main.m_tableToGraphButton)
        m_main.m_tableToGraphButton->setEnabled(false);
}

void GraphWindow::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

bool GraphWindow::FormCloseQuery()
{
    if (isLoggerGraph() && !askToSaveLoggerData())
        return false;
    if (m_recorder.isUnsaved() && isRealTimeGraph()) {
        switch (Prompts().askYesNoCancel(this, SaveRealTimeQuestion)) {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            // A save that did not happen keeps the window and its data.
            if (!SaveRecording())
                return false;
            m_recorder.setUnsaved(false);
            break;
        default:
            m_recorder.setUnsaved(false);
            break;
        }
    }
    return true;
}

void GraphWindow::FormClose()
{
    // Only the logger graph holds logger data: closing another graph window
    // must not drop the question about it.
    if (isLoggerGraph() && m_main.LoggerGraph == this) {
        if (m_loggerData)
            m_loggerData->setUnsaved(false);
        m_main.LoggerGraph = nullptr;
    }
    if (isRealTimeGraph() && m_main.RealTimeGraph == this) {
        m_main.m_graphAction->setChecked(false);
        m_main.RealTimeGraph = nullptr;
        m_main.SetRunStopEnabled(m_main.connection().link().isConnected(), false);
        m_recorder.setRecording(false);
        m_recorder.clear();
    }
}

void GraphWindow::RestoreWindow()
{
    QWidget *frame = parentWidget() ? parentWidget() : this;
    if (frame->isMinimized() || frame->isMaximized())
        frame->showNormal();
}

// ---- channels, split view, zoom, panels -----------------------------------------------------

void GraphWindow::chkRHClick()
{
    Chart &chart = *PESGraph1;
    chart.setRandomSubsetsToGraph(-1, 0);
    const std::array<QCheckBox *, GraphChannelCount> boxes = {chkRH, chkT1, chkT2, chkWETBULB, chkDEWPOINT};
    int position = 0;
    for (int s = 0; s < GraphChannelCount; ++s)
        if (boxes[size_t(s)]->isChecked())
            chart.setRandomSubsetsToGraph(position++, s);
    chart.resetImage();
    chart.reinitAndReset();
}

void GraphWindow::chkSplitClick()
{
    Chart &chart = *PESGraph1;
    if (chkSplit->isChecked()) {
        for (int a = 0; a < int(SplitSubsets.size()); ++a) {
            chart.setMultiAxesSubsets(a, SplitSubsets[size_t(a)]);
            chart.setMultiAxesProportions(a, SplitProportions[size_t(a)]);
        }
        ToolButton5->setEnabled(false);
        ToolButton9->setEnabled(false);
        SetNormalCursor();
    } else {
        chart.setMultiAxesSubsets(-1, 0);
        chart.setMultiAxesProportions(0, 1.0);
        ToolButton5->setEnabled(true);
        ToolButton9->setEnabled(true);
    }
    chart.resetImage();
    chart.reinitAndReset();
}

void GraphWindow::UpdateAnnotationTools()
{
    const bool oneAxis = PESGraph1->MultiAxesProportions(0) == 1.0;
    ToolButton5->setEnabled(oneAxis);
    ToolButton9->setEnabled(oneAxis);
}

void GraphWindow::UndoZoomClick()
{
    PESGraph1->undoZoom();
    PESGraph1->resetImage();
    UndoZoom->setEnabled(false);
}

void GraphWindow::PESGraph1ZoomIn() { UndoZoom->setEnabled(true); }

void GraphWindow::ToolButton1Click()
{
    pnlGraphStatistic->setVisible(ToolButton1->isChecked());
    pnlGraphResize();
}

void GraphWindow::ToolButton2Click()
{
    const bool down = ToolButton2->isChecked();
    pnlStatistic->setVisible(down);
    PESGraph1->setShowVertLineAnnotations(down);
    PESGraph1->resetImage();
}

void GraphWindow::ToolButton4Click() { SetNormalCursor(); }

void GraphWindow::SetNormalCursor()
{
    ToolButton4->setChecked(true);
    m_tools->chooseTool(AnnotationTool::Normal);
}

void GraphWindow::InstallGraphTools()
{
    m_tools = new GraphTools(*PESGraph1, m_main.annotationCursor, m_main.settings().annotationColor, *Panel12, this);
    m_tools->setStatisticsSource([this] { return StatisticsTexts(); });
    connect(ToolButton5, &QToolButton::clicked, m_tools, [this] { m_tools->chooseTool(AnnotationTool::Cross); });
    connect(ToolButton9, &QToolButton::clicked, m_tools, [this] { m_tools->chooseTool(AnnotationTool::Text); });
    connect(ToolButton15, &QToolButton::clicked, m_tools, &GraphTools::recolourAnnotations);
    connect(Button1, &QToolButton::clicked, m_tools, &GraphTools::customize);
    connect(btnChangeScale, &QToolButton::clicked, m_tools, &GraphTools::changeYScale);
    connect(Button2, &QToolButton::clicked, m_tools, &GraphTools::showStatisticsTable);
    connect(btnExportPicture, &QToolButton::clicked, m_tools, [this] { m_tools->exportPicture(m_main.InitialFolder()); });
}

GraphTools::StatisticsTexts GraphWindow::StatisticsTexts() const
{
    return {txtStartTime->text(), ComboBox1->currentText() + QLatin1Char(':') + ComboBox2->currentText(),
            txtDataNo->text(),    txtRHMax->text(), txtRHMin->text(), txtRHAvg->text(),
            txtT1Max->text(),     txtT1Min->text(), txtT1Avg->text(), txtT2Max->text(),
            txtT2Min->text(),     txtT2Avg->text()};
}

void GraphWindow::Button3Click()
{
    QFont font = pnlStatistic->font();
    if (!Prompts().chooseFont(this, font))
        return;
    pnlGraphStatistic->setFont(font);
    pnlStatistic->setFont(font);
}

void GraphWindow::pnlGraphResize()
{
    // The mouse read-out sits at the chart's top-left corner.
    Panel12->adjustSize();
    Panel12->move(0, 0);
    Panel12->raise();
}

bool GraphWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PESGraph1 && event->type() == QEvent::Resize)
        pnlGraphResize();
    return QWidget::eventFilter(watched, event);
}

void GraphWindow::Grid2Click()
{
    const int row = Grid2->currentRow() + 1;
    if (row >= 1 && !Grid2Cell(1, row).isEmpty())
        emit ShowDataSetRequested(row - 1);
}

// ---- real-time recording ---------------------------------------------------------------------

void GraphWindow::SetUpRealTimeGraph(double now)
{
    m_clrSeparator->setVisible(true);
    m_clrAction->setVisible(true);
    SetUpGraph(*PESGraph1, GraphChannelCount, RealTimeWindowPoints, now, now + RealTimeWindowSpan, RealTimeYMin,
               RealTimeYMax);
    UpdateAnnotationTools();
    PESGraph1->setAllowBar(false);
    PESGraph1->setLineGapThreshold(NoLineGaps);
    pnlSamplingRate->setEnabled(true);
    ShowSamplingRate(m_recorder.period());
}

void GraphWindow::ShowSamplingRate(int seconds)
{
    SelectItem(ComboBox1, seconds >= 0 ? seconds / 60 : -1);
    SelectItem(ComboBox2, seconds >= 0 ? seconds % 60 : -1);
}

int GraphWindow::SamplingRateFromBoxes() const
{
    return qMax(ComboBox1->currentIndex(), 0) * 60 + qMax(ComboBox2->currentIndex(), 0);
}

void GraphWindow::StartRealTimeRecording(int points, double now)
{
    Chart &chart = *PESGraph1;
    chart.setPoints(points);
    ClearChartValues(chart);
    for (int c = 0; c < StatisticsChannelCount; ++c) {
        maxBoxes()[size_t(c)]->clear();
        minBoxes()[size_t(c)]->clear();
        avgBoxes()[size_t(c)]->clear();
    }
    txtStartTime->setText(DateTimeText(now));
    chart.setManualScaleControlX(sgManualMinAndMax);
    chart.setManualMinX(now);
    chart.setManualMaxX(now + RealTimeRecordingSpan);
    chart.setShowTableAnnotation(false);
    tbntClr->setEnabled(false);
    chart.resetImage();
}

void GraphWindow::AddRealTimeSample(const LiveReading &reading, const QDateTime &stamp)
{
    Chart &chart = *PESGraph1;
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
            maxBoxes()[size_t(c)]->setText(RealTimeExtremeText(c, high.value, high.flagged, high.dateTime));
        const RecordedExtreme &low = m_recorder.minimum(c);
        if (low.value != minBefore[size_t(c)])
            minBoxes()[size_t(c)]->setText(RealTimeExtremeText(c, low.value, low.flagged, low.dateTime));
    }
    chart.resetImage();

    txtDataNo->setText(QString::number(m_recorder.count()));
    if (m_recorder.count() >= chart.Points())
        m_main.endRecording(true);
}

void GraphWindow::StopRealTimeRecording(double now)
{
    Chart &chart = *PESGraph1;
    RestoreWindow();
    tbntClr->setEnabled(true);
    const int count = m_recorder.count();
    if (count > 0 && count < chart.Points())
        chart.setPoints(count);
    chart.setManualMaxX(now);
    const ChartState &state = chart.state();
    for (int c = 0; c < StatisticsChannelCount && size_t(c) < state.subsets.size(); ++c)
        avgBoxes()[size_t(c)]->setText(
            RealTimeAverageText(state.subsets[size_t(c)].y.constData(), qMin(count, state.points)));
    chart.resetImage();
}

bool GraphWindow::SaveRecording()
{
    // Samples arriving while the dialogs are open would miss the file and
    // then be cleared unasked: hold the recording until the save is done.
    const bool recording = m_recorder.isRecording();
    m_recorder.setRecording(false);
    QString fileName;
    const SaveOutcome outcome = SaveGraphToFile(this, *PESGraph1, m_main.InitialFolder(), &fileName);
    m_recorder.setRecording(recording && m_main.RealTimeGraph == this);
    if (outcome == SaveOutcome::Saved)
        m_main.addRecentFile(fileName);
    // A recording that goes on keeps its journal for the samples to come.
    if (outcome == SaveOutcome::Saved && !m_recorder.isRecording())
        m_main.RecordingJournal.discard();
    return outcome == SaveOutcome::Saved;
}

void GraphWindow::ComboBox1Change()
{
    int rate = SamplingRateFromBoxes();
    if (rate == m_recorder.period())
        return;
    if (rate == 0) {
        rate = DefaultSamplingRate;
        ShowSamplingRate(rate);
    }
    m_recorder.setPeriod(rate);

    if (m_recorder.isRecording() || m_recorder.count() > 0) {
        switch (Prompts().askYesNoCancel(this, RateChangeQuestion)) {
        case Answer::Cancel:
            return;
        case Answer::Yes:
            if (!SaveRecording())
                return;
            break;
        default:
            break;
        }
    }
    m_recorder.setRecording(false);
    tbntClr->setEnabled(true);
    m_main.SetRunStopEnabled(m_main.connection().link().isConnected(), false);
    ClearGraph(*this);
    PESGraph1->setLineGapThreshold(NoLineGaps);
    m_recorder.setMarginFromPeriod();
    PESGraph1->setFocus();
}

void GraphWindow::tbntClrClick()
{
    if (Prompts().askYesNo(this, SaveRealTimeQuestion) == Answer::Yes && !SaveRecording())
        return;
    PESGraph1->undoZoom();
    UndoZoom->setEnabled(false);
    ClearGraph(*this);
}

// Drawing of the chart over QCustomPlot, and its mouse handling.
//
// Speed with large data sets rests on: adaptive sampling of every graph, data
// pens one pixel wide, replots queued (coalesced) instead of immediate,
// graph data rebuilt only for subsets that changed, and the often moving
// cursors and table on a buffered layer of their own that is redrawn alone.

#include "chart/view/chart_p.h"

#include "realtime/datetime.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPicture>
#include <QPrinter>
#include <QSvgGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kv {

namespace {

constexpr int ClickSlopPixels = 3;          // a press that moves less is a click
constexpr int MinZoomPixels = 4;            // narrower selections do not zoom that way
constexpr int LineHitPixels = 4;            // grab distance of a vertical line
constexpr int DataHitPixels = 6;            // distance of a data hot spot
constexpr int AnnotationHitPixels = 3;
constexpr double AutoRangePadding = 0.05;   // Y auto range margin, share of the span
constexpr double WheelScrollShare = 0.1;    // share of the view per wheel notch
constexpr int ScrollResolution = 10000;
constexpr int TableCellPadding = 4;
constexpr int TableInsideMargin = 6;
constexpr double AnnotationBasePointSize = 12.0;   // text size 100 %
constexpr double MinAnnotationPointSize = 5.0;
constexpr QSize FallbackRenderSize(1000, 700);      // output size of a chart never laid out
constexpr double MaxAxisValue = 4e249;               // QCustomPlot refuses spans from 1e250
constexpr int LegendIconWidth = 24;
// Reduced graph data: buckets of this many points keep their first, lowest,
// highest and last point; used while at least ReduceAbovePerPixel points
// fall on each pixel column, where the picture stays the same.
constexpr int ReduceBucket = 32;
constexpr int ReduceAbovePerPixel = 64;

// OLE date-times that QDate can show (years 100 to 9999).
constexpr double MinDateTime = -657434.0;
constexpr double MaxDateTime = 2958465.0;

// Tick steps of the date-time axis in seconds, with their sub-tick counts.
struct DateStep {
    double seconds;
    int subTicks;
};
constexpr std::array<DateStep, 27> DateSteps = {{
    {1, 4}, {2, 1}, {5, 4}, {10, 1}, {15, 2}, {30, 2}, {60, 3}, {120, 1}, {300, 4}, {600, 1},
    {900, 2}, {1800, 2}, {3600, 3}, {7200, 1}, {10800, 2}, {21600, 5}, {43200, 2}, {86400, 3},
    {172800, 1}, {432000, 4}, {604800, 6}, {1209600, 1}, {2592000, 2}, {5184000, 1},
    {7776000, 2}, {15552000, 5}, {31536000, 11},
}};

QPen PenForLineType(QColor color, int lineType)
{
    QPen pen(color, 1.0);
    switch (lineType) {
    case sgDashLine: pen.setStyle(Qt::DashLine); break;
    case sgDotLine: pen.setStyle(Qt::DotLine); break;
    case sgDashDotLine: pen.setStyle(Qt::DashDotLine); break;
    case sgMediumSolid: pen.setWidthF(2.0); break;
    case sgThickSolid: pen.setWidthF(3.0); break;
    default: break;
    }
    return pen;
}

// A range that QCustomPlot accepts (QCPRange::validRange), ordered as it
// orders them; beyond that, non-finite ends take the fallback and a span too
// small to label around its centre is widened.
QCPRange Sane(double lo, double hi, double fallbackLo = 0.0, double fallbackHi = 1.0)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = fallbackLo;
        hi = fallbackHi;
    }
    const QCPRange ordered = QCPRange(qBound(-MaxAxisValue, lo, MaxAxisValue), qBound(-MaxAxisValue, hi, MaxAxisValue))
                                 .sanitizedForLinScale();
    lo = ordered.lower;
    hi = ordered.upper;
    const double centre = lo / 2 + hi / 2;
    const double minSpan = qMax(std::fabs(centre) * 1e-12, 1e-12);
    if (hi - lo < minSpan) {
        lo = centre - minSpan;
        hi = centre + minSpan;
        if (centre == 0.0 || lo == hi) {
            lo = centre - 0.5;
            hi = centre + 0.5;
        }
    }
    return QCPRange::validRange(lo, hi) ? QCPRange(lo, hi) : QCPRange(fallbackLo, fallbackHi);
}

QStringList TextLines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

} // namespace

// ---- date-time ticker -------------------------------------------------------

OleDateTimeTicker::OleDateTimeTicker() { setTickCount(5); }

double OleDateTimeTicker::getTickStep(const QCPRange &range)
{
    const double spanSeconds = range.size() * SecondsPerDay;
    const double wanted = spanSeconds / qMax(1, tickCount());
    if (wanted < DateSteps.front().seconds) {
        m_step = QCPAxisTicker::getTickStep(range);
        return m_step;
    }
    for (const DateStep &s : DateSteps) {
        if (s.seconds >= wanted) {
            m_step = s.seconds / SecondsPerDay;
            return m_step;
        }
    }
    // Beyond a year: whole years of 365 days in a readable multiple.
    const double years = wanted / DateSteps.back().seconds;
    m_step = std::ceil(QCPAxisTicker::getTickStep(QCPRange(0, years * tickCount()))) * 365.0;
    return m_step;
}

int OleDateTimeTicker::getSubTickCount(double tickStep)
{
    const double seconds = tickStep * SecondsPerDay;
    for (const DateStep &s : DateSteps)
        if (std::fabs(s.seconds - seconds) < 1e-3)
            return s.subTicks;
    return seconds < 1.0 ? QCPAxisTicker::getSubTickCount(tickStep) : 0;
}

QVector<double> OleDateTimeTicker::createTickVector(double tickStep, const QCPRange &range)
{
    // A tick that misses an end of the range by rounding alone (a range that
    // starts at 10:00 exactly) is put on it, so it is drawn.
    QVector<double> ticks = QCPAxisTicker::createTickVector(tickStep, range);
    const double tolerance = tickStep * 1e-6;
    for (double &tick : ticks) {
        if (std::fabs(tick - range.lower) < tolerance)
            tick = range.lower;
        else if (std::fabs(tick - range.upper) < tolerance)
            tick = range.upper;
    }
    return ticks;
}

QString OleDateTimeTicker::getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision)
{
    if (!std::isfinite(tick) || tick < MinDateTime || tick > MaxDateTime)
        return QCPAxisTicker::getTickLabel(tick, locale, formatChar, precision);
    const QDateTime when = FromDateTime(tick);
    const QLocale system;
    const QString date = system.toString(when.date(), QLocale::ShortFormat);
    const double stepSeconds = m_step * SecondsPerDay;
    if (stepSeconds >= SecondsPerDay - 1e-3)
        return date;
    QString format = QStringLiteral("HH:mm");
    if (stepSeconds < 1.0)
        format = QStringLiteral("HH:mm:ss.zzz");
    else if (stepSeconds < 60.0)
        format = QStringLiteral("HH:mm:ss");
    return when.time().toString(format) + QLatin1Char('\n') + date;
}

// ---- plot widget and layerables ------------------------------------------------

PlotWidget::PlotWidget(Chart::Impl *owner, QWidget *parent) : QCustomPlot(parent), m_owner(owner)
{
    setMouseTracking(true);
}

void PlotWidget::mousePressEvent(QMouseEvent *event) { m_owner->mousePress(event); }
void PlotWidget::mouseMoveEvent(QMouseEvent *event) { m_owner->mouseMove(event); }
void PlotWidget::mouseReleaseEvent(QMouseEvent *event) { m_owner->mouseRelease(event); }
void PlotWidget::mouseDoubleClickEvent(QMouseEvent *event) { m_owner->mouseDoubleClick(event); }
void PlotWidget::wheelEvent(QWheelEvent *event) { m_owner->wheel(event); }

void PlotWidget::processRectZoom(QRect rect, QMouseEvent *) { m_owner->applyZoom(rect); }

void PlotWidget::leaveEvent(QEvent *event)
{
    QCustomPlot::leaveEvent(event);
    m_owner->hovering = false;
}

NotesLayerable::NotesLayerable(QCustomPlot *plot, Chart::Impl *owner)
    : QCPLayerable(plot, QStringLiteral("notes")), m_owner(owner) {}

void NotesLayerable::applyDefaultAntialiasingHint(QCPPainter *painter) const { painter->setAntialiasing(true); }

void NotesLayerable::draw(QCPPainter *painter) { m_owner->drawNotes(painter); }

CursorsLayerable::CursorsLayerable(QCustomPlot *plot, Chart::Impl *owner)
    : QCPLayerable(plot, QStringLiteral("cursors")), m_owner(owner) {}

void CursorsLayerable::applyDefaultAntialiasingHint(QCPPainter *painter) const { painter->setAntialiasing(false); }

void CursorsLayerable::draw(QCPPainter *painter) { m_owner->drawCursors(painter); }

NoteItem::NoteItem(QCustomPlot *plot, Chart::Impl *owner, int noteIndex)
    : QCPAbstractItem(plot), position(createPosition(QStringLiteral("position"))), index(noteIndex), m_owner(owner)
{
    // Clipped to all stacked axes together (in draw), not to one axis rect.
    setClipToAxisRect(false);
    position->setType(QCPItemPosition::ptPlotCoords);
}

double NoteItem::selectTest(const QPointF &pos, bool, QVariant *) const
{
    const auto it = m_owner->state.annotations.find(index);
    if (it == m_owner->state.annotations.end())
        return -1;
    const QPointF at = position->pixelPosition();
    if (!QRectF(m_owner->plotRectUnion()).adjusted(-1, -1, 1, 1).contains(at))
        return -1;          // not drawn
    const GraphAnnotationState &a = it->second;
    const QFontMetricsF fm(m_owner->scaledFont(m_owner->state.annotationTextSize));
    double best = -1;
    for (const QRectF &r : {m_owner->annotationSymbolRect(a, at), m_owner->annotationTextRect(a, at, fm)}) {
        if (r.isNull())
            continue;
        const double dx = qMax(qMax(r.left() - pos.x(), 0.0), pos.x() - r.right());
        const double dy = qMax(qMax(r.top() - pos.y(), 0.0), pos.y() - r.bottom());
        const double d = std::hypot(dx, dy);
        if (best < 0 || d < best)
            best = d;
    }
    return best >= 0 && best <= AnnotationHitPixels ? best : -1;
}

void NoteItem::draw(QCPPainter *painter)
{
    const auto it = m_owner->state.annotations.find(index);
    if (it == m_owner->state.annotations.end())
        return;
    painter->save();
    painter->setClipRect(m_owner->plotRectUnion());
    m_owner->drawAnnotation(painter, it->second, position->pixelPosition());
    painter->restore();
}

// ---- construction -----------------------------------------------------------------

Chart::Impl::Impl(Chart *chart) : q(chart)
{
    auto *grid = new QGridLayout(q);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    plot = new PlotWidget(this, q);
    hScroll = new QScrollBar(Qt::Horizontal, q);
    vScroll = new QScrollBar(Qt::Vertical, q);
    hScroll->hide();
    vScroll->hide();
    grid->addWidget(plot, 0, 0);
    grid->addWidget(vScroll, 0, 1);
    grid->addWidget(hScroll, 1, 0);

    plot->setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    plot->setNotAntialiasedElements(QCP::aePlottables | QCP::aeGrid | QCP::aeAxes);
    plot->setAutoAddPlottableToLegend(false);
    plot->setInteractions(QCP::Interactions());
    plot->setSelectionTolerance(DataHitPixels);
    plot->addLayer(QStringLiteral("notes"), plot->layer(QStringLiteral("legend")), QCustomPlot::limAbove);
    plot->addLayer(QStringLiteral("cursors"), plot->layer(QStringLiteral("notes")), QCustomPlot::limAbove);
    cursorsLayer = plot->layer(QStringLiteral("cursors"));
    // Every paint buffer costs a clear and a blend per repaint: the notes
    // share the plot's buffer, only the cursors (dragged) get their own, and
    // the unused selection overlay goes.
    cursorsLayer->setMode(QCPLayer::lmBuffered);
    plot->removeLayer(plot->layer(QStringLiteral("overlay")));
    // Zoom by dragging a rectangle; it is drawn on the cursors' buffer, so
    // dragging it never redraws the data.
    plot->setSelectionRectMode(QCP::srmZoom);
    plot->selectionRect()->setLayer(cursorsLayer);
    plot->selectionRect()->setPen(QPen(QColor(255, 255, 255), 1, Qt::DashLine));
    plot->selectionRect()->setBrush(QColor(255, 255, 255, 40));
    notes = new NotesLayerable(plot, this);
    cursors = new CursorsLayerable(plot, this);
    plot->setCurrentLayer(QStringLiteral("main"));

    dateTicker = QSharedPointer<QCPAxisTicker>(new OleDateTimeTicker);
    numberTicker = QSharedPointer<QCPAxisTicker>(new QCPAxisTicker);

    plot->plotLayout()->clear();
    QObject::connect(plot, &QCustomPlot::beforeReplot, q, [this] {
        fullReplotPending = false;
        viewReplotPending = false;
        sync();
        linesDirty = true;      // which lines are in range, and their labels' sides
        syncLines();
    });
    QObject::connect(hScroll, &QScrollBar::valueChanged, q, [this](int value) {
        if (!zoomX)
            return;
        const QCPRange full = unzoomedX();
        const double span = zoomX->size();
        const double lower = full.lower + double(value) / ScrollResolution * full.size();
        zoomX = QCPRange(lower, lower + span);
        scheduleReplot();
    });
    QObject::connect(vScroll, &QScrollBar::valueChanged, q, [this](int value) {
        if (scrollAxis >= int(zoomY.size()) || !zoomY[size_t(scrollAxis)])
            return;
        const QCPRange full = unzoomedY(scrollAxis);
        const double span = zoomY[size_t(scrollAxis)]->size();
        const double upper = full.upper - double(value) / ScrollResolution * full.size();
        zoomY[size_t(scrollAxis)] = QCPRange(upper - span, upper);
        scheduleReplot();
    });
    q->setFocusPolicy(Qt::StrongFocus);
    q->setAutoFillBackground(true);
    applyCursor();
    sync();
}

Chart::Impl::~Impl() = default;

// ---- state changes -----------------------------------------------------------------

void Chart::Impl::touchData(int subset, int point)
{
    if (subset >= int(dirtyFrom.size()))
        dirtyFrom.resize(state.subsets.size(), 0);
    int &from = dirtyFrom[size_t(subset)];
    from = qMin(from, point);
    autoRangeDirty = true;
    scheduleReplot();
}

void Chart::Impl::touchAllData()
{
    dirtyFrom.assign(state.subsets.size(), 0);
    autoRangeDirty = true;
    scheduleReplot();
}

void Chart::Impl::touchLayout()
{
    layoutDirty = true;
    scheduleReplot();
}

void Chart::Impl::touchLook()
{
    lookDirty = true;
    scheduleReplot();
}

void Chart::Impl::touchView()
{
    notesDirty = true;
    linesDirty = true;
    if (fullReplotPending || viewReplotPending)
        return;
    viewReplotPending = true;
    QMetaObject::invokeMethod(
        q,
        [this] {
            if (!viewReplotPending)
                return;         // a full replot came first and drew it
            viewReplotPending = false;
            syncNotes();
            syncLines();
            cursorsLayer->replot();
        },
        Qt::QueuedConnection);
}

void Chart::Impl::scheduleReplot()
{
    fullReplotPending = true;
    plot->replot(QCustomPlot::rpQueuedReplot);
}

YAxisState &Chart::Impl::workingAxisState()
{
    const size_t a = size_t(qBound(0, state.workingAxis, MaxChartAxes - 1));
    if (state.yAxes.size() <= a)
        state.yAxes.resize(a + 1);
    return state.yAxes[a];
}

const YAxisState *Chart::Impl::axisState(int axis) const
{
    static const YAxisState none;
    if (axis >= 0 && axis < int(state.yAxes.size()))
        return &state.yAxes[size_t(axis)];
    return &none;
}

// ---- structure -------------------------------------------------------------------

int Chart::Impl::axisCount() const { return qMax(1, int(state.multiAxesSubsets.size())); }

int Chart::Impl::axisOfSubset(int subset) const
{
    int first = 0;
    const int axes = axisCount();
    for (int a = 0; a < int(state.multiAxesSubsets.size()); ++a) {
        first += state.multiAxesSubsets[a];
        if (subset < first)
            return a;
    }
    return axes - 1;
}

bool Chart::Impl::subsetShown(int subset) const
{
    if (subset < 0 || subset >= int(state.subsets.size()))
        return false;
    if (!state.randomSubsetsUsed)
        return true;
    return state.randomSubsetsToGraph.contains(subset);
}

QVector<int> Chart::Impl::shownSubsets() const
{
    QVector<int> out;
    const int count = int(state.subsets.size());
    if (!state.randomSubsetsUsed) {
        for (int s = 0; s < count; ++s)
            out.append(s);
        return out;
    }
    for (int s : state.randomSubsetsToGraph)
        if (s >= 0 && s < count && !out.contains(s))
            out.append(s);
    return out;
}

QVector<double> Chart::Impl::proportions() const
{
    const int axes = axisCount();
    QVector<double> shares(axes, 0.0);
    double given = 0.0;
    int missing = 0;
    for (int a = 0; a < axes; ++a) {
        const double p = a < state.multiAxesProportions.size() ? state.multiAxesProportions[a] : 0.0;
        if (p > 0.0) {
            shares[a] = p;
            given += p;
        } else {
            ++missing;
        }
    }
    const double rest = missing > 0 ? qMax(0.0, 1.0 - given) / missing : 0.0;
    for (int a = 0; a < axes; ++a) {
        if (shares[a] <= 0.0)
            shares[a] = rest > 0.0 ? rest : 1.0 / axes;
        shares[a] = qMax(shares[a], 0.02);
    }
    return shares;
}

// ---- drawing --------------------------------------------------------------------------

void Chart::Impl::sync()
{
    if (layoutDirty)
        rebuildLayout();
    if (lookDirty)
        applyLook();
    syncNotes();
    if (dirtyFrom.size() != state.subsets.size())
        dirtyFrom.resize(state.subsets.size(), 0);
    for (size_t s = 0; s < dirtyFrom.size(); ++s)
        if (dirtyFrom[s] != CleanData)
            syncData(int(s));
    applyRanges();
}

void Chart::Impl::rebuildLayout()
{
    layoutDirty = false;
    notesDirty = true;      // their axes go with the old layout
    linesDirty = true;
    lookDirty = true;
    autoRangeDirty = true;
    plot->clearPlottables();
    QCPLayoutGrid *main = plot->plotLayout();
    main->clear();
    main->simplify();
    rects.clear();
    legend = nullptr;
    titleElement = nullptr;
    subTitleElement = nullptr;
    delete marginGroup;
    marginGroup = new QCPMarginGroup(plot);

    int row = 0;
    auto addTextRow = [&](const QString &text) {
        auto *element = new QCPTextElement(plot, text);
        main->addElement(row, 0, element);
        main->setRowStretchFactor(row, 0.001);
        ++row;
        return element;
    };
    if (!state.mainTitle.trimmed().isEmpty())
        titleElement = addTextRow(state.mainTitle);
    if (!state.subTitle.trimmed().isEmpty())
        subTitleElement = addTextRow(state.subTitle);

    const QVector<int> shown = shownSubsets();
    const bool withLegend = state.showLegend && !shown.isEmpty();
    auto addLegendRow = [&] {
        auto *holder = new QCPLayoutGrid;
        holder->setMargins(QMargins(0, 3, 0, 0));
        main->addElement(row, 0, holder);
        main->setRowStretchFactor(row, 0.001);
        ++row;
        legend = new QCPLegend;
        holder->addElement(0, 0, new QCPLayoutElement(plot));
        holder->addElement(0, 1, legend);
        holder->addElement(0, 2, new QCPLayoutElement(plot));
        holder->setColumnStretchFactors({1.0, 0.001, 1.0});
        legend->setLayer(QStringLiteral("legend"));
        legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        legend->setWrap(0);
        legend->setMargins(QMargins(4, 2, 4, 2));
        legend->setIconSize(LegendIconWidth, 10);
    };
    if (withLegend && state.legendLocation == sgLegendTop)
        addLegendRow();

    auto *axesGrid = new QCPLayoutGrid;
    main->addElement(row, 0, axesGrid);
    main->setRowStretchFactor(row, 1.0);
    ++row;
    axesGrid->setRowSpacing(6);
    const int axes = axisCount();
    const QVector<double> shares = proportions();
    for (int a = 0; a < axes; ++a) {
        auto *rect = new QCPAxisRect(plot, false);
        rect->addAxes(QCPAxis::atBottom | QCPAxis::atLeft | QCPAxis::atTop | QCPAxis::atRight);
        rect->setLayer(QStringLiteral("background"));
        for (QCPAxis *axis : rect->axes()) {
            axis->setLayer(QStringLiteral("axes"));
            axis->grid()->setLayer(QStringLiteral("grid"));
        }
        rect->setRangeDrag(Qt::Orientations());
        rect->setRangeZoom(Qt::Orientations());
        axesGrid->addElement(a, 0, rect);
        axesGrid->setRowStretchFactor(a, shares[a]);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, marginGroup);
        rects.push_back(rect);
    }
    if (withLegend && state.legendLocation == sgLegendBottom)
        addLegendRow();

    graphs.assign(state.subsets.size(), nullptr);
    for (int s : shown) {
        QCPAxisRect *rect = rects[size_t(axisOfSubset(s))];
        auto *graph = new QCPGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        graph->setLayer(QStringLiteral("main"));
        graph->setAdaptiveSampling(true);
        graphs[size_t(s)] = graph;
    }
    fullData.assign(state.subsets.size(), nullptr);
    reducedData.assign(state.subsets.size(), nullptr);
    reducedStale.assign(state.subsets.size(), true);
    for (int s : shown) {
        fullData[size_t(s)] = graphs[size_t(s)]->data();
        reducedData[size_t(s)] = QSharedPointer<QCPGraphDataContainer>::create();
    }
    if (zoomY.size() != size_t(axes))
        zoomY.resize(size_t(axes));
    dirtyFrom.assign(state.subsets.size(), 0);
    lastDrawn.assign(state.subsets.size(), -1);
}

void Chart::Impl::applyLook()
{
    lookDirty = false;
    const QColor desk = QColor::fromRgba(state.deskColor);
    const QColor text = QColor::fromRgba(state.textColor);
    const QColor fore = QColor::fromRgba(state.graphForeColor);
    const QColor back = QColor::fromRgba(state.graphBackColor);
    const QFont labelFont = state.labelFont.toFont();

    plot->setBackground(QBrush(desk));
    if (q->palette().color(QPalette::Window) != desk) {
        QPalette pal = q->palette();
        pal.setColor(QPalette::Window, desk);
        q->setPalette(pal);
    }
    if (titleElement) {
        titleElement->setFont(state.mainTitleFont.toFont());
        titleElement->setTextColor(text);
    }
    if (subTitleElement) {
        subTitleElement->setFont(state.subTitleFont.toFont());
        subTitleElement->setTextColor(text);
    }

    QPen gridPen(fore, 1.0, Qt::SolidLine);
    if (state.gridStyle == sgThick)
        gridPen.setWidthF(2.0);
    else if (state.gridStyle == sgDot)
        gridPen.setStyle(Qt::DotLine);
    else if (state.gridStyle == sgDash)
        gridPen.setStyle(Qt::DashLine);
    const bool xGrid = state.gridLineControl == sgYPlusXAxis || state.gridLineControl == sgXAxis;
    const bool yGrid = state.gridLineControl == sgYPlusXAxis || state.gridLineControl == sgYAxis;
    const QPen axisPen(text, 1.0);

    for (size_t a = 0; a < rects.size(); ++a) {
        QCPAxisRect *rect = rects[a];
        const bool bottomMost = a + 1 == rects.size();
        rect->setBackground(QBrush(back));
        for (QCPAxis *axis : rect->axes()) {
            axis->setBasePen(axisPen);
            axis->setTickPen(axisPen);
            axis->setSubTickPen(axisPen);
            axis->setTickLabelColor(text);
            axis->setLabelColor(text);
            axis->setTickLabelFont(labelFont);
            axis->setLabelFont(labelFont);
            axis->grid()->setPen(gridPen);
            axis->grid()->setZeroLinePen(Qt::NoPen);
            axis->grid()->setSubGridVisible(false);
        }
        QCPAxis *bottom = rect->axis(QCPAxis::atBottom);
        QCPAxis *left = rect->axis(QCPAxis::atLeft);
        QCPAxis *top = rect->axis(QCPAxis::atTop);
        QCPAxis *right = rect->axis(QCPAxis::atRight);
        bottom->setTicker(state.dateTimeMode == sgVBDateTime ? dateTicker : numberTicker);
        top->setTicker(bottom->ticker());
        bottom->setTickLabels(bottomMost);
        bottom->setLabel(bottomMost ? state.xAxisLabel : QString());
        bottom->grid()->setVisible(xGrid);
        left->setTicker(numberTicker);
        left->setLabel(axisState(int(a))->label);
        left->grid()->setVisible(yGrid);
        for (QCPAxis *frame : {top, right}) {
            frame->setTicks(false);
            frame->setTickLabels(false);
            frame->grid()->setVisible(false);
        }
    }

    for (size_t s = 0; s < graphs.size(); ++s) {
        QCPGraph *graph = graphs[s];
        if (!graph)
            continue;
        const SubsetState &sub = state.subsets[s];
        const QColor color = QColor::fromRgba(sub.color);
        graph->setName(sub.label);
        graph->setPen(PenForLineType(color, sub.lineType));
        switch (state.plottingMethod) {
        case sgPoint:
            graph->setLineStyle(QCPGraph::lsNone);
            graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, color, color, 4));
            break;
        case sgPointsPlusLine:
            graph->setLineStyle(QCPGraph::lsLine);
            graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, color, 5));
            break;
        case sgBar:
            graph->setLineStyle(QCPGraph::lsImpulse);
            graph->setScatterStyle(QCPScatterStyle());
            break;
        default:
            graph->setLineStyle(QCPGraph::lsLine);
            graph->setScatterStyle(QCPScatterStyle());
            break;
        }
    }

    if (legend) {
        legend->clearItems();
        legend->setFont(labelFont);
        legend->setTextColor(text);
        legend->setBrush(Qt::NoBrush);
        legend->setBorderPen(Qt::NoPen);
        legend->setIconBorderPen(Qt::NoPen);
        for (int s : shownSubsets())
            if (QCPGraph *graph = graphs[size_t(s)])
                graph->addToLegend(legend);
    }
}

void Chart::Impl::syncData(int subset)
{
    const size_t index = size_t(subset);
    const int from = dirtyFrom[index];
    dirtyFrom[index] = CleanData;
    QCPGraph *graph = index < graphs.size() ? graphs[index] : nullptr;
    if (lastDrawn.size() != graphs.size())
        lastDrawn.assign(graphs.size(), -1);
    if (!graph)
        return;
    const SubsetState &sub = state.subsets[index];
    const double null = state.nullDataValueY;
    const double gap = state.lineGapThreshold;
    const bool useX = state.usingXDataII;
    const int points = state.points;
    const double *xs = sub.x.constData();
    const double *ys = sub.y.constData();
    auto drawn = [&](int p) { return ys[p] != null && std::isfinite(ys[p]) && (!useX || std::isfinite(xs[p])); };

    // Changes only after the last drawn point (a recording that grows):
    // append to the graph's data instead of rebuilding it.
    int &last = lastDrawn[index];
    QCPGraphDataContainer *data = fullData[index].data();
    reducedStale[index] = true;
    const bool append = from > last && last < points && data->size() > 0 &&
                        (last < 0 || drawn(last));
    int start = 0;
    bool haveDrawn = false;
    bool pendingBreak = false;
    double prevKey = 0.0;
    if (append && last >= 0) {
        start = from;
        haveDrawn = true;
        prevKey = useX ? xs[last] : double(last);
        pendingBreak = from > last + 1;
    } else if (append) {
        start = from;
    } else {
        last = -1;
    }

    QVector<QCPGraphData> out;
    out.reserve(append ? 16 : points + 16);
    bool keysSorted = true;
    for (int p = start; p < points; ++p) {
        if (!drawn(p)) {
            pendingBreak = haveDrawn;
            continue;
        }
        const double key = useX ? xs[p] : double(p);
        if (haveDrawn) {
            if (pendingBreak || (gap > 0.0 && key - prevKey > gap))
                out.append(QCPGraphData(prevKey / 2 + key / 2, std::numeric_limits<double>::quiet_NaN()));
            if (key < prevKey)
                keysSorted = false;
        }
        pendingBreak = false;
        out.append(QCPGraphData(key, ys[p]));
        haveDrawn = true;
        prevKey = key;
        last = p;
    }
    if (append)
        data->add(out, keysSorted);
    else
        data->set(out, keysSorted);
}

void Chart::Impl::reduce(const QCPGraphDataContainer &full, QCPGraphDataContainer *out)
{
    QVector<QCPGraphData> points;
    points.reserve(full.size() / ReduceBucket * 4 + 16);
    auto first = full.constBegin();
    auto low = first, high = first, last = first;
    int count = 0;
    auto flush = [&] {
        if (count == 0)
            return;
        // In key order, without repeating a point.
        std::array<QCPGraphDataContainer::const_iterator, 4> keep = {first, low, high, last};
        std::sort(keep.begin(), keep.end());
        for (size_t i = 0; i < keep.size(); ++i)
            if (i == 0 || keep[i] != keep[i - 1])
                points.append(*keep[i]);
        count = 0;
    };
    for (auto it = full.constBegin(); it != full.constEnd(); ++it) {
        if (std::isnan(it->value)) {        // a gap stays a gap
            flush();
            points.append(*it);
            continue;
        }
        if (count == 0) {
            first = low = high = it;
        } else {
            if (it->value < low->value)
                low = it;
            if (it->value > high->value)
                high = it;
        }
        last = it;
        if (++count == ReduceBucket)
            flush();
    }
    flush();
    out->set(points, true);
}

void Chart::Impl::chooseDataDetail(bool full)
{
    for (size_t s = 0; s < graphs.size(); ++s) {
        QCPGraph *graph = graphs[s];
        if (!graph || !fullData[s])
            continue;
        const QCPGraphDataContainer &all = *fullData[s];
        const QCPRange keys = graph->keyAxis()->range();
        const qsizetype visible = all.findEnd(keys.upper) - all.findBegin(keys.lower);
        // Before the first layout the rectangle has no width: the widget's
        // width overestimates it, which errs toward all points.
        const int width = graph->keyAxis()->axisRect()->width();
        const double pixels = qMax(1, width > 0 ? width : plot->width());
        const bool reduced = !full && visible > ReduceAbovePerPixel * pixels;
        if (reduced && reducedStale[s]) {
            reduce(all, reducedData[s].data());
            reducedStale[s] = false;
        }
        const auto &wanted = reduced ? reducedData[s] : fullData[s];
        if (graph->data() != wanted)
            graph->setData(wanted);
    }
}

void Chart::Impl::computeAutoRanges()
{
    autoRangeDirty = false;
    autoX.reset();
    autoY.assign(size_t(axisCount()), std::nullopt);
    const double null = state.nullDataValueY;
    for (int s : shownSubsets()) {
        const SubsetState &sub = state.subsets[size_t(s)];
        const size_t axis = size_t(axisOfSubset(s));
        double xLo = std::numeric_limits<double>::infinity(), xHi = -xLo;
        double yLo = xLo, yHi = -xLo;
        for (int p = 0; p < state.points; ++p) {
            const double y = sub.y[p];
            const double x = state.usingXDataII ? sub.x[p] : double(p);
            if (y == null || !std::isfinite(y) || !std::isfinite(x))
                continue;
            xLo = qMin(xLo, x);
            xHi = qMax(xHi, x);
            yLo = qMin(yLo, y);
            yHi = qMax(yHi, y);
        }
        if (xLo <= xHi) {
            autoX = autoX ? QCPRange(qMin(autoX->lower, xLo), qMax(autoX->upper, xHi)) : QCPRange(xLo, xHi);
            auto &range = autoY[axis];
            range = range ? QCPRange(qMin(range->lower, yLo), qMax(range->upper, yHi)) : QCPRange(yLo, yHi);
        }
    }
}

QCPRange Chart::Impl::unzoomedX() const
{
    const int control = state.manualScaleControlX;
    double lo = 0.0, hi = 1.0;
    if (control != sgManualMinAndMax) {
        if (autoRangeDirty)
            const_cast<Impl *>(this)->computeAutoRanges();
        if (autoX) {
            lo = autoX->lower;
            hi = autoX->upper;
        }
    }
    if (control == sgManualMin || control == sgManualMinAndMax)
        lo = state.manualMinX;
    if (control == sgManualMax || control == sgManualMinAndMax)
        hi = state.manualMaxX;
    if (lo >= hi && control != sgManualMinAndMax) {
        // One manual end beyond the data: keep a unit span on the free side.
        if (control == sgManualMin)
            hi = lo + 1.0;
        else
            lo = hi - 1.0;
    }
    return Sane(lo, hi);
}

QCPRange Chart::Impl::unzoomedY(int axis) const
{
    const YAxisState *a = axisState(axis);
    const int control = a->manualScaleControl;
    double lo = 0.0, hi = 1.0;
    if (control != sgManualMinAndMax) {
        if (autoRangeDirty)
            const_cast<Impl *>(this)->computeAutoRanges();
        if (axis >= 0 && axis < int(autoY.size()) && autoY[size_t(axis)]) {
            const QCPRange r = *autoY[size_t(axis)];
            const double pad = qMax(r.size() * AutoRangePadding, std::fabs(r.center()) * 1e-3 + 1e-9);
            lo = r.lower - pad;
            hi = r.upper + pad;
        }
    }
    if (control == sgManualMin || control == sgManualMinAndMax)
        lo = a->manualMin;
    if (control == sgManualMax || control == sgManualMinAndMax)
        hi = a->manualMax;
    if (lo >= hi && control != sgManualMinAndMax) {
        if (control == sgManualMin)
            hi = lo + 1.0;
        else
            lo = hi - 1.0;
    }
    return Sane(lo, hi);
}

void Chart::Impl::applyRanges()
{
    const QCPRange x = zoomX ? Sane(zoomX->lower, zoomX->upper) : unzoomedX();
    for (size_t a = 0; a < rects.size(); ++a) {
        QCPAxisRect *rect = rects[a];
        rect->axis(QCPAxis::atBottom)->setRange(x);
        rect->axis(QCPAxis::atTop)->setRange(x);
        const bool zoomed = a < zoomY.size() && zoomY[a];
        const QCPRange y = zoomed ? Sane(zoomY[a]->lower, zoomY[a]->upper) : unzoomedY(int(a));
        rect->axis(QCPAxis::atLeft)->setRange(y);
        rect->axis(QCPAxis::atRight)->setRange(y);
    }
    chooseDataDetail();
    updateScrollBars();
}

void Chart::Impl::updateScrollBars()
{
    auto place = [](QScrollBar *bar, bool show, const QCPRange &full, double offset, double span) {
        if (!show || full.size() <= 0) {
            if (!bar->isHidden())
                bar->hide();
            return;
        }
        const QSignalBlocker block(bar);
        const int page = qBound(1, int(std::lround(span / full.size() * ScrollResolution)), ScrollResolution);
        bar->setRange(0, ScrollResolution - page);
        bar->setPageStep(page);
        bar->setSingleStep(qMax(1, page / 10));
        bar->setValue(int(std::lround(offset / full.size() * ScrollResolution)));
        if (bar->isHidden())
            bar->show();
    };
    if (zoomX) {
        const QCPRange full = unzoomedX();
        place(hScroll, state.scrollingHorzZoom, full, zoomX->lower - full.lower, zoomX->size());
    } else {
        place(hScroll, false, QCPRange(), 0, 0);
    }
    const bool yZoomed = scrollAxis < int(zoomY.size()) && zoomY[size_t(scrollAxis)];
    if (yZoomed) {
        const QCPRange full = unzoomedY(scrollAxis);
        const QCPRange &z = *zoomY[size_t(scrollAxis)];
        place(vScroll, state.scrollingVertZoom, full, full.upper - z.upper, z.size());
    } else {
        place(vScroll, false, QCPRange(), 0, 0);
    }
}

void Chart::Impl::replotNow() { plot->replot(QCustomPlot::rpImmediateRefresh); }

QFont Chart::Impl::scaledFont(int percent) const
{
    QFont font = state.labelFont.toFont();
    font.setPointSizeF(qMax(MinAnnotationPointSize, AnnotationBasePointSize * percent / 100.0));
    return font;
}

QPen Chart::Impl::linePen(QRgb color, int lineType) const { return PenForLineType(QColor::fromRgba(color), lineType); }

// ---- geometry -------------------------------------------------------------------------------

QRect Chart::Impl::plotRectUnion() const
{
    QRect out;
    for (QCPAxisRect *rect : rects)
        out = out.united(rect->rect());
    return out;
}

int Chart::Impl::rectAt(const QPoint &pos) const
{
    for (size_t a = 0; a < rects.size(); ++a) {
        const QRect r = rects[a]->rect();
        if (pos.x() >= r.left() && pos.x() <= r.left() + r.width() && pos.y() >= r.top() &&
            pos.y() <= r.top() + r.height())
            return int(a);
    }
    return -1;
}

QPoint Chart::Impl::toChart(const QPoint &plotPos) const { return plotPos + plot->pos(); }

void Chart::Impl::tableLayout(QVector<int> *columnWidths, int *rowHeight, QFont *font) const
{
    const TableAnnotationState &t = state.table;
    *font = scaledFont(t.textSize);
    QFont bold = *font;
    bold.setBold(true);
    const QFontMetrics fm(*font);
    const QFontMetrics fmBold(bold);
    columnWidths->fill(0, t.columns);
    for (int r = 0; r < t.rows; ++r) {
        for (int c = 0; c < t.columns; ++c) {
            const bool header = (t.headerRow && r == 0) || (t.headerColumn && c == 0);
            const int w = (header ? fmBold : fm).horizontalAdvance(t.texts.value(r * t.columns + c));
            (*columnWidths)[c] = qMax((*columnWidths)[c], w);
        }
    }
    for (int &w : *columnWidths)
        w = qMax(w, fm.averageCharWidth()) + 2 * TableCellPadding;
    *rowHeight = fm.height() + 2;
}

QRect Chart::Impl::tableRect() const
{
    const TableAnnotationState &t = state.table;
    if (!t.shown || t.rows <= 0 || t.columns <= 0)
        return {};
    QVector<int> widths;
    int rowHeight = 0;
    QFont font;
    tableLayout(&widths, &rowHeight, &font);
    int width = 4;
    for (int w : widths)
        width += w;
    const QSize size(width, t.rows * rowHeight + 4);
    const QRect area = plotRectUnion();
    QPoint at;
    switch (t.location) {
    case sgTAInsideTopRight:
        at = QPoint(area.right() - size.width() - TableInsideMargin, area.top() + TableInsideMargin);
        break;
    case sgTAInsideBottomLeft:
        at = QPoint(area.left() + TableInsideMargin, area.bottom() - size.height() - TableInsideMargin);
        break;
    case sgTAInsideBottomRight:
        at = QPoint(area.right() - size.width() - TableInsideMargin, area.bottom() - size.height() - TableInsideMargin);
        break;
    case sgTAExplicit:
        at = QPoint(t.x, t.y) - plot->pos();
        break;
    default:
        at = QPoint(area.left() + TableInsideMargin, area.top() + TableInsideMargin);
        break;
    }
    // Keep the table on the chart, whatever its stored position.
    const QRect view = plot->viewport();
    at.setX(qBound(view.left(), at.x(), qMax(view.left(), view.right() - size.width())));
    at.setY(qBound(view.top(), at.y(), qMax(view.top(), view.bottom() - size.height())));
    return QRect(at, size);
}

bool Chart::Impl::tableCellAt(const QPoint &pos, int *row, int *column) const
{
    const QRect r = tableRect();
    if (r.isEmpty() || !r.contains(pos))
        return false;
    QVector<int> widths;
    int rowHeight = 0;
    QFont font;
    tableLayout(&widths, &rowHeight, &font);
    const int y = pos.y() - r.top() - 2;
    int x = pos.x() - r.left() - 2;
    if (y < 0 || rowHeight <= 0)
        return false;
    *row = qMin(y / rowHeight, state.table.rows - 1);
    for (int c = 0; c < widths.size(); ++c) {
        if (x < widths[c]) {
            *column = c;
            return true;
        }
        x -= widths[c];
    }
    *column = int(widths.size()) - 1;
    return true;
}

int Chart::Impl::vertLineAt(const QPoint &pos) const
{
    if (!state.showVertLines || !state.vertLinesHot || rects.empty())
        return -1;
    const QRect area = plotRectUnion();
    if (pos.y() < area.top() || pos.y() > area.bottom() + 1)
        return -1;
    const_cast<Impl *>(this)->syncLines();
    int best = -1;
    double bestDistance = LineHitPixels + 1;
    for (int i = 0; i < lineCount; ++i) {
        const VertLineItems &items = lineItems[size_t(i)];
        const double d = items.lines.front()->selectTest(pos, false);
        if (d >= 0 && d <= LineHitPixels && d < bestDistance) {
            best = items.index;
            bestDistance = d;
        }
    }
    return best;
}

void Chart::Impl::syncLines()
{
    if (!linesDirty)
        return;
    linesDirty = false;
    for (VertLineItems &items : lineItems) {
        for (QCPItemStraightLine *line : items.lines)
            line->setVisible(false);
        items.label->setVisible(false);
    }
    lineCount = 0;
    if (rects.empty() || !state.showVertLines)
        return;
    const QRect area = plotRectUnion();
    QCPAxis *x = rects.front()->axis(QCPAxis::atBottom);
    const QFont font = scaledFont(state.lineAnnotationTextSize);
    const QFontMetrics fm(font);
    for (const auto &[index, line] : state.vertLines) {
        // A line outside the X range is neither drawn nor grabbed.
        const double px = x->coordToPixel(line.x);
        if (!std::isfinite(px) || px < area.left() || px > area.right() + 1)
            continue;
        if (lineCount == int(lineItems.size())) {
            VertLineItems made;
            made.label = new QCPItemText(plot);
            made.label->setLayer(cursorsLayer);
            made.label->setClipToAxisRect(false);
            made.label->setPadding(QMargins(0, 2, 0, 0));
            made.label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
            lineItems.push_back(made);
        }
        VertLineItems &items = lineItems[size_t(lineCount++)];
        items.index = index;
        while (items.lines.size() < rects.size()) {
            auto *item = new QCPItemStraightLine(plot);
            item->setLayer(cursorsLayer);
            item->setAntialiased(false);
            items.lines.push_back(item);
        }
        const QPen pen = linePen(line.color, line.lineType);
        for (size_t r = 0; r < rects.size(); ++r) {
            QCPItemStraightLine *item = items.lines[r];
            item->setClipAxisRect(rects[r]);
            item->setPen(pen);
            for (QCPItemPosition *end : {item->point1, item->point2})
                end->setAxes(rects[r]->axis(QCPAxis::atBottom), rects[r]->axis(QCPAxis::atLeft));
            item->point1->setCoords(line.x, 0);
            item->point2->setCoords(line.x, 1);
            item->setVisible(true);
        }
        if (!line.text.isEmpty()) {
            // Beside the line at the top, on its left where the right has no room.
            const bool left = px + 3 + fm.horizontalAdvance(line.text) > area.right();
            QCPItemText *label = items.label;
            label->setFont(font);
            label->setColor(QColor::fromRgba(line.color));
            label->setText(line.text);
            label->setPositionAlignment(Qt::AlignTop | (left ? Qt::AlignRight : Qt::AlignLeft));
            label->position->setAxisRect(rects.front());
            label->position->setParentAnchorX(items.lines.front()->point1);
            label->position->setCoords(left ? -3 : 3, 0);
            label->setVisible(true);
        }
    }
}

QRectF Chart::Impl::annotationSymbolRect(const GraphAnnotationState &a, const QPointF &at) const
{
    if (a.type == sgAnnotNoSymbol)
        return {};
    const QFontMetricsF fm(scaledFont(state.annotationTextSize));
    const double half = qMax(4.0, std::round(fm.height() * 0.35));
    return QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half);
}

QRectF Chart::Impl::annotationTextRect(const GraphAnnotationState &a, const QPointF &at, const QFontMetricsF &fm) const
{
    if (a.text.isEmpty())
        return {};
    const QStringList lines = TextLines(a.text);
    double width = 0;
    for (const QString &line : lines)
        width = qMax(width, fm.horizontalAdvance(line));
    const double height = fm.height() * lines.size();
    const QRectF symbol = annotationSymbolRect(a, at);
    const double left = symbol.isNull() ? at.x() : symbol.right() + 3;
    return QRectF(left, at.y() - height / 2, width, height);
}

int Chart::Impl::annotationAt(const QPoint &pos) const
{
    if (!state.showAnnotations || rects.empty())
        return -1;
    const_cast<Impl *>(this)->syncNotes();
    // The note drawn last (the highest index) is on top and wins.
    for (int i = noteCount - 1; i >= 0; --i)
        if (noteItems[size_t(i)]->selectTest(pos, false) >= 0)
            return noteItems[size_t(i)]->index;
    return -1;
}

bool Chart::Impl::dataPointAt(const QPoint &pos, int *subset, int *point) const
{
    const int rect = rectAt(pos);
    if (rect < 0)
        return false;
    double best = DataHitPixels + 0.5;
    double bestKey = 0.0, bestValue = 0.0;
    int bestSubset = -1;
    for (int s : shownSubsets()) {
        QCPGraph *graph = graphs[size_t(s)];
        if (axisOfSubset(s) != rect || !graph)
            continue;
        // The graph's own hit test finds the drawn point nearest in X.
        QVariant details;
        if (graph->selectTest(pos, false, &details) < 0)
            continue;
        const QCPDataSelection hit = details.value<QCPDataSelection>();
        if (hit.isEmpty())
            continue;
        const auto it = graph->data()->at(hit.dataRange().begin());
        if (!std::isfinite(it->value))
            continue;           // the break between two runs of points
        const QPointF at = graph->coordsToPixels(it->key, it->value);
        const double d = std::hypot(at.x() - pos.x(), at.y() - pos.y());
        if (d < best) {
            best = d;
            bestSubset = s;
            bestKey = it->key;
            bestValue = it->value;
        }
    }
    if (bestSubset < 0)
        return false;
    // Back from the drawn point to the subset's point index.
    const SubsetState &sub = state.subsets[size_t(bestSubset)];
    int found = -1;
    if (!state.usingXDataII) {
        found = int(std::lround(bestKey));
    } else {
        int first = 0;
        if (std::is_sorted(sub.x.cbegin(), sub.x.cend()))
            first = int(std::lower_bound(sub.x.cbegin(), sub.x.cend(), bestKey) - sub.x.cbegin());
        for (int p = first; p < state.points && found < 0; ++p)
            if (sub.x[p] == bestKey && sub.y[p] == bestValue)
                found = p;
    }
    if (found < 0 || found >= state.points)
        return false;
    *subset = bestSubset;
    *point = found;
    return true;
}

// ---- mouse -------------------------------------------------------------------------------------

void Chart::Impl::mousePress(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    lastMouse = toChart(pos);
    if (event->button() == Qt::RightButton) {
        if (state.allowPopup)
            showPopup(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    pressPos = pos;
    dragMoved = false;
    const QRect table = tableRect();
    if (!table.isEmpty() && table.contains(pos) && state.table.moveable != sgTANotMoveable) {
        drag = Drag::Table;
        dragOffset = pos - table.topLeft();
        return;
    }
    const int line = vertLineAt(pos);
    if (line >= 0) {
        drag = Drag::Line;
        dragLine = line;
        return;
    }
    dragRect = rectAt(pos);
    drag = Drag::Pending;
    if (dragRect >= 0 && state.allowZooming != sgNoZooming)
        plot->selectionPress(event);
}

void Chart::Impl::mouseMove(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    lastMouse = toChart(pos);
    hovering = true;
    const bool moved = (pos - pressPos).manhattanLength() > ClickSlopPixels;
    switch (drag) {
    case Drag::Table:
        if (moved || dragMoved) {
            dragMoved = true;
            const QPoint topLeft = toChart(pos - dragOffset);
            state.table.location = sgTAExplicit;
            state.table.x = topLeft.x();
            state.table.y = topLeft.y();
            cursorsLayer->replot();
        }
        break;
    case Drag::Line:
        if (moved || dragMoved) {
            dragMoved = true;
            const double x = rects.front()->axis(QCPAxis::atBottom)->pixelToCoord(pos.x());
            state.vertLines[dragLine].x = x;
            linesDirty = true;
            syncLines();
            cursorsLayer->replot();
            emit q->vertLineAnnotationMoved(dragLine, x);
        }
        break;
    case Drag::Pending:
    case Drag::Zoom:
        if (plot->selectionRect()->isActive()) {
            plot->selectionMove(event);
            if (moved)
                drag = Drag::Zoom;
        }
        break;
    case Drag::None:
        updateHoverCursor(pos);
        break;
    }
    emit q->OnMouseMove();
}

void Chart::Impl::mouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    lastMouse = toChart(pos);
    const Drag was = drag;
    drag = Drag::None;
    if (was == Drag::Zoom && plot->selectionRect()->isActive()) {
        plot->selectionRelease(event);      // ends in applyZoom
        return;
    }
    if (plot->selectionRect()->isActive())
        plot->selectionRect()->cancel();    // a click, not a zoom
    if (was == Drag::None || ((was == Drag::Table || was == Drag::Line) && dragMoved))
        return;
    click(pos);
}

void Chart::Impl::click(const QPoint &pos)
{
    const QPointer<Chart> guard(q);
    if (state.allowGraphAnnotHotSpots) {
        const int index = annotationAt(pos);
        if (index >= 0) {
            emit q->OnGraphHotSpot();
            if (!guard)
                return;
            emit q->OnGraphAnnotHotSpot(false, index);
            if (!guard)
                return;
        }
    }
    int row = 0, column = 0;
    if (state.table.moveable != sgTAMoveableNoHotSpots && tableCellAt(pos, &row, &column)) {
        emit q->tableAnnotationHotSpot(row, column);
        if (!guard)
            return;
    }
    int subset = 0, point = 0;
    if (state.allowDataHotSpots && dataPointAt(pos, &subset, &point)) {
        emit q->OnDataHotSpot(subset, point);
        if (!guard)
            return;
    }
    emit q->OnClick();
}

void Chart::Impl::mouseDoubleClick(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    lastMouse = toChart(pos);
    if (event->button() != Qt::LeftButton || !state.allowGraphAnnotHotSpots)
        return;
    const int index = annotationAt(pos);
    if (index >= 0)
        emit q->OnGraphAnnotHotSpot(true, index);
}

void Chart::Impl::wheel(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    const bool vertical = event->modifiers() & Qt::ShiftModifier;
    if (!vertical && zoomX && state.scrollingHorzZoom) {
        scrollBy(-notches * WheelScrollShare, true);
        event->accept();
    } else if (vertical && scrollAxis < int(zoomY.size()) && zoomY[size_t(scrollAxis)] && state.scrollingVertZoom) {
        scrollBy(notches * WheelScrollShare, false);
        event->accept();
    } else {
        event->ignore();
    }
}

void Chart::Impl::scrollBy(double fraction, bool horizontal)
{
    if (horizontal) {
        const QCPRange full = unzoomedX();
        const double span = zoomX->size();
        const double lower = qBound(full.lower, zoomX->lower + fraction * span, qMax(full.lower, full.upper - span));
        zoomX = QCPRange(lower, lower + span);
    } else {
        auto &z = zoomY[size_t(scrollAxis)];
        const QCPRange full = unzoomedY(scrollAxis);
        const double span = z->size();
        const double lower = qBound(full.lower, z->lower + fraction * span, qMax(full.lower, full.upper - span));
        z = QCPRange(lower, lower + span);
    }
    scheduleReplot();
}

void Chart::Impl::applyZoom(const QRect &selection)
{
    if (dragRect < 0 || dragRect >= int(rects.size()))
        return;
    QCPAxisRect *rect = rects[size_t(dragRect)];
    const QRect area = rect->rect();
    const QRect r = selection.normalized().intersected(area.adjusted(0, 0, 1, 1));
    const bool horizontal = state.allowZooming == sgHorzZooming || state.allowZooming == sgHorzPlusVertZooming;
    const bool vertical = state.allowZooming == sgVertZooming || state.allowZooming == sgHorzPlusVertZooming;
    QCPAxis *x = rect->axis(QCPAxis::atBottom);
    QCPAxis *y = rect->axis(QCPAxis::atLeft);
    QList<QCPAxis *> axes;
    if (horizontal && r.width() >= MinZoomPixels)
        axes.append(x);
    if (vertical && r.height() >= MinZoomPixels)
        axes.append(y);
    if (axes.isEmpty())
        return;
    rect->zoom(QRectF(r), axes);
    // The zoom overrides the unzoomed ranges until it is undone.
    if (axes.contains(x))
        zoomX = Sane(x->range().lower, x->range().upper);
    if (axes.contains(y)) {
        if (zoomY.size() < rects.size())
            zoomY.resize(rects.size());
        zoomY[size_t(dragRect)] = Sane(y->range().lower, y->range().upper);
        scrollAxis = dragRect;
    }
    updateScrollBars();
    scheduleReplot();
    emit q->OnZoomIn();
}

void Chart::Impl::applyCursor()
{
    QCursor cursor(Qt::ArrowCursor);
    if (state.arrowCursor == ArrowCursorText)
        cursor = QCursor(Qt::IBeamCursor);
    else if (state.arrowCursor == ArrowCursorPicture)
        cursor = pictureCursor;
    plot->setCursor(cursor);
    hoverShape = cursor.shape();
}

void Chart::Impl::updateHoverCursor(const QPoint &pos)
{
    Qt::CursorShape shape = Qt::BitmapCursor;   // the chart's own cursor
    if (vertLineAt(pos) >= 0)
        shape = Qt::SizeHorCursor;
    else if (state.table.moveable != sgTANotMoveable && tableRect().contains(pos))
        shape = Qt::SizeAllCursor;
    if (shape == hoverShape)
        return;
    hoverShape = shape;
    if (shape == Qt::BitmapCursor)
        applyCursor();
    else
        plot->setCursor(shape);
    hoverShape = shape;
}

void Chart::Impl::showPopup(const QPoint &globalPos)
{
    QMenu menu(q);
    QAction *undo = menu.addAction(Chart::tr("Undo Zoom"));
    undo->setEnabled(q->isZoomed());
    QObject::connect(undo, &QAction::triggered, q, [this] { q->undoZoom(); });
    menu.addSeparator();
    if (state.allowCustomization)
        QObject::connect(menu.addAction(Chart::tr("Customize...")), &QAction::triggered, q, [this] { q->customize(); });
    if (state.allowExporting)
        QObject::connect(menu.addAction(Chart::tr("Export...")), &QAction::triggered, q, [this] { q->exportDialog(); });
    QObject::connect(menu.addAction(Chart::tr("Print...")), &QAction::triggered, q, [this] { q->printDialog(); });
    menu.addSeparator();
    QAction *legendAction = menu.addAction(Chart::tr("Show Legend"));
    legendAction->setCheckable(true);
    legendAction->setChecked(state.showLegend);
    QObject::connect(legendAction, &QAction::toggled, q, [this](bool on) { q->setShowLegend(on); });
    if (!state.noHelp) {
        menu.addSeparator();
        QObject::connect(menu.addAction(Chart::tr("Help")), &QAction::triggered, q, [this] {
            QMessageBox::information(q, Chart::tr("Graph Help"),
                                     Chart::tr("Drag a rectangle with the left mouse button to zoom in.\n"
                                               "Undo Zoom returns to the whole graph; while zoomed, the scroll "
                                               "bars and the mouse wheel (with Shift: vertically) move the view.\n"
                                               "Drag a vertical cursor line or the table to move it.\n"
                                               "The right mouse button opens this menu."));
        });
    }
    menu.exec(globalPos);
}

// ---- drawing of notes, cursors and table ---------------------------------------------------

void Chart::Impl::drawNotes(QCPPainter *painter)
{
    if (rects.empty())
        return;
    drawDataLabels(painter);
}

void Chart::Impl::syncNotes()
{
    if (!notesDirty)
        return;
    notesDirty = false;
    noteCount = 0;
    if (!rects.empty() && state.showAnnotations) {
        QCPAxis *x = rects.front()->axis(QCPAxis::atBottom);
        QCPAxis *y = rects.front()->axis(QCPAxis::atLeft);
        for (const auto &[index, a] : state.annotations) {
            if (a.type == sgAnnotNoSymbol && a.text.isEmpty())
                continue;
            if (noteCount == int(noteItems.size())) {
                auto *item = new NoteItem(plot, this, index);
                item->setLayer(cursorsLayer);
                noteItems.push_back(item);
            }
            NoteItem *item = noteItems[size_t(noteCount++)];
            item->index = index;
            item->position->setAxes(x, y);
            item->position->setCoords(a.x, a.y);
            item->setVisible(true);
        }
    }
    for (size_t i = size_t(noteCount); i < noteItems.size(); ++i)
        noteItems[i]->setVisible(false);
}

void Chart::Impl::drawAnnotation(QCPPainter *painter, const GraphAnnotationState &a, const QPointF &at)
{
    if (a.type == sgAnnotNoSymbol && a.text.isEmpty())
        return;
    const QRect area = plotRectUnion();
    if (!std::isfinite(at.x()) || !std::isfinite(at.y()) || !QRectF(area).adjusted(-1, -1, 1, 1).contains(at))
        return;
    const QFont font = scaledFont(state.annotationTextSize);
    painter->setFont(font);
    const QColor color = QColor::fromRgba(a.color);
    const QRectF s = annotationSymbolRect(a, at);
    painter->setPen(QPen(color, 1.5));
    painter->setBrush(Qt::NoBrush);
    const bool solid = a.type == sgAnnotDotSolid || a.type == sgAnnotSquareSolid || a.type == sgAnnotDiamondSolid ||
                       a.type == sgAnnotUpTriangleSolid;
    if (solid)
        painter->setBrush(color);
    const QPolygonF diamond({QPointF(s.center().x(), s.top()), QPointF(s.right(), s.center().y()),
                             QPointF(s.center().x(), s.bottom()), QPointF(s.left(), s.center().y())});
    const QPolygonF triangle({QPointF(s.center().x(), s.top()), QPointF(s.right(), s.bottom()),
                              QPointF(s.left(), s.bottom())});
    switch (a.type) {
    case sgAnnotPlus:
        painter->drawLine(QPointF(s.left(), at.y()), QPointF(s.right(), at.y()));
        painter->drawLine(QPointF(at.x(), s.top()), QPointF(at.x(), s.bottom()));
        break;
    case sgAnnotCross:
        painter->drawLine(s.topLeft(), s.bottomRight());
        painter->drawLine(s.topRight(), s.bottomLeft());
        break;
    case sgAnnotDot:
    case sgAnnotDotSolid: painter->drawEllipse(s); break;
    case sgAnnotSquare:
    case sgAnnotSquareSolid: painter->drawRect(s); break;
    case sgAnnotDiamond:
    case sgAnnotDiamondSolid: painter->drawPolygon(diamond); break;
    case sgAnnotUpTriangle:
    case sgAnnotUpTriangleSolid: painter->drawPolygon(triangle); break;
    default: break;
    }
    if (a.text.isEmpty())
        return;
    const QFontMetricsF fm(font);
    const QRectF textRect = annotationTextRect(a, at, fm);
    painter->setPen(color);
    double baseline = textRect.top() + fm.ascent();
    for (const QString &line : TextLines(a.text)) {
        painter->drawText(QPointF(textRect.left(), baseline), line);
        baseline += fm.height();
    }
}

void Chart::Impl::drawDataLabels(QCPPainter *painter)
{
    if (state.allowDataLabels != sgDataValues)
        return;
    // Count the visible points first; labels only while they stay readable.
    struct Label {
        QPointF at;
        double value;
        QRgb color;
    };
    std::vector<Label> labels;
    const double null = state.nullDataValueY;
    for (int s : shownSubsets()) {
        QCPAxisRect *rect = rects[size_t(axisOfSubset(s))];
        QCPAxis *xAxis = rect->axis(QCPAxis::atBottom);
        QCPAxis *yAxis = rect->axis(QCPAxis::atLeft);
        const SubsetState &sub = state.subsets[size_t(s)];
        for (int p = 0; p < state.points; ++p) {
            const double key = state.usingXDataII ? sub.x[p] : double(p);
            const double value = sub.y[p];
            if (value == null || !std::isfinite(value) || !xAxis->range().contains(key) ||
                !yAxis->range().contains(value))
                continue;
            if (labels.size() >= size_t(Chart::MaxDataLabels))
                return;
            labels.push_back({QPointF(xAxis->coordToPixel(key), yAxis->coordToPixel(value)), value, sub.color});
        }
    }
    painter->save();
    painter->setClipRect(plotRectUnion());
    QFont font = state.labelFont.toFont();
    painter->setFont(font);
    for (const Label &label : labels) {
        painter->setPen(QColor::fromRgba(label.color));
        painter->drawText(label.at + QPointF(3, -3), QString::number(label.value, 'f', state.dataPrecision));
    }
    painter->restore();
}

void Chart::Impl::drawCursors(QCPPainter *painter)
{
    if (rects.empty())
        return;
    drawTable(painter);
}

void Chart::Impl::drawTable(QCPPainter *painter)
{
    const QRect r = tableRect();
    if (r.isEmpty())
        return;
    const TableAnnotationState &t = state.table;
    QVector<int> widths;
    int rowHeight = 0;
    QFont font;
    tableLayout(&widths, &rowHeight, &font);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics fm(font);

    painter->save();
    if (t.border == sgDropShadow)
        painter->fillRect(r.translated(3, 3), QColor(0, 0, 0, 90));
    painter->fillRect(r, QColor::fromRgba(t.backColor));
    const QColor light(255, 255, 255), dark(128, 128, 128), black(0, 0, 0);
    const QRect frame = r.adjusted(0, 0, -1, -1);
    switch (t.border) {
    case sgSingleLine:
    case sgDropShadow:
        painter->setPen(black);
        painter->drawRect(frame);
        break;
    case sgInset:
        painter->setPen(dark);
        painter->drawLine(frame.topLeft(), frame.topRight());
        painter->drawLine(frame.topLeft(), frame.bottomLeft());
        painter->setPen(light);
        painter->drawLine(frame.bottomLeft(), frame.bottomRight());
        painter->drawLine(frame.topRight(), frame.bottomRight());
        break;
    default: break;
    }
    int y = r.top() + 2;
    for (int row = 0; row < t.rows; ++row) {
        int x = r.left() + 2;
        for (int c = 0; c < t.columns; ++c) {
            const bool header = (t.headerRow && row == 0) || (t.headerColumn && c == 0);
            painter->setFont(header ? bold : font);
            painter->setPen(QColor::fromRgba(t.colors.value(row * t.columns + c, 0xff000000)));
            painter->drawText(QPoint(x + TableCellPadding, y + 1 + fm.ascent()), t.texts.value(row * t.columns + c));
            x += widths[c];
        }
        y += rowHeight;
    }
    painter->restore();
}

// ---- output -----------------------------------------------------------------------------------

QSize Chart::Impl::renderSize() const
{
    const QSize size = plot->size();
    if (size.width() < 200 || size.height() < 150)
        return FallbackRenderSize;
    return size;
}

void Chart::Impl::render(QPainter *painter, const QRect &target)
{
    const QSize source = renderSize();
    sync();
    chooseDataDetail(true);     // paper and files get every point
    // The chart is laid out with the screen's font metrics, as on screen and
    // in an exported picture.  Drawn straight onto a printer, its fonts would
    // take their point sizes at the printer's resolution and then be scaled
    // to the page with everything else: at 1200 dpi text 12.5 times too
    // tall, running off the page, and clipped to boxes measured on screen.
    // So the chart is drawn into a picture, whose fonts keep the screen's
    // resolution, and the picture is scaled to the page.
    QPicture picture;
    {
        QCPPainter recorder;
        if (!recorder.begin(&picture))
            return;
        // Pens scale with the picture instead of staying one device pixel wide.
        recorder.setMode(QCPPainter::pmVectorized);
        plot->toPainter(&recorder, source.width(), source.height());
    }
    plot->updateLayout();   // back to the on-screen geometry
    const double scale = qMin(double(target.width()) / source.width(), double(target.height()) / source.height());
    // Playing a picture already maps its resolution to the device's.
    const double dpiX = double(picture.logicalDpiX()) / painter->device()->logicalDpiX();
    const double dpiY = double(picture.logicalDpiY()) / painter->device()->logicalDpiY();
    painter->save();
    painter->translate(target.left() + (target.width() - source.width() * scale) / 2,
                       target.top() + (target.height() - source.height() * scale) / 2);
    painter->scale(scale * dpiX, scale * dpiY);
    painter->drawPicture(0, 0, picture);
    painter->restore();
}

bool Chart::exportImage(const QString &path, QString *error, int width, int height)
{
    QString localError;
    QString &err = error ? *error : localError;
    const QSize size = d->renderSize();
    const int w = width > 0 ? width : size.width();
    const int h = height > 0 ? height : size.height();
    d->sync();
    d->chooseDataDetail(true);  // files get every point
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool ok = false;
    if (suffix == QLatin1String("png")) {
        ok = d->plot->savePng(path, w, h);
    } else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        ok = d->plot->saveJpg(path, w, h, 1.0, 95);
    } else if (suffix == QLatin1String("pdf")) {
        ok = d->plot->savePdf(path, w, h);
    } else if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        svg.setTitle(d->state.mainTitle);
        QCPPainter painter;
        if (painter.begin(&svg)) {
            d->plot->toPainter(&painter, w, h);
            ok = painter.end();
        }
    } else {
        err = tr("Unknown picture format \"%1\": use .png, .jpg, .pdf or .svg.").arg(suffix);
        return false;
    }
    d->plot->updateLayout();
    if (!ok)
        err = tr("Cannot write \"%1\".").arg(QDir::toNativeSeparators(path));
    return ok;
}

} // namespace kv

// The chart's properties: each reads or writes the state and marks what the
// next drawing must bring up to date.  Drawing and the mouse: chartview.cpp.

#include "chart/view/chart.h"
#include "chart/view/chart_p.h"
#include "chart/view/customizedialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <cmath>

namespace kv {

namespace {

bool ValidCell(const ChartState &s, int subset, int point)
{
    return subset >= 0 && subset < int(s.subsets.size()) && point >= 0 && point < s.points;
}

int ClampTextSize(int percent) { return qBound(MinTextSize, percent, MaxTextSize); }

} // namespace

QColor PEargb(int alpha, int red, int green, int blue)
{
    return QColor(qBound(0, red, 255), qBound(0, green, 255), qBound(0, blue, 255), qBound(0, alpha, 255));
}

Chart::Chart(QWidget *parent) : QWidget(parent), d(std::make_unique<Impl>(this)) {}

Chart::~Chart() = default;

const ChartState &Chart::state() const { return d->state; }

// ---- data -----------------------------------------------------------------

int Chart::Subsets() const { return int(d->state.subsets.size()); }

bool Chart::setSubsets(int count)
{
    if (count < 0 || count > MaxChartSubsets || qint64(count) * d->state.points > MaxChartCells)
        return false;
    if (count == Subsets())
        return true;
    d->state.resize(count, d->state.points);
    d->touchLayout();
    return true;
}

int Chart::Points() const { return d->state.points; }

bool Chart::setPoints(int count)
{
    if (count < 0 || count > MaxChartPoints || qint64(count) * Subsets() > MaxChartCells)
        return false;
    if (count == d->state.points)
        return true;
    d->state.resize(Subsets(), count);
    d->touchAllData();
    return true;
}

double Chart::XDataII(int subset, int point) const
{
    return ValidCell(d->state, subset, point) ? d->state.subsets[size_t(subset)].x[point] : 0.0;
}

void Chart::setXDataII(int subset, int point, double value)
{
    if (!ValidCell(d->state, subset, point))
        return;
    d->state.subsets[size_t(subset)].x[point] = value;
    d->touchData(subset, point);
}

float Chart::YData(int subset, int point) const
{
    return ValidCell(d->state, subset, point) ? static_cast<float>(d->state.subsets[size_t(subset)].y[point])
                                              : static_cast<float>(d->state.nullDataValueY);
}

void Chart::setYData(int subset, int point, float value) { setYDataII(subset, point, value); }

double Chart::YDataII(int subset, int point) const
{
    return ValidCell(d->state, subset, point) ? d->state.subsets[size_t(subset)].y[point] : d->state.nullDataValueY;
}

void Chart::setYDataII(int subset, int point, double value)
{
    if (!ValidCell(d->state, subset, point))
        return;
    d->state.subsets[size_t(subset)].y[point] = value;
    d->touchData(subset, point);
}

void Chart::setXDataIIArray(const double *values, qsizetype count)
{
    const int subsets = Subsets();
    if (!values || subsets == 0)
        return;
    const qsizetype n = qMin<qsizetype>(count, qsizetype(subsets) * d->state.points);
    for (int s = 0; s < subsets; ++s) {
        double *x = d->state.subsets[size_t(s)].x.data();
        for (qsizetype i = s; i < n; i += subsets)
            x[i / subsets] = values[i];
    }
    d->touchAllData();
}

void Chart::setYDataArray(const float *values, qsizetype count)
{
    const int subsets = Subsets();
    if (!values || subsets == 0)
        return;
    const qsizetype n = qMin<qsizetype>(count, qsizetype(subsets) * d->state.points);
    for (int s = 0; s < subsets; ++s) {
        double *y = d->state.subsets[size_t(s)].y.data();
        for (qsizetype i = s; i < n; i += subsets)
            y[i / subsets] = values[i];
    }
    d->touchAllData();
}

void Chart::setYDataIIArray(const double *values, qsizetype count)
{
    const int subsets = Subsets();
    if (!values || subsets == 0)
        return;
    const qsizetype n = qMin<qsizetype>(count, qsizetype(subsets) * d->state.points);
    for (int s = 0; s < subsets; ++s) {
        double *y = d->state.subsets[size_t(s)].y.data();
        for (qsizetype i = s; i < n; i += subsets)
            y[i / subsets] = values[i];
    }
    d->touchAllData();
}

double Chart::NullDataValueY() const { return d->state.nullDataValueY; }

void Chart::setNullDataValueY(double value)
{
    d->state.nullDataValueY = value;
    d->touchAllData();
}

double Chart::LineGapThreshold() const { return d->state.lineGapThreshold; }

void Chart::setLineGapThreshold(double value)
{
    d->state.lineGapThreshold = value;
    d->touchAllData();
}

// ---- series -----------------------------------------------------------------

QString Chart::SubsetLabels(int subset) const
{
    return subset >= 0 && subset < Subsets() ? d->state.subsets[size_t(subset)].label : QString();
}

void Chart::setSubsetLabels(int subset, const QString &label)
{
    if (subset < 0 || subset >= Subsets())
        return;
    d->state.subsets[size_t(subset)].label = label;
    d->touchLook();
}

QColor Chart::SubsetColors(int subset) const
{
    return subset >= 0 && subset < Subsets() ? QColor::fromRgba(d->state.subsets[size_t(subset)].color) : QColor();
}

void Chart::setSubsetColors(int subset, const QColor &color)
{
    if (subset < 0 || subset >= Subsets() || !color.isValid())
        return;
    d->state.subsets[size_t(subset)].color = color.rgba();
    d->touchLook();
}

LineTypes Chart::SubsetLineTypes(int subset) const
{
    return subset >= 0 && subset < Subsets() ? LineTypes(d->state.subsets[size_t(subset)].lineType) : sgThinSolid;
}

void Chart::setSubsetLineTypes(int subset, LineTypes type)
{
    if (subset < 0 || subset >= Subsets() || type < sgThinSolid || type > sgThickSolid)
        return;
    d->state.subsets[size_t(subset)].lineType = type;
    d->touchLook();
}

int Chart::RandomSubsetsToGraph(int index) const
{
    return index >= 0 && index < d->state.randomSubsetsToGraph.size() ? d->state.randomSubsetsToGraph[index] : -1;
}

int Chart::RandomSubsetsToGraphCount() const { return int(d->state.randomSubsetsToGraph.size()); }

void Chart::setRandomSubsetsToGraph(int index, int subset)
{
    ChartState &s = d->state;
    if (index < 0) {
        s.randomSubsetsToGraph.clear();
        s.randomSubsetsUsed = true;
    } else {
        if (index >= MaxChartSubsets || subset < -1 || subset >= MaxChartSubsets)
            return;
        if (index >= s.randomSubsetsToGraph.size())
            s.randomSubsetsToGraph.resize(index + 1, -1);
        s.randomSubsetsToGraph[index] = subset;
        s.randomSubsetsUsed = true;
    }
    d->touchLayout();
}

bool Chart::isSubsetShown(int subset) const { return d->subsetShown(subset); }

int Chart::MultiAxesSubsets(int axis) const
{
    return axis >= 0 && axis < d->state.multiAxesSubsets.size() ? d->state.multiAxesSubsets[axis] : 0;
}

int Chart::MultiAxesCount() const { return int(d->state.multiAxesSubsets.size()); }

void Chart::setMultiAxesSubsets(int axis, int count)
{
    ChartState &s = d->state;
    if (axis < 0) {
        s.multiAxesSubsets.clear();
        s.multiAxesProportions.clear();
    } else {
        if (axis >= MaxChartAxes || count < 0 || count > MaxChartSubsets)
            return;
        if (axis >= s.multiAxesSubsets.size())
            s.multiAxesSubsets.resize(axis + 1, 0);
        s.multiAxesSubsets[axis] = count;
        if (int(s.yAxes.size()) < s.multiAxesSubsets.size())
            s.yAxes.resize(size_t(s.multiAxesSubsets.size()));
    }
    d->zoomY.clear();
    d->touchLayout();
}

double Chart::MultiAxesProportions(int axis) const
{
    const ChartState &s = d->state;
    if (axis >= 0 && axis < s.multiAxesProportions.size())
        return s.multiAxesProportions[axis];
    return axis == 0 ? 1.0 : 0.0;
}

void Chart::setMultiAxesProportions(int axis, double share)
{
    ChartState &s = d->state;
    if (axis < 0) {
        s.multiAxesProportions.clear();
    } else {
        if (axis >= MaxChartAxes || !std::isfinite(share))
            return;
        if (axis >= s.multiAxesProportions.size())
            s.multiAxesProportions.resize(axis + 1, 0.0);
        s.multiAxesProportions[axis] = qBound(0.0, share, 1.0);
    }
    d->touchLayout();
}

int Chart::axisCount() const { return d->axisCount(); }

int Chart::axisOfSubset(int subset) const { return d->axisOfSubset(subset); }

int Chart::WorkingAxis() const { return d->state.workingAxis; }

void Chart::setWorkingAxis(int axis)
{
    if (axis < 0 || axis >= MaxChartAxes)
        return;
    d->state.workingAxis = axis;
    if (int(d->state.yAxes.size()) <= axis)
        d->state.yAxes.resize(size_t(axis) + 1);
}

// ---- axes -----------------------------------------------------------------------

ManualScaleControls Chart::ManualScaleControlX() const { return ManualScaleControls(d->state.manualScaleControlX); }

void Chart::setManualScaleControlX(ManualScaleControls control)
{
    if (control < sgNoManualScale || control > sgManualMinAndMax)
        return;
    d->state.manualScaleControlX = control;
    d->scheduleReplot();
}

double Chart::ManualMinX() const { return d->state.manualMinX; }

void Chart::setManualMinX(double value)
{
    if (!std::isfinite(value))
        return;
    d->state.manualMinX = value;
    d->scheduleReplot();
}

double Chart::ManualMaxX() const { return d->state.manualMaxX; }

void Chart::setManualMaxX(double value)
{
    if (!std::isfinite(value))
        return;
    d->state.manualMaxX = value;
    d->scheduleReplot();
}

ManualScaleControls Chart::ManualScaleControlY() const
{
    return ManualScaleControls(d->axisState(d->state.workingAxis)->manualScaleControl);
}

void Chart::setManualScaleControlY(ManualScaleControls control)
{
    if (control < sgNoManualScale || control > sgManualMinAndMax)
        return;
    d->workingAxisState().manualScaleControl = control;
    d->scheduleReplot();
}

double Chart::ManualMinY() const { return d->axisState(d->state.workingAxis)->manualMin; }

void Chart::setManualMinY(double value)
{
    if (!std::isfinite(value))
        return;
    d->workingAxisState().manualMin = value;
    d->scheduleReplot();
}

double Chart::ManualMaxY() const { return d->axisState(d->state.workingAxis)->manualMax; }

void Chart::setManualMaxY(double value)
{
    if (!std::isfinite(value))
        return;
    d->workingAxisState().manualMax = value;
    d->scheduleReplot();
}

DateTimeModes Chart::DateTimeMode() const { return DateTimeModes(d->state.dateTimeMode); }

void Chart::setDateTimeMode(DateTimeModes mode)
{
    if (mode != sgNoDateTime && mode != sgVBDateTime)
        return;
    d->state.dateTimeMode = mode;
    d->touchLook();
}

bool Chart::UsingXDataII() const { return d->state.usingXDataII; }

void Chart::setUsingXDataII(bool on)
{
    d->state.usingXDataII = on;
    d->touchAllData();
}

QString Chart::XAxisLabel() const { return d->state.xAxisLabel; }

void Chart::setXAxisLabel(const QString &label)
{
    d->state.xAxisLabel = label;
    d->touchLook();
}

QString Chart::YAxisLabel() const { return d->axisState(d->state.workingAxis)->label; }

void Chart::setYAxisLabel(const QString &label)
{
    d->workingAxisState().label = label;
    d->touchLook();
}

GridLineControls Chart::GridLineControl() const { return GridLineControls(d->state.gridLineControl); }

void Chart::setGridLineControl(GridLineControls control)
{
    if (control < sgYPlusXAxis || control > sgNoGrid)
        return;
    d->state.gridLineControl = control;
    d->touchLook();
}

GridStyles Chart::GridStyle() const { return GridStyles(d->state.gridStyle); }

void Chart::setGridStyle(GridStyles style)
{
    if (style < sgThin || style > sgDash)
        return;
    d->state.gridStyle = style;
    d->touchLook();
}

ZoomStyles Chart::AllowZooming() const { return ZoomStyles(d->state.allowZooming); }

void Chart::setAllowZooming(ZoomStyles style)
{
    if (style < sgNoZooming || style > sgHorzPlusVertZooming)
        return;
    d->state.allowZooming = style;
}

bool Chart::ScrollingHorzZoom() const { return d->state.scrollingHorzZoom; }

void Chart::setScrollingHorzZoom(bool on)
{
    d->state.scrollingHorzZoom = on;
    d->updateScrollBars();
}

bool Chart::ScrollingVertZoom() const { return d->state.scrollingVertZoom; }

void Chart::setScrollingVertZoom(bool on)
{
    d->state.scrollingVertZoom = on;
    d->updateScrollBars();
}

void Chart::currentXRange(double *lower, double *upper) const
{
    d->sync();
    const QCPRange r = d->zoomX ? *d->zoomX : d->unzoomedX();
    if (lower)
        *lower = r.lower;
    if (upper)
        *upper = r.upper;
}

void Chart::currentYRange(int axis, double *lower, double *upper) const
{
    d->sync();
    QCPRange r = d->unzoomedY(axis);
    if (axis >= 0 && axis < int(d->zoomY.size()) && d->zoomY[size_t(axis)])
        r = *d->zoomY[size_t(axis)];
    if (lower)
        *lower = r.lower;
    if (upper)
        *upper = r.upper;
}

bool Chart::isZoomed() const
{
    if (d->zoomX)
        return true;
    for (const auto &z : d->zoomY)
        if (z)
            return true;
    return false;
}

// ---- look -------------------------------------------------------------------------

QString Chart::MainTitle() const { return d->state.mainTitle; }

void Chart::setMainTitle(const QString &title)
{
    d->state.mainTitle = title;
    d->touchLayout();
}

QString Chart::SubTitle() const { return d->state.subTitle; }

void Chart::setSubTitle(const QString &title)
{
    d->state.subTitle = title;
    d->touchLayout();
}

QFont Chart::MainTitleFont() const { return d->state.mainTitleFont.toFont(); }

void Chart::setMainTitleFont(const QFont &font)
{
    d->state.mainTitleFont = ChartFont::fromFont(font);
    d->touchLook();
}

QFont Chart::SubTitleFont() const { return d->state.subTitleFont.toFont(); }

void Chart::setSubTitleFont(const QFont &font)
{
    d->state.subTitleFont = ChartFont::fromFont(font);
    d->touchLook();
}

QFont Chart::LabelFont() const { return d->state.labelFont.toFont(); }

void Chart::setLabelFont(const QFont &font)
{
    d->state.labelFont = ChartFont::fromFont(font);
    d->touchLook();
}

namespace {
// Stores a valid colour as RGBA; an invalid colour changes nothing.
bool SetValidColor(quint32 &field, const QColor &color)
{
    if (!color.isValid())
        return false;
    field = color.rgba();
    return true;
}
} // namespace

QColor Chart::GraphForeColor() const { return QColor::fromRgba(d->state.graphForeColor); }

void Chart::setGraphForeColor(const QColor &color)
{
    if (SetValidColor(d->state.graphForeColor, color))
        d->touchLook();
}

QColor Chart::GraphBackColor() const { return QColor::fromRgba(d->state.graphBackColor); }

void Chart::setGraphBackColor(const QColor &color)
{
    if (SetValidColor(d->state.graphBackColor, color))
        d->touchLook();
}

QColor Chart::DeskColor() const { return QColor::fromRgba(d->state.deskColor); }

void Chart::setDeskColor(const QColor &color)
{
    if (SetValidColor(d->state.deskColor, color))
        d->touchLook();
}

QColor Chart::TextColor() const { return QColor::fromRgba(d->state.textColor); }

void Chart::setTextColor(const QColor &color)
{
    if (SetValidColor(d->state.textColor, color))
        d->touchLook();
}

PlottingMethods Chart::PlottingMethod() const { return PlottingMethods(d->state.plottingMethod); }

void Chart::setPlottingMethod(PlottingMethods method)
{
    if (method < sgLine || method > sgBar)
        return;
    d->state.plottingMethod = method;
    d->touchLook();
}

bool Chart::ShowLegend() const { return d->state.showLegend; }

void Chart::setShowLegend(bool on)
{
    d->state.showLegend = on;
    d->touchLayout();
}

LegendLocations Chart::LegendLocation() const { return LegendLocations(d->state.legendLocation); }

void Chart::setLegendLocation(LegendLocations location)
{
    if (location != sgLegendTop && location != sgLegendBottom)
        return;
    d->state.legendLocation = location;
    d->touchLayout();
}

DataPrecisions Chart::DataPrecision() const { return DataPrecisions(d->state.dataPrecision); }

void Chart::setDataPrecision(DataPrecisions precision)
{
    if (precision < sgNoDecimals || precision > sgThreeDecimals)
        return;
    d->state.dataPrecision = precision;
    d->touchView();
}

DataLabels Chart::AllowDataLabels() const { return DataLabels(d->state.allowDataLabels); }

void Chart::setAllowDataLabels(DataLabels labels)
{
    if (labels != sgNoDataLabels && labels != sgDataValues)
        return;
    d->state.allowDataLabels = labels;
    d->touchView();
}

int Chart::ArrowCursor() const { return d->state.arrowCursor; }

void Chart::setArrowCursor(int code)
{
    d->state.arrowCursor = (code == ArrowCursorText) ? ArrowCursorText : ArrowCursorNormal;
    d->applyCursor();
}

void Chart::setArrowCursor(const QCursor &picture)
{
    d->pictureCursor = picture;
    d->state.arrowCursor = ArrowCursorPicture;
    d->applyCursor();
}

bool Chart::AllowPopup() const { return d->state.allowPopup; }
void Chart::setAllowPopup(bool on) { d->state.allowPopup = on; }
bool Chart::NoHelp() const { return d->state.noHelp; }
void Chart::setNoHelp(bool on) { d->state.noHelp = on; }
bool Chart::AllowBar() const { return d->state.allowBar; }
void Chart::setAllowBar(bool on) { d->state.allowBar = on; }
bool Chart::AllowCustomization() const { return d->state.allowCustomization; }
void Chart::setAllowCustomization(bool on) { d->state.allowCustomization = on; }
bool Chart::AllowExporting() const { return d->state.allowExporting; }
void Chart::setAllowExporting(bool on) { d->state.allowExporting = on; }
bool Chart::AllowAxisPage() const { return d->state.allowAxisPage; }
void Chart::setAllowAxisPage(bool on) { d->state.allowAxisPage = on; }
bool Chart::AllowFontPage() const { return d->state.allowFontPage; }
void Chart::setAllowFontPage(bool on) { d->state.allowFontPage = on; }
bool Chart::AllowPage1() const { return d->state.allowPage1; }
void Chart::setAllowPage1(bool on) { d->state.allowPage1 = on; }
bool Chart::AllowPage2() const { return d->state.allowPage2; }
void Chart::setAllowPage2(bool on) { d->state.allowPage2 = on; }
bool Chart::AllowSubsetsPage() const { return d->state.allowSubsetsPage; }
void Chart::setAllowSubsetsPage(bool on) { d->state.allowSubsetsPage = on; }

Orientations Chart::DefOrientation() const { return Orientations(d->state.defOrientation); }

void Chart::setDefOrientation(Orientations orientation)
{
    if (orientation == sgPortrait || orientation == sgLandscape)
        d->state.defOrientation = orientation;
}

bool Chart::AllowDataHotSpots() const { return d->state.allowDataHotSpots; }
void Chart::setAllowDataHotSpots(bool on) { d->state.allowDataHotSpots = on; }
bool Chart::AllowGraphAnnotHotSpots() const { return d->state.allowGraphAnnotHotSpots; }
void Chart::setAllowGraphAnnotHotSpots(bool on) { d->state.allowGraphAnnotHotSpots = on; }

// ---- graph annotations ---------------------------------------------------------------

namespace {

const GraphAnnotationState *FindAnnotation(const ChartState &s, int index)
{
    const auto it = s.annotations.find(index);
    return it == s.annotations.end() ? nullptr : &it->second;
}

} // namespace

#define KV_ANNOTATION(index) \
    if ((index) < 0 || (index) > MaxAnnotationIndex) \
        return; \
    GraphAnnotationState &a = d->state.annotations[index]

GraphAnnotationTypes Chart::GraphAnnotationType(int index) const
{
    const GraphAnnotationState *a = FindAnnotation(d->state, index);
    return a ? GraphAnnotationTypes(a->type) : sgAnnotNoSymbol;
}

void Chart::setGraphAnnotationType(int index, GraphAnnotationTypes type)
{
    if (type < 0 || type >= GraphAnnotationTypeCount)
        return;
    KV_ANNOTATION(index);
    a.type = type;
    d->touchView();
}

double Chart::GraphAnnotationX(int index) const
{
    const GraphAnnotationState *a = FindAnnotation(d->state, index);
    return a ? a->x : 0.0;
}

void Chart::setGraphAnnotationX(int index, double x)
{
    KV_ANNOTATION(index);
    a.x = x;
    d->touchView();
}

double Chart::GraphAnnotationY(int index) const
{
    const GraphAnnotationState *a = FindAnnotation(d->state, index);
    return a ? a->y : 0.0;
}

void Chart::setGraphAnnotationY(int index, double y)
{
    KV_ANNOTATION(index);
    a.y = y;
    d->touchView();
}

QString Chart::GraphAnnotationText(int index) const
{
    const GraphAnnotationState *a = FindAnnotation(d->state, index);
    return a ? a->text : QString();
}

void Chart::setGraphAnnotationText(int index, const QString &text)
{
    KV_ANNOTATION(index);
    a.text = text;
    d->touchView();
}

QColor Chart::GraphAnnotationColor(int index) const
{
    const GraphAnnotationState *a = FindAnnotation(d->state, index);
    return QColor::fromRgba(a ? a->color : GraphAnnotationState().color);
}

void Chart::setGraphAnnotationColor(int index, const QColor &color)
{
    if (!color.isValid())
        return;
    KV_ANNOTATION(index);
    a.color = color.rgba();
    d->touchView();
}

#undef KV_ANNOTATION

QList<int> Chart::graphAnnotationIndexes() const
{
    QList<int> out;
    for (const auto &[index, a] : d->state.annotations)
        if (a.type != sgAnnotNoSymbol || !a.text.isEmpty())
            out.append(index);
    return out;
}

void Chart::clearGraphAnnotations()
{
    d->state.annotations.clear();
    d->touchView();
}

bool Chart::ShowAnnotations() const { return d->state.showAnnotations; }

void Chart::setShowAnnotations(bool on)
{
    d->state.showAnnotations = on;
    d->touchView();
}

int Chart::GraphAnnotationTextSize() const { return d->state.annotationTextSize; }

void Chart::setGraphAnnotationTextSize(int percent)
{
    d->state.annotationTextSize = ClampTextSize(percent);
    d->touchView();
}

// ---- vertical-line annotations -----------------------------------------------------------

namespace {

const VertLineState *FindLine(const ChartState &s, int index)
{
    const auto it = s.vertLines.find(index);
    return it == s.vertLines.end() ? nullptr : &it->second;
}

} // namespace

double Chart::VertLineAnnotation(int index) const
{
    const VertLineState *v = FindLine(d->state, index);
    return v ? v->x : 0.0;
}

void Chart::setVertLineAnnotation(int index, double x)
{
    if (index < 0 || index > MaxVertLineIndex)
        return;
    d->state.vertLines[index].x = x;
    d->touchView();
}

QColor Chart::VertLineAnnotationColor(int index) const
{
    const VertLineState *v = FindLine(d->state, index);
    return QColor::fromRgba(v ? v->color : VertLineState().color);
}

void Chart::setVertLineAnnotationColor(int index, const QColor &color)
{
    if (index < 0 || index > MaxVertLineIndex || !color.isValid())
        return;
    d->state.vertLines[index].color = color.rgba();
    d->touchView();
}

LineTypes Chart::VertLineAnnotationType(int index) const
{
    const VertLineState *v = FindLine(d->state, index);
    return LineTypes(v ? v->lineType : sgThinSolid);
}

void Chart::setVertLineAnnotationType(int index, LineTypes type)
{
    if (index < 0 || index > MaxVertLineIndex || type < sgThinSolid || type > sgThickSolid)
        return;
    d->state.vertLines[index].lineType = type;
    d->touchView();
}

QString Chart::VertLineAnnotationText(int index) const
{
    const VertLineState *v = FindLine(d->state, index);
    return v ? v->text : QString();
}

void Chart::setVertLineAnnotationText(int index, const QString &text)
{
    if (index < 0 || index > MaxVertLineIndex)
        return;
    d->state.vertLines[index].text = text;
    d->touchView();
}

bool Chart::hasVertLineAnnotation(int index) const { return FindLine(d->state, index) != nullptr; }

void Chart::removeVertLineAnnotation(int index)
{
    d->state.vertLines.erase(index);
    d->touchView();
}

bool Chart::ShowVertLineAnnotations() const { return d->state.showVertLines; }

void Chart::setShowVertLineAnnotations(bool on)
{
    d->state.showVertLines = on;
    d->touchView();
}

bool Chart::VertLineAnnotationsHot() const { return d->state.vertLinesHot; }
void Chart::setVertLineAnnotationsHot(bool on) { d->state.vertLinesHot = on; }

int Chart::LineAnnotationTextSize() const { return d->state.lineAnnotationTextSize; }

void Chart::setLineAnnotationTextSize(int percent)
{
    d->state.lineAnnotationTextSize = ClampTextSize(percent);
    d->touchView();
}

// ---- table annotation ------------------------------------------------------------------------

namespace {

void ResizeTable(TableAnnotationState &t, int rows, int columns)
{
    QVector<QString> texts(rows * columns);
    QVector<QRgb> colors(rows * columns, 0xff000000);
    for (int r = 0; r < qMin(rows, t.rows); ++r) {
        for (int c = 0; c < qMin(columns, t.columns); ++c) {
            texts[r * columns + c] = t.texts.value(r * t.columns + c);
            colors[r * columns + c] = t.colors.value(r * t.columns + c, 0xff000000);
        }
    }
    t.rows = rows;
    t.columns = columns;
    t.texts = std::move(texts);
    t.colors = std::move(colors);
}

} // namespace

int Chart::TARows() const { return d->state.table.rows; }

void Chart::setTARows(int rows)
{
    if (rows < 0 || rows > MaxTableRows)
        return;
    ResizeTable(d->state.table, rows, d->state.table.columns);
    d->touchView();
}

int Chart::TAColumns() const { return d->state.table.columns; }

void Chart::setTAColumns(int columns)
{
    if (columns < 0 || columns > MaxTableColumns)
        return;
    ResizeTable(d->state.table, d->state.table.rows, columns);
    d->touchView();
}

QString Chart::TAText(int row, int column) const
{
    const TableAnnotationState &t = d->state.table;
    if (row < 0 || row >= t.rows || column < 0 || column >= t.columns)
        return {};
    return t.texts[row * t.columns + column];
}

void Chart::setTAText(int row, int column, const QString &text)
{
    TableAnnotationState &t = d->state.table;
    if (row < 0 || row >= t.rows || column < 0 || column >= t.columns)
        return;
    t.texts[row * t.columns + column] = text;
    d->touchView();
}

QColor Chart::TAColor(int row, int column) const
{
    const TableAnnotationState &t = d->state.table;
    if (row < 0 || row >= t.rows || column < 0 || column >= t.columns)
        return {};
    return QColor::fromRgba(t.colors[row * t.columns + column]);
}

void Chart::setTAColor(int row, int column, const QColor &color)
{
    TableAnnotationState &t = d->state.table;
    if (row < 0 || row >= t.rows || column < 0 || column >= t.columns || !color.isValid())
        return;
    t.colors[row * t.columns + column] = color.rgba();
    d->touchView();
}

int Chart::TAX() const { return d->state.table.x; }

void Chart::setTAX(int x)
{
    d->state.table.x = x;
    d->touchView();
}

int Chart::TAY() const { return d->state.table.y; }

void Chart::setTAY(int y)
{
    d->state.table.y = y;
    d->touchView();
}

TALocations Chart::TALocation() const { return TALocations(d->state.table.location); }

void Chart::setTALocation(int location)
{
    if (!((location >= sgTAInsideTopLeft && location <= sgTAInsideBottomRight) || location == sgTAExplicit))
        return;
    d->state.table.location = location;
    d->touchView();
}

TAMoveables Chart::TAMoveable() const { return TAMoveables(d->state.table.moveable); }

void Chart::setTAMoveable(TAMoveables moveable)
{
    if (moveable < sgTANotMoveable || moveable > sgTAMoveableNoHotSpots)
        return;
    d->state.table.moveable = moveable;
}

QColor Chart::TABackColor() const { return QColor::fromRgba(d->state.table.backColor); }

void Chart::setTABackColor(const QColor &color)
{
    if (SetValidColor(d->state.table.backColor, color))
        d->touchView();
}

TABorders Chart::TABorder() const { return TABorders(d->state.table.border); }

void Chart::setTABorder(TABorders border)
{
    if (border < sgNoBorder || border > sgInset)
        return;
    d->state.table.border = border;
    d->touchView();
}

int Chart::TATextSize() const { return d->state.table.textSize; }

void Chart::setTATextSize(int percent)
{
    d->state.table.textSize = ClampTextSize(percent);
    d->touchView();
}

bool Chart::TAHeaderRows() const { return d->state.table.headerRow; }

void Chart::setTAHeaderRows(bool on)
{
    d->state.table.headerRow = on;
    d->touchView();
}

bool Chart::TAHeaderColumn() const { return d->state.table.headerColumn; }

void Chart::setTAHeaderColumn(bool on)
{
    d->state.table.headerColumn = on;
    d->touchView();
}

bool Chart::ShowTableAnnotation() const { return d->state.table.shown; }

void Chart::setShowTableAnnotation(bool on)
{
    d->state.table.shown = on;
    d->touchView();
}

QRect Chart::tableAnnotationRect() const
{
    d->sync();
    const QRect r = d->tableRect();
    return r.isEmpty() ? r : r.translated(d->plot->pos());
}

// ---- actions ---------------------------------------------------------------------------------

void Chart::PEactions(ChartActions action)
{
    switch (action) {
    case sgResetImage: resetImage(); break;
    case sgInvalidateImage: invalidateImage(); break;
    case sgReinitAndReset: reinitAndReset(); break;
    case sgUndoZoom: undoZoom(); break;
    case sgCustomize: customize(); break;
    case sgPrintDialog: printDialog(); break;
    case sgExportDialog: exportDialog(); break;
    }
}

// A redraw after changes of annotations, lines or the table alone redraws
// their layer only (already queued); anything else redraws the chart.
void Chart::resetImage()
{
    if (!d->viewReplotPending)
        d->scheduleReplot();
}

void Chart::invalidateImage() { resetImage(); }

void Chart::reinitAndReset() { d->touchLayout(); }

void Chart::undoZoom()
{
    const bool was = isZoomed();
    d->zoomX.reset();
    d->zoomY.clear();
    d->updateScrollBars();
    d->scheduleReplot();
    if (was)
        emit zoomUndone();
}

int Chart::customize()
{
    CustomizeDialog dialog(this);
    const ChartState before = d->state;
    dialog.load(d->state);
    connect(&dialog, &CustomizeDialog::applied, this, [this, &dialog] {
        ChartState edited = d->state;
        dialog.save(&edited);
        applySettings(edited);
    });
    const int result = dialog.exec();
    if (result == QDialog::Accepted) {
        ChartState edited = d->state;
        dialog.save(&edited);
        applySettings(edited);
        d->dialogResult = 1;
    } else {
        if (dialog.wasApplied())
            applySettings(before);
        d->dialogResult = 0;
    }
    emit OnCustomizeDlg();
    return d->dialogResult;
}

int Chart::DialogResult() const { return d->dialogResult; }

bool Chart::printDialog()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(d->state.defOrientation == sgPortrait ? QPageLayout::Portrait
                                                                    : QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Graph"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return print(&printer);
}

bool Chart::print(QPrinter *printer)
{
    if (!printer)
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    d->render(&painter, QRect(QPoint(0, 0), page.size()));
    return painter.end();
}

bool Chart::exportDialog()
{
    const QString filters = tr("PNG image (*.png);;JPEG image (*.jpg *.jpeg);;PDF document (*.pdf);;SVG drawing (*.svg)");
    const QString path = QFileDialog::getSaveFileName(this, tr("Export Graph"), QString(), filters);
    if (path.isEmpty())
        return false;
    return exportImage(path);
}

void Chart::redrawNow() { d->replotNow(); }

// ---- queries ---------------------------------------------------------------------------------

QPoint Chart::lastMousePosition() const { return d->lastMouse; }

QRect Chart::plottingRect() const
{
    d->sync();
    return d->plotRectUnion().translated(d->plot->pos());
}

QRect Chart::axisRect(int axis) const
{
    d->sync();
    if (axis < 0 || axis >= int(d->rects.size()))
        return {};
    return d->rects[size_t(axis)]->rect().translated(d->plot->pos());
}

void Chart::pixelToAxis0(const QPoint &pixel, double *x, double *y) const
{
    d->sync();
    const QPoint p = pixel - d->plot->pos();
    QCPAxisRect *r = d->rects.front();
    if (x)
        *x = r->axis(QCPAxis::atBottom)->pixelToCoord(p.x());
    if (y)
        *y = r->axis(QCPAxis::atLeft)->pixelToCoord(p.y());
}

QPointF Chart::valueToPixel(int axis, double x, double y) const
{
    d->sync();
    if (axis < 0 || axis >= int(d->rects.size()))
        return {};
    QCPAxisRect *r = d->rects[size_t(axis)];
    return QPointF(r->axis(QCPAxis::atBottom)->coordToPixel(x), r->axis(QCPAxis::atLeft)->coordToPixel(y)) +
           QPointF(d->plot->pos());
}

// ---- state -----------------------------------------------------------------------------------

QByteArray Chart::storeState() const { return StoreChartState(d->state); }

bool Chart::loadState(const QByteArray &block, QString *error)
{
    ChartState loaded;
    if (!LoadChartState(block, &loaded, error))
        return false;
    d->state = std::move(loaded);
    d->zoomX.reset();
    d->zoomY.clear();
    d->updateScrollBars();
    d->applyCursor();
    d->touchLayout();
    return true;
}

void Chart::applySettings(const ChartState &settings)
{
    // Settings only: the data, counts, annotations, lines and table stay the
    // chart's own (a recording may have gone on while the dialog was open).
    ChartState next = settings;
    const ChartState &now = d->state;
    next.points = now.points;
    next.subsets.resize(now.subsets.size());
    for (size_t s = 0; s < next.subsets.size(); ++s) {
        next.subsets[s].x = now.subsets[s].x;
        next.subsets[s].y = now.subsets[s].y;
        if (s >= settings.subsets.size()) {
            next.subsets[s].label = now.subsets[s].label;
            next.subsets[s].color = now.subsets[s].color;
            next.subsets[s].lineType = now.subsets[s].lineType;
        }
    }
    next.nullDataValueY = now.nullDataValueY;
    next.lineGapThreshold = now.lineGapThreshold;
    next.annotations = now.annotations;
    next.vertLines = now.vertLines;
    next.table = now.table;
    d->state = std::move(next);
    d->applyCursor();
    d->touchLayout();
}

} // namespace kv

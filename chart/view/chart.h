#pragma once
// The scientific time chart of every graph window: subsets (channels) of
// points (samples) against date and time, stacked Y axes, mouse zoom with
// undo, graph annotations, vertical-line cursors, a table annotation, a
// customisation dialog, printing, picture export, and the chart's whole state
// as one block of bytes.
//
// Usage follows one pattern: set properties, then redraw with resetImage()
// (or PEactions(sgResetImage)).  Every change also queues a redraw, so a
// forgotten call only delays the picture to the next pass of the event loop;
// many changes in a row cost one redraw.  Properties that take an axis
// (ManualMinY, YAxisLabel, ...) act on WorkingAxis.
//
// Indexes out of range are ignored by setters and give neutral values from
// getters (0, empty text, the null value); nothing throws.

#include "chart/model/chartenums.h"

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <memory>

class QPrinter;

namespace kv {

struct ChartState;

// A colour from alpha, red, green and blue (0..255 each).
QColor PEargb(int alpha, int red, int green, int blue);

class Chart : public QWidget
{
    Q_OBJECT
public:
    explicit Chart(QWidget *parent = nullptr);
    ~Chart() override;

    // ---- data -------------------------------------------------------------
    // Counts of subsets and points.  Changing either keeps the values of the
    // cells that remain; new cells hold X 0 and Y = NullDataValueY.  Counts
    // above the limits of chartstate.h are refused (return false).
    int Subsets() const;
    bool setSubsets(int count);
    int Points() const;
    bool setPoints(int count);

    // Cells.  XDataII: date-time in days (or any X value).  Y is held in double
    // precision: YData reads it as single precision, YDataII exactly; a value
    // written reads back identically through the same property.
    double XDataII(int subset, int point) const;
    void setXDataII(int subset, int point, double value);
    float YData(int subset, int point) const;
    void setYData(int subset, int point, float value);
    double YDataII(int subset, int point) const;
    void setYDataII(int subset, int point, double value);

    // Whole-array writes, point by point with one point's subsets consecutive
    // (index = point * Subsets() + subset).  Writes min(count, Points*Subsets)
    // values.
    void setXDataIIArray(const double *values, qsizetype count);
    void setYDataArray(const float *values, qsizetype count);
    void setYDataIIArray(const double *values, qsizetype count);

    // Y values equal to this are not drawn and leave a gap (default 9999).
    double NullDataValueY() const;
    void setNullDataValueY(double value);
    // Consecutive drawn points further apart in X than this are not joined
    // (default 1e20; 0 or less: always joined).
    double LineGapThreshold() const;
    void setLineGapThreshold(double value);

    // ---- series -------------------------------------------------------------
    QString SubsetLabels(int subset) const;
    void setSubsetLabels(int subset, const QString &label);
    QColor SubsetColors(int subset) const;
    void setSubsetColors(int subset, const QColor &color);
    LineTypes SubsetLineTypes(int subset) const;
    void setSubsetLineTypes(int subset, LineTypes type);

    // The list of shown subsets, in legend order.  Until the list is first
    // written every subset is shown.  setRandomSubsetsToGraph(-1, ...) empties
    // it (then nothing is shown until entries are added); writing index k
    // beyond the end grows the list, and unwritten entries are -1 (skipped).
    int RandomSubsetsToGraph(int index) const;          // -1 when absent
    int RandomSubsetsToGraphCount() const;
    void setRandomSubsetsToGraph(int index, int subset);
    bool isSubsetShown(int subset) const;

    // Stacked axes: entry a is the number of subsets on axis a, taken in
    // subset order (axis 0 from the top).  Subsets beyond the sum go to the
    // last axis.  setMultiAxesSubsets(-1, ...) clears the list and the
    // proportions (one axis).  MultiAxesSubsets(a) is 0 for absent entries.
    int MultiAxesSubsets(int axis) const;
    int MultiAxesCount() const;                         // entries in the list
    void setMultiAxesSubsets(int axis, int count);
    // Share of the plotting height of axis a (0..1).  With no entry for axis
    // 0, MultiAxesProportions(0) is 1.0 (one axis fills the height).  Missing
    // or inconsistent shares are spread evenly when drawing.
    double MultiAxesProportions(int axis) const;
    void setMultiAxesProportions(int axis, double share);
    int axisCount() const;                              // axes drawn
    int axisOfSubset(int subset) const;

    // The axis that ManualScaleControlY, ManualMinY/MaxY and YAxisLabel act on.
    int WorkingAxis() const;
    void setWorkingAxis(int axis);

    // ---- axes -----------------------------------------------------------------
    ManualScaleControls ManualScaleControlX() const;
    void setManualScaleControlX(ManualScaleControls control);
    double ManualMinX() const;
    void setManualMinX(double value);
    double ManualMaxX() const;
    void setManualMaxX(double value);
    ManualScaleControls ManualScaleControlY() const;
    void setManualScaleControlY(ManualScaleControls control);
    double ManualMinY() const;
    void setManualMinY(double value);
    double ManualMaxY() const;
    void setManualMaxY(double value);
    DateTimeModes DateTimeMode() const;
    void setDateTimeMode(DateTimeModes mode);
    // Off: points are drawn at X = point index.
    bool UsingXDataII() const;
    void setUsingXDataII(bool on);
    QString XAxisLabel() const;
    void setXAxisLabel(const QString &label);
    QString YAxisLabel() const;
    void setYAxisLabel(const QString &label);
    GridLineControls GridLineControl() const;
    void setGridLineControl(GridLineControls control);
    GridStyles GridStyle() const;
    void setGridStyle(GridStyles style);
    // Mouse zoom: drag a rectangle with the left button.
    ZoomStyles AllowZooming() const;
    void setAllowZooming(ZoomStyles style);
    // Scroll bars (and the mouse wheel) move a zoomed view across the data.
    bool ScrollingHorzZoom() const;
    void setScrollingHorzZoom(bool on);
    bool ScrollingVertZoom() const;
    void setScrollingVertZoom(bool on);

    // The ranges drawn now (zoom included), and whether a zoom is active.
    void currentXRange(double *lower, double *upper) const;
    void currentYRange(int axis, double *lower, double *upper) const;
    bool isZoomed() const;

    // ---- look -------------------------------------------------------------------
    QString MainTitle() const;
    void setMainTitle(const QString &title);
    QString SubTitle() const;
    void setSubTitle(const QString &title);
    QFont MainTitleFont() const;
    void setMainTitleFont(const QFont &font);
    QFont SubTitleFont() const;
    void setSubTitleFont(const QFont &font);
    // Axis labels, tick labels, legend, annotations and the table.
    QFont LabelFont() const;
    void setLabelFont(const QFont &font);
    // Grid lines and the frame of the plotting area.
    QColor GraphForeColor() const;
    void setGraphForeColor(const QColor &color);
    // Inside of the plotting area.
    QColor GraphBackColor() const;
    void setGraphBackColor(const QColor &color);
    // Everything around the plotting area.
    QColor DeskColor() const;
    void setDeskColor(const QColor &color);
    QColor TextColor() const;
    void setTextColor(const QColor &color);
    PlottingMethods PlottingMethod() const;
    void setPlottingMethod(PlottingMethods method);
    bool ShowLegend() const;
    void setShowLegend(bool on);
    LegendLocations LegendLocation() const;
    void setLegendLocation(LegendLocations location);
    // Decimals of data labels and of the values the dialog shows.
    DataPrecisions DataPrecision() const;
    void setDataPrecision(DataPrecisions precision);
    // Data labels are drawn while at most MaxDataLabels points are visible.
    DataLabels AllowDataLabels() const;
    void setAllowDataLabels(DataLabels labels);
    static constexpr int MaxDataLabels = 400;
    // 1 normal arrow, 2 text tool (I-beam); setArrowCursor(QCursor) gives a
    // picture and makes ArrowCursor() 0.  A picture is not part of the state.
    int ArrowCursor() const;
    void setArrowCursor(int code);
    void setArrowCursor(const QCursor &picture);
    // Right-button menu with undo zoom, customise, export, print and help.
    bool AllowPopup() const;
    void setAllowPopup(bool on);
    // No help entry in the menu and no Help button in the dialog.
    bool NoHelp() const;
    void setNoHelp(bool on);
    bool AllowBar() const;
    void setAllowBar(bool on);
    bool AllowCustomization() const;
    void setAllowCustomization(bool on);
    bool AllowExporting() const;
    void setAllowExporting(bool on);
    // Pages of the customisation dialog.
    bool AllowAxisPage() const;
    void setAllowAxisPage(bool on);
    bool AllowFontPage() const;
    void setAllowFontPage(bool on);
    bool AllowPage1() const;        // "Graph": titles, plotting method, grid, legend
    void setAllowPage1(bool on);
    bool AllowPage2() const;        // "Colors"
    void setAllowPage2(bool on);
    bool AllowSubsetsPage() const;
    void setAllowSubsetsPage(bool on);
    Orientations DefOrientation() const;
    void setDefOrientation(Orientations orientation);

    // ---- hot spots ------------------------------------------------------------
    // A click near a drawn data point reports OnDataHotSpot.
    bool AllowDataHotSpots() const;
    void setAllowDataHotSpots(bool on);
    // A click on a graph annotation reports OnGraphHotSpot and
    // OnGraphAnnotHotSpot(false, index); a double click OnGraphAnnotHotSpot(true, index).
    bool AllowGraphAnnotHotSpots() const;
    void setAllowGraphAnnotHotSpots(bool on);

    // ---- graph annotations (by index 0..MaxAnnotationIndex, axis 0 values) -------
    GraphAnnotationTypes GraphAnnotationType(int index) const;
    void setGraphAnnotationType(int index, GraphAnnotationTypes type);
    double GraphAnnotationX(int index) const;
    void setGraphAnnotationX(int index, double x);
    double GraphAnnotationY(int index) const;
    void setGraphAnnotationY(int index, double y);
    // Line breaks: "\r", "\n" or "\r\n".
    QString GraphAnnotationText(int index) const;
    void setGraphAnnotationText(int index, const QString &text);
    QColor GraphAnnotationColor(int index) const;
    void setGraphAnnotationColor(int index, const QColor &color);
    // Indexes of the annotations that are drawn (type 0 with empty text is not).
    QList<int> graphAnnotationIndexes() const;
    void clearGraphAnnotations();
    bool ShowAnnotations() const;
    void setShowAnnotations(bool on);
    int GraphAnnotationTextSize() const;   // percent of LabelFont
    void setGraphAnnotationTextSize(int percent);

    // ---- vertical-line annotations (index 0..MaxVertLineIndex) ----------------
    // Cursors across all stacked axes at an X value.  A line exists once any
    // of its properties is written; one outside the X range is not drawn (and
    // cannot be grabbed), so place lines inside the range to offer them.
    double VertLineAnnotation(int index) const;         // X
    void setVertLineAnnotation(int index, double x);
    QColor VertLineAnnotationColor(int index) const;
    void setVertLineAnnotationColor(int index, const QColor &color);
    LineTypes VertLineAnnotationType(int index) const;
    void setVertLineAnnotationType(int index, LineTypes type);
    QString VertLineAnnotationText(int index) const;
    void setVertLineAnnotationText(int index, const QString &text);
    bool hasVertLineAnnotation(int index) const;
    void removeVertLineAnnotation(int index);
    bool ShowVertLineAnnotations() const;
    void setShowVertLineAnnotations(bool on);
    // Hot lines are dragged with the mouse (vertLineAnnotationMoved).
    bool VertLineAnnotationsHot() const;
    void setVertLineAnnotationsHot(bool on);
    int LineAnnotationTextSize() const;    // percent of LabelFont
    void setLineAnnotationTextSize(int percent);

    // ---- table annotation ---------------------------------------------------------
    // Changing rows or columns keeps the cells that remain.
    int TARows() const;
    void setTARows(int rows);
    int TAColumns() const;
    void setTAColumns(int columns);
    QString TAText(int row, int column) const;
    void setTAText(int row, int column, const QString &text);
    // Text colour of a cell, alpha included (see PEargb).
    QColor TAColor(int row, int column) const;
    void setTAColor(int row, int column, const QColor &color);
    int TAX() const;                        // pixels from the chart's left edge
    void setTAX(int x);
    int TAY() const;                        // pixels from the chart's top edge
    void setTAY(int y);
    TALocations TALocation() const;
    void setTALocation(int location);       // a TALocation; other values are ignored
    TAMoveables TAMoveable() const;
    void setTAMoveable(TAMoveables moveable);
    QColor TABackColor() const;
    void setTABackColor(const QColor &color);
    TABorders TABorder() const;
    void setTABorder(TABorders border);
    int TATextSize() const;                 // percent of LabelFont
    void setTATextSize(int percent);
    bool TAHeaderRows() const;              // row 0 drawn bold
    void setTAHeaderRows(bool on);
    bool TAHeaderColumn() const;            // column 0 drawn bold
    void setTAHeaderColumn(bool on);
    bool ShowTableAnnotation() const;
    void setShowTableAnnotation(bool on);
    // Where the table is drawn now, in chart pixels (empty when hidden).
    QRect tableAnnotationRect() const;

    // ---- actions ----------------------------------------------------------------
    void PEactions(ChartActions action);
    void resetImage();          // redraw (queued)
    void invalidateImage();     // redraw (queued)
    void reinitAndReset();      // rebuild axes and shown subsets, then redraw
    void undoZoom();            // back to the unzoomed ranges
    // Modal customisation dialog; returns and stores DialogResult (1 applied,
    // 0 cancelled) and emits OnCustomizeDlg.
    int customize();
    int DialogResult() const;
    // System print dialog, then prints (landscape unless DefOrientation says otherwise).
    bool printDialog();
    // Prints on an already configured printer, scaled to its page.
    bool print(QPrinter *printer);
    // Save dialog for exportImage().
    bool exportDialog();
    // Writes the picture; the format follows the extension: .png, .jpg/.jpeg,
    // .pdf, .svg.  width/height 0: the chart's size.
    bool exportImage(const QString &path, QString *error = nullptr, int width = 0, int height = 0);
    // Draws now instead of on the next pass of the event loop.
    void redrawNow();

    // ---- queries ------------------------------------------------------------------
    QPoint lastMousePosition() const;       // chart pixels
    // The plotting area (all stacked axes) in chart pixels.
    QRect plottingRect() const;
    QRect axisRect(int axis) const;
    // A chart pixel as axis 0 values (X and Y of the top or only axis).
    void pixelToAxis0(const QPoint &pixel, double *x, double *y) const;
    QPointF valueToPixel(int axis, double x, double y) const;

    // ---- state --------------------------------------------------------------------
    // The whole chart (data, settings, annotations, lines, table; not the
    // zoom) as one block, and back.  loadState refuses a block that is not a
    // valid chart state with an error text and leaves the chart untouched.
    QByteArray storeState() const;
    bool loadState(const QByteArray &block, QString *error = nullptr);
    const ChartState &state() const;

    // Used by the customisation dialog: takes every setting of `settings`
    // but keeps this chart's data, counts, annotations, lines and table.
    void applySettings(const ChartState &settings);

signals:
    void OnClick();
    void OnMouseMove();
    void OnZoomIn();
    void OnDataHotSpot(int subset, int point);
    void OnGraphHotSpot();
    void OnGraphAnnotHotSpot(bool doubleClick, int index);
    void OnCustomizeDlg();
    // A hot vertical line was dragged to x.
    void vertLineAnnotationMoved(int index, double x);
    // A click on a cell of a table annotation that reports hot spots.
    void tableAnnotationHotSpot(int row, int column);
    void zoomUndone();

public:
    class Impl;                 // the drawing (private header chart_p.h)

private:
    std::unique_ptr<Impl> d;
};

} // namespace kv

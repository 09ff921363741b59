#pragma once
// Private parts of the chart component: the drawing over QCustomPlot.
// Included only by the chart's own .cpp files.

#include "chart/view/chart.h"
#include "chart/model/chartstate.h"

#include <qcustomplot.h>

#include <QPointer>
#include <QScrollBar>

#include <limits>
#include <optional>
#include <vector>

namespace kv {

// X axis ticks for date-times (days since 30 December 1899): steps of whole
// seconds, minutes, hours or days, labels with time and date.
class OleDateTimeTicker : public QCPAxisTicker
{
public:
    OleDateTimeTicker();

protected:
    double getTickStep(const QCPRange &range) override;
    int getSubTickCount(double tickStep) override;
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override;

private:
    double m_step = 1.0;
};

// The QCustomPlot surface; hands mouse events to the chart, which passes
// those of a zoom on to QCustomPlot's selection rectangle (QCP::srmZoom).
class PlotWidget : public QCustomPlot
{
public:
    PlotWidget(Chart::Impl *owner, QWidget *parent);
    using QCustomPlot::updateLayout;
    void selectionPress(QMouseEvent *event) { QCustomPlot::mousePressEvent(event); }
    void selectionMove(QMouseEvent *event) { QCustomPlot::mouseMoveEvent(event); }
    void selectionRelease(QMouseEvent *event) { QCustomPlot::mouseReleaseEvent(event); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void processRectZoom(QRect rect, QMouseEvent *event) override;

private:
    Chart::Impl *m_owner;
};

// Data labels (layer "notes").
class NotesLayerable : public QCPLayerable
{
public:
    NotesLayerable(QCustomPlot *plot, Chart::Impl *owner);

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    Chart::Impl *m_owner;
};

// Graph annotations, vertical-line annotations and the table annotation
// (layer "cursors"): they are placed and moved without touching the data,
// so their layer is redrawn alone.
class CursorsLayerable : public QCPLayerable
{
public:
    CursorsLayerable(QCustomPlot *plot, Chart::Impl *owner);

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    Chart::Impl *m_owner;
};

// One graph annotation as a QCustomPlot item on the cursors layer: its
// symbol and text at a position in axis 0 values.  Its selectTest is the
// chart's hit test of annotations (QCustomPlot::itemAt).
class NoteItem : public QCPAbstractItem
{
public:
    NoteItem(QCustomPlot *plot, Chart::Impl *owner, int index);
    double selectTest(const QPointF &pos, bool onlySelectable, QVariant *details = nullptr) const override;

    QCPItemPosition *const position;
    int index = -1;

protected:
    void draw(QCPPainter *painter) override;

private:
    Chart::Impl *m_owner;
};

class Chart::Impl
{
public:
    explicit Impl(Chart *q);
    ~Impl();

    Chart *q;
    ChartState state;
    int dialogResult = 0;
    QCursor pictureCursor;

    PlotWidget *plot = nullptr;
    QScrollBar *hScroll = nullptr;
    QScrollBar *vScroll = nullptr;
    NotesLayerable *notes = nullptr;
    CursorsLayerable *cursors = nullptr;
    QCPLayer *cursorsLayer = nullptr;
    QSharedPointer<QCPAxisTicker> dateTicker;
    QSharedPointer<QCPAxisTicker> numberTicker;

    // View objects, rebuilt by rebuildLayout().
    std::vector<QCPAxisRect *> rects;
    std::vector<QCPGraph *> graphs;     // per subset; null when not shown
    // Per subset: all drawn points, and a min/max reduction of them that the
    // graph shows instead while many points share each pixel.
    std::vector<QSharedPointer<QCPGraphDataContainer>> fullData;
    std::vector<QSharedPointer<QCPGraphDataContainer>> reducedData;
    std::vector<bool> reducedStale;
    QCPLegend *legend = nullptr;
    QCPMarginGroup *marginGroup = nullptr;
    QCPTextElement *titleElement = nullptr;
    QCPTextElement *subTitleElement = nullptr;
    Qt::CursorShape hoverShape = Qt::ArrowCursor;
    bool hovering = false;

    // Redraws queued: the whole chart, or only the annotations layer (notes,
    // cursors and table, which change without touching the data).
    bool fullReplotPending = false;
    bool viewReplotPending = false;
    // Items are kept and reused (hidden while unused): adding an item to
    // the cursors layer invalidates its buffer, which costs a full replot.
    // Annotations changed since their items were brought up to date.
    bool notesDirty = true;
    std::vector<NoteItem *> noteItems;
    int noteCount = 0;                  // items in use
    // Vertical-line annotations: one straight line per stacked axis and the
    // label; brought up to date after changes and before each replot.
    struct VertLineItems {
        int index = 0;
        std::vector<QCPItemStraightLine *> lines;
        QCPItemText *label = nullptr;
    };
    bool linesDirty = true;
    std::vector<VertLineItems> lineItems;
    int lineCount = 0;                  // entries in use

    // What must be brought up to date before the next drawing.
    bool layoutDirty = true;
    bool lookDirty = true;
    bool autoRangeDirty = true;
    // Per subset: first point changed since the graph data was built
    // (CleanData: none), and the last point that produced graph data.
    static constexpr int CleanData = std::numeric_limits<int>::max();
    std::vector<int> dirtyFrom;
    std::vector<int> lastDrawn;

    // Extent of the data (non-null points of shown subsets), per axis for Y.
    std::optional<QCPRange> autoX;
    std::vector<std::optional<QCPRange>> autoY;

    // Zoom overrides of the unzoomed ranges.
    std::optional<QCPRange> zoomX;
    std::vector<std::optional<QCPRange>> zoomY;
    int scrollAxis = 0;

    // Mouse.
    enum class Drag { None, Pending, Zoom, Table, Line };
    Drag drag = Drag::None;
    QPoint pressPos;
    QPoint dragOffset;
    int dragRect = -1;
    int dragLine = -1;
    bool dragMoved = false;
    QPoint lastMouse;                   // chart pixels

    // ---- state changes
    void touchData(int subset, int point);   // a cell of a subset changed
    void touchAllData();
    void touchLayout();
    void touchLook();
    void touchView();                    // only annotations, lines, table: their layer alone
    void scheduleReplot();
    YAxisState &workingAxisState();
    const YAxisState *axisState(int axis) const;

    // ---- structure
    int axisCount() const;
    int axisOfSubset(int subset) const;
    bool subsetShown(int subset) const;
    QVector<int> shownSubsets() const;   // in legend order
    QVector<double> proportions() const;

    // ---- drawing
    void sync();                         // everything dirty brought up to date
    void rebuildLayout();
    void applyLook();
    void syncData(int subset);
    void chooseDataDetail(bool full = false);
    static void reduce(const QCPGraphDataContainer &full, QCPGraphDataContainer *out);
    void computeAutoRanges();
    QCPRange unzoomedX() const;
    QCPRange unzoomedY(int axis) const;
    void applyRanges();
    void updateScrollBars();
    void replotNow();
    QFont scaledFont(int percent) const;
    QPen linePen(QRgb color, int lineType) const;

    // ---- geometry (plot widget pixels)
    QRect plotRectUnion() const;
    int rectAt(const QPoint &pos) const;
    QRect tableRect() const;
    bool tableCellAt(const QPoint &pos, int *row, int *column) const;
    void tableLayout(QVector<int> *columnWidths, int *rowHeight, QFont *font) const;
    int vertLineAt(const QPoint &pos) const;
    int annotationAt(const QPoint &pos) const;
    bool dataPointAt(const QPoint &pos, int *subset, int *point) const;
    QRectF annotationSymbolRect(const GraphAnnotationState &a, const QPointF &at) const;
    QRectF annotationTextRect(const GraphAnnotationState &a, const QPointF &at, const QFontMetricsF &fm) const;
    QPoint toChart(const QPoint &plotPos) const;

    // ---- mouse
    void mousePress(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void mouseRelease(QMouseEvent *event);
    void mouseDoubleClick(QMouseEvent *event);
    void wheel(QWheelEvent *event);
    void click(const QPoint &pos);
    void applyZoom(const QRect &selection);
    void updateHoverCursor(const QPoint &pos);
    void applyCursor();
    void showPopup(const QPoint &globalPos);
    void scrollBy(double fraction, bool horizontal);

    // ---- drawing of the layerables
    void drawNotes(QCPPainter *painter);
    void syncNotes();
    void syncLines();
    void drawCursors(QCPPainter *painter);
    void drawAnnotation(QCPPainter *painter, const GraphAnnotationState &a, const QPointF &at);
    void drawDataLabels(QCPPainter *painter);
    void drawTable(QCPPainter *painter);

    // ---- output
    // Draws the chart as exported, scaled to fit `target` and centred.
    void render(QPainter *painter, const QRect &target);
    QSize renderSize() const;
};

} // namespace kv

#pragma once
// The tools of a graph window that act on its chart: the range of the left
// Y axis, the chart's customisation kept as the graph template, notes and
// crosses, the mouse read-out, the data-point marker, deleting and
// recolouring notes, the statistics table on the chart, and picture export.
//
// One object per graph window.  The annotation tool and numbering are shared
// by all windows (AnnotationCursor); the annotation colour is the
// application's setting, 0xRRGGBB.

#include "chart/model/annotationcursor.h"

#include <QCursor>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class QLabel;

namespace kv {
class Chart;
}

class GraphTools : public QObject {
    Q_OBJECT
public:
    GraphTools(kv::Chart &chart, kv::AnnotationCursor &cursor, quint32 &annotationColor, QLabel &readout,
               QObject *parent = nullptr);

    // Pixel offsets from the mouse position to where a note or a cross goes
    // (the cross picture's centre).
    static constexpr int TextOffsetX = 1;
    static constexpr int TextOffsetY = 7;
    static constexpr int CrossOffset = 15;
    // The cross tool's mouse cursor: 32 x 32 pixels, hot spot top-left.
    static QCursor CrossCursor();

    // Texts of the statistics table, in its row order: start time, sampling,
    // data count, then maximum, minimum and average of RH, T1 and T2.
    static constexpr int StatisticsRows = 12;
    using StatisticsTexts = std::array<QString, StatisticsRows>;
    void setStatisticsSource(std::function<StatisticsTexts()> source);

    // The three grouped cursor tools: the choice is shared by every window.
    void chooseTool(kv::AnnotationTool tool);
    // The tool in force on this chart: the shared one, or Normal while notes
    // cannot be placed here (a split chart).  The pointer follows it.
    kv::AnnotationTool tool() const;
    void setAnnotationsAllowed(bool allowed);
    // "Y Axis": asks for the range of the top (or only) axis.
    void changeYScale();
    // "Graph Option": the customisation dialog, the time range kept.
    void customize();
    // The chart's own customisation dialog was closed: when applied, asks
    // whether to keep the chart as the template.
    void customizeReported();
    // Writes the chart as the user's graph template; a failure is reported.
    bool saveTemplate();
    // A click on the chart in the text or cross tool.
    void placeAnnotation();
    // The mouse moved over the chart: value and time under it.
    void showReadout();
    // The chart reported a click on a data point.
    void markDataPoint(int subset, int point);
    // The chart reported a click (or double click) on an annotation.
    void annotationHotSpot(bool doubleClick, int index);
    void graphHotSpot();
    // "Set Annotation Color".
    void recolourAnnotations();
    // "Show MAX/MIN on Graph": a snapshot of the statistics on the chart.
    void showStatisticsTable();
    // Asks for a file and writes the chart as a picture (PNG, JPEG, PDF or
    // SVG by the extension); true when written.
    bool exportPicture(const QString &folder = {});

private:
    QWidget *dialogParent() const;
    void showToolPointer();

    kv::Chart &m_chart;
    kv::AnnotationCursor &m_cursor;
    quint32 &m_annotationColor;
    QLabel &m_readout;
    std::function<StatisticsTexts()> m_statistics;
    bool m_annotationsAllowed = true;
};

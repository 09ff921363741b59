#pragma once
// The complete, drawing-independent state of a chart: its samples and every
// setting, annotation and cursor.  The chart widget draws from it; the state
// block is its byte form (StoreChartState / LoadChartState).

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <QVector>

#include <map>
#include <vector>

namespace kv {

// Limits that keep a state (set through the API or loaded from bytes) sane.
constexpr int MaxChartSubsets = 256;
constexpr int MaxChartPoints = 20000000;        // per subset
constexpr qint64 MaxChartCells = 50000000;      // subsets x points
constexpr int MaxChartAxes = 16;
constexpr int MaxAnnotationIndex = 1000000;
constexpr int MaxVertLineIndex = 63;
constexpr int MaxTableRows = 256;
constexpr int MaxTableColumns = 64;
constexpr int MinTextSize = 10;                 // text sizes are percent of normal
constexpr int MaxTextSize = 1000;
constexpr double MinFontPointSize = 1.0;
constexpr double MaxFontPointSize = 200.0;

struct ChartFont {
    QString family;
    double pointSize = 9.0;
    bool bold = false;
    bool italic = false;

    QFont toFont() const;
    static ChartFont fromFont(const QFont &font);
    bool operator==(const ChartFont &o) const
    {
        return family == o.family && pointSize == o.pointSize && bold == o.bold && italic == o.italic;
    }
};

struct SubsetState {
    // X and Y of every point.  Implicitly shared: subsets that carry the same
    // time stamps share one X array until one of them is written.
    QVector<double> x;
    QVector<double> y;
    QString label;
    QRgb color = 0xff000000;
    int lineType = 0;               // LineTypes
};

struct YAxisState {
    int manualScaleControl = 0;     // ManualScaleControls
    double manualMin = 0.0;
    double manualMax = 1.0;
    QString label;
};

struct GraphAnnotationState {
    int type = 0;                   // GraphAnnotationTypes
    double x = 0.0;
    double y = 0.0;
    QRgb color = 0xff000000;
    QString text;
};

struct VertLineState {
    double x = 0.0;
    QRgb color = 0xff0000ff;
    int lineType = 0;               // LineTypes
    QString text;
};

struct TableAnnotationState {
    int rows = 0;
    int columns = 0;
    QVector<QString> texts;         // rows x columns, row by row
    QVector<QRgb> colors;           // rows x columns, row by row
    int x = 0;                      // pixels from the chart's top-left corner
    int y = 0;
    int location = 0;               // TALocations
    int moveable = 0;               // TAMoveables
    QRgb backColor = 0xffffffff;
    int border = 1;                 // TABorders
    int textSize = 100;
    bool headerRow = false;
    bool headerColumn = false;
    bool shown = false;
};

struct ChartState {
    // ---- data
    int points = 0;
    std::vector<SubsetState> subsets;
    double nullDataValueY = 9999.0;
    double lineGapThreshold = 1e20;

    // ---- series
    bool randomSubsetsUsed = false; // false: every subset is shown
    QVector<int> randomSubsetsToGraph;
    QVector<int> multiAxesSubsets;
    QVector<double> multiAxesProportions;
    int workingAxis = 0;

    // ---- axes
    int manualScaleControlX = 0;
    double manualMinX = 0.0;
    double manualMaxX = 1.0;
    std::vector<YAxisState> yAxes = std::vector<YAxisState>(1);
    int dateTimeMode = 0;           // DateTimeModes
    bool usingXDataII = true;
    QString xAxisLabel;
    int gridLineControl = 0;        // GridLineControls
    int gridStyle = 0;              // GridStyles
    int allowZooming = 3;           // ZoomStyles
    bool scrollingHorzZoom = true;
    bool scrollingVertZoom = true;

    // ---- look
    QString mainTitle;
    QString subTitle;
    ChartFont mainTitleFont;
    ChartFont subTitleFont;
    ChartFont labelFont;
    QRgb graphForeColor = 0xff008000;
    QRgb graphBackColor = 0xff000000;
    QRgb deskColor = 0xffc0c0c0;
    QRgb textColor = 0xff000000;
    int plottingMethod = 0;         // PlottingMethods
    bool showLegend = true;
    int legendLocation = 0;         // LegendLocations
    int dataPrecision = 3;          // DataPrecisions
    int allowDataLabels = 0;        // DataLabels
    int arrowCursor = 1;
    bool allowPopup = true;
    bool noHelp = false;
    bool allowBar = true;
    bool allowCustomization = true;
    bool allowExporting = true;
    bool allowAxisPage = true;
    bool allowFontPage = true;
    bool allowPage1 = true;
    bool allowPage2 = true;
    bool allowSubsetsPage = true;
    int defOrientation = 1;         // Orientation (landscape)
    bool allowDataHotSpots = false;
    bool allowGraphAnnotHotSpots = false;

    // ---- annotations
    std::map<int, GraphAnnotationState> annotations;
    bool showAnnotations = true;
    int annotationTextSize = 100;
    std::map<int, VertLineState> vertLines;
    bool showVertLines = true;
    bool vertLinesHot = true;
    int lineAnnotationTextSize = 100;
    TableAnnotationState table;

    ChartState();
    // Subset count and point count with the data arrays resized; new cells
    // get X 0 and the null value.
    void resize(int subsetCount, int pointCount);
    // Default label and colour of subset s.
    static QString defaultLabel(int s);
    static QRgb defaultColor(int s);
};

// Byte form of a state.  The block starts with a signature and a format
// version and carries a checksum of its body.
QByteArray StoreChartState(const ChartState &state);

// Parses a block into *out.  On failure returns false, leaves *out untouched
// and, when error is given, says what is wrong.  Never allocates more than a
// small multiple of the block's size.
bool LoadChartState(const QByteArray &block, ChartState *out, QString *error);

// CRC-32 (IEEE 802.3) of a byte range, used for the block's checksum.
quint32 Crc32(const char *data, qsizetype size);

// Offset and size of the block header fields, for tools that inspect blocks.
constexpr int ChartStateHeaderSize = 24;
constexpr int ChartStateChecksumOffset = 16;

} // namespace kv

#include "ui/graphtools.h"

#include "app/prompt.h"
#include "chart/model/graphtemplate.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "realtime/datetime.h"
#include "realtime/statistics.h"
#include "ui/noteeditdialog.h"
#include "ui/yscaledialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

using namespace kv;

namespace {

const QString InvalidSuffix = QStringLiteral(" is invalid.");
const QString SaveChangesQuestion = QStringLiteral("Do you want to save the changes ?");
const QString DeleteHint = QStringLiteral("Double click to delete.");
const QString PictureFilter =
    QStringLiteral("PNG image (*.png);;JPEG image (*.jpg *.jpeg);;PDF document (*.pdf);;SVG drawing (*.svg)");

// The statistics table: its size, where it sits and how it looks.
constexpr int TableRows = 15;
constexpr int TableColumns = 2;
constexpr int TableX = 550;
constexpr int TableY = 50;
constexpr int TableBackAlpha = 129;
constexpr int TableTextSize = 60;
const std::array<const char *, GraphTools::StatisticsRows> TableLabels = {
    "Start Time:", "Sampling:", "Data No:", "RH MAX:", "RH MIN:", "RH AVG:",
    "T1 MAX:",     "T1 MIN:",   "T1 AVG:",  "T2 MAX:", "T2 MIN:", "T2 AVG:"};

constexpr int CrossCursorSize = 32;

QColor ColorOf(quint32 rgb) { return QColor::fromRgb(QRgb(rgb | 0xff000000u)); }

// Inside the plotting rectangle, its edges included.
bool OnPlot(const QRect &plot, const QPoint &p)
{
    return p.x() >= plot.left() && p.x() <= plot.left() + plot.width() && p.y() >= plot.top() &&
           p.y() <= plot.top() + plot.height();
}

} // namespace

GraphTools::GraphTools(Chart &chart, AnnotationCursor &cursor, quint32 &annotationColor, QLabel &readout,
                       QObject *parent)
    : QObject(parent), m_chart(chart), m_cursor(cursor), m_annotationColor(annotationColor), m_readout(readout)
{
    connect(&chart, &Chart::OnClick, this, &GraphTools::placeAnnotation);
    connect(&chart, &Chart::OnMouseMove, this, &GraphTools::showReadout);
    connect(&chart, &Chart::OnDataHotSpot, this, &GraphTools::markDataPoint);
    connect(&chart, &Chart::OnGraphHotSpot, this, &GraphTools::graphHotSpot);
    connect(&chart, &Chart::OnGraphAnnotHotSpot, this, &GraphTools::annotationHotSpot);
    connect(&chart, &Chart::OnCustomizeDlg, this, &GraphTools::customizeReported);
    // A tool chosen in another window is this window's tool too.
    connect(&cursor, &AnnotationCursor::toolChanged, this, &GraphTools::showToolPointer);
}

QWidget *GraphTools::dialogParent() const { return m_chart.window(); }

QCursor GraphTools::CrossCursor()
{
    QPixmap picture(CrossCursorSize, CrossCursorSize);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    // A black cross with a white rim, centred where the cross is placed.
    const int c = CrossOffset;
    for (const auto &[color, width] : {std::pair{QColor(Qt::white), 3}, std::pair{QColor(Qt::black), 1}}) {
        painter.setPen(QPen(color, width));
        painter.drawLine(c - 8, c - 8, c + 8, c + 8);
        painter.drawLine(c - 8, c + 8, c + 8, c - 8);
    }
    painter.end();
    return QCursor(picture, 0, 0);
}

void GraphTools::setStatisticsSource(std::function<StatisticsTexts()> source) { m_statistics = std::move(source); }

void GraphTools::chooseTool(AnnotationTool tool)
{
    m_cursor.setTool(tool);
    showToolPointer();
}

AnnotationTool GraphTools::tool() const { return m_annotationsAllowed ? m_cursor.tool() : AnnotationTool::Normal; }

void GraphTools::setAnnotationsAllowed(bool allowed)
{
    m_annotationsAllowed = allowed;
    showToolPointer();
}

void GraphTools::showToolPointer()
{
    switch (tool()) {
    case AnnotationTool::Normal: m_chart.setArrowCursor(ArrowCursorNormal); break;
    case AnnotationTool::Text: m_chart.setArrowCursor(ArrowCursorText); break;
    case AnnotationTool::Cross: m_chart.setArrowCursor(CrossCursor()); break;
    }
}

// ---- scale, customisation, template ------------------------------------------------

void GraphTools::changeYScale()
{
    m_chart.setWorkingAxis(0);
    YScaleDialog dialog(dialogParent());
    double lower = m_chart.ManualMinY(), upper = m_chart.ManualMaxY();
    if (m_chart.ManualScaleControlY() != sgManualMinAndMax)
        m_chart.currentYRange(0, &lower, &upper);
    dialog.setRange(lower, upper);
    if (Prompts().exec(dialog) != QDialog::Accepted)
        return;
    // MAX first, then MIN: with both wrong the message names the MIN text.
    QString invalid;
    bool maximumOk = false, minimumOk = false;
    const int maximum = dialog.maximumText().toInt(&maximumOk);
    if (!maximumOk)
        invalid = dialog.maximumText();
    const int minimum = dialog.minimumText().toInt(&minimumOk);
    if (!minimumOk)
        invalid = dialog.minimumText();
    if (!maximumOk || !minimumOk) {
        Prompts().message(dialogParent(), invalid + InvalidSuffix);
        return;
    }
    // No order is enforced: the chart draws MIN > MAX as the same span.
    m_chart.setWorkingAxis(0);
    m_chart.setManualScaleControlY(sgManualMinAndMax);
    m_chart.setManualMinY(minimum);
    m_chart.setManualMaxY(maximum);
    // A zoom would hide the new range until it is undone: it ends here.
    m_chart.undoZoom();
    m_chart.resetImage();
    if (dialog.saveAsTemplate())
        saveTemplate();
}

void GraphTools::customize()
{
    const double minX = m_chart.ManualMinX();
    const double maxX = m_chart.ManualMaxX();
    m_chart.customize();
    m_chart.setManualScaleControlX(sgManualMinAndMax);
    m_chart.setManualMinX(minX);
    m_chart.setManualMaxX(maxX);
    m_chart.setWorkingAxis(0);
    m_chart.undoZoom();
    m_chart.resetImage();
}

void GraphTools::customizeReported()
{
    if (m_chart.DialogResult() != 1)
        return;
    if (Prompts().askYesNo(dialogParent(), SaveChangesQuestion) == Answer::Yes)
        saveTemplate();
}

bool GraphTools::saveTemplate()
{
    const QString path = UserGraphTemplatePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString error;
    if (!WriteGraphFile(m_chart, path, &error)) {
        Prompts().error(dialogParent(), error);
        return false;
    }
    return true;
}

// ---- notes, crosses, read-out ----------------------------------------------------------

void GraphTools::placeAnnotation()
{
    const AnnotationTool tool = this->tool();
    if (tool == AnnotationTool::Normal)
        return;
    // The offset position is tested, so a click just left of or above the
    // plot still places a note on its edge.
    QPoint at = m_chart.lastMousePosition();
    at += tool == AnnotationTool::Text ? QPoint(TextOffsetX, TextOffsetY) : QPoint(CrossOffset, CrossOffset);
    if (!OnPlot(m_chart.plottingRect(), at))
        return;
    double x = 0, y = 0;
    m_chart.pixelToAxis0(at, &x, &y);
    QString text;
    if (tool == AnnotationTool::Text) {
        NoteEditDialog editor(dialogParent());
        if (Prompts().exec(editor) != QDialog::Accepted)
            return;
        text = editor.text();
    }
    const int index = m_cursor.takeNextIndex();
    m_chart.setGraphAnnotationType(index, tool == AnnotationTool::Text ? sgAnnotNoSymbol : sgAnnotCross);
    m_chart.setGraphAnnotationX(index, x);
    m_chart.setGraphAnnotationY(index, y);
    m_chart.setGraphAnnotationText(index, text);
    m_chart.setGraphAnnotationColor(index, ColorOf(m_annotationColor));
    m_chart.resetImage();
}

void GraphTools::showReadout()
{
    const QPoint at = m_chart.lastMousePosition();
    if (!OnPlot(m_chart.plottingRect(), at))
        return;
    double x = 0, y = 0;
    m_chart.pixelToAxis0(at, &x, &y);
    m_readout.setText(ValueText(y) + QLatin1Char('@') + TimeText(x));
    m_readout.adjustSize();
}

void GraphTools::markDataPoint(int subset, int point)
{
    const int marker = AnnotationCursor::DataPointMarkerIndex;
    const double x = m_chart.XDataII(subset, point);
    const double y = m_chart.YDataII(subset, point);
    m_chart.setGraphAnnotationType(marker, sgAnnotCross);
    m_chart.setGraphAnnotationX(marker, x);
    m_chart.setGraphAnnotationY(marker, y);
    m_chart.setGraphAnnotationColor(marker, Qt::black);
    // The same value text as the read-out and the statistics boxes.
    m_chart.setGraphAnnotationText(marker, TimeText(x) + QLatin1Char('\r') + ValueText(y));
    m_chart.resetImage();
}

void GraphTools::annotationHotSpot(bool doubleClick, int index)
{
    if (!doubleClick)
        return;
    m_chart.setGraphAnnotationType(index, sgAnnotNoSymbol);
    m_chart.setGraphAnnotationText(index, QString());
    m_chart.resetImage();
}

void GraphTools::graphHotSpot() { m_chart.setToolTip(DeleteHint); }

void GraphTools::recolourAnnotations()
{
    QColor color = ColorOf(m_annotationColor);
    if (!Prompts().chooseColor(dialogParent(), color) || !color.isValid())
        return;
    for (int i = 0; i <= m_cursor.lastIndex(); ++i)
        m_chart.setGraphAnnotationColor(i, color);
    m_annotationColor = color.rgb() & 0xffffffu;
    m_chart.resetImage();
}

void GraphTools::showStatisticsTable()
{
    const StatisticsTexts texts = m_statistics ? m_statistics() : StatisticsTexts{};
    m_chart.setTARows(TableRows);
    m_chart.setTAColumns(TableColumns);
    for (int row = 0; row < TableRows; ++row) {
        const bool filled = row < StatisticsRows;
        m_chart.setTAText(row, 0, filled ? QLatin1String(TableLabels[size_t(row)]) : QString());
        m_chart.setTAText(row, 1, filled ? texts[size_t(row)] : QString());
        m_chart.setTAColor(row, 1, PEargb(255, 255, 0, 0));
    }
    m_chart.setTALocation(sgTAExplicit);
    m_chart.setTAX(TableX);
    m_chart.setTAY(TableY);
    m_chart.setTAMoveable(sgTAMoveableNoHotSpots);
    m_chart.setTABackColor(PEargb(TableBackAlpha, 255, 255, 255));
    m_chart.setTAHeaderRows(false);
    m_chart.setTAHeaderColumn(false);
    m_chart.setTABorder(sgInset);
    m_chart.setTATextSize(TableTextSize);
    m_chart.setShowTableAnnotation(true);
    m_chart.resetImage();
}

bool GraphTools::exportPicture(const QString &folder)
{
    FileDialogRequest request;
    request.caption = tr("Export Picture");
    request.folder = folder;
    request.filter = PictureFilter;
    request.defaultSuffix = QStringLiteral("png");
    const QString path = Prompts().saveFileName(dialogParent(), request);
    if (path.isEmpty())
        return false;
    QString error;
    if (!m_chart.exportImage(path, &error)) {
        Prompts().error(dialogParent(), error);
        return false;
    }
    return true;
}

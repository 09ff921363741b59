#include "ui/tableprinter.h"

#include "files/tableprint.h"
#include "files/texttable.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace kv {
namespace {

// The printout's font size: 8 points, given for a printer of 400 pixels per
// inch.  Taken literally in printer pixels it shrinks with the printer's
// resolution (5.3 pt at 600 dpi, 2.7 pt at 1200 dpi); taken as 8 points on
// paper the longest lines (about 140 characters) run off a portrait page.
// So the printout uses 8 points on paper, made smaller just as far as its
// widest line needs to fit the printable width.
constexpr double PrinterFontPoints = 8;
// Lines still wider at this size (cells far beyond their fields) are cut.
constexpr double MinPrinterFontPoints = 4;
// Each step of the fit makes the font at least this much smaller.
constexpr double FitStep = 0.995;
constexpr int MaxFitSteps = 40;
// Left edge of every line, in printer pixels.
constexpr int PrintLeftEdge = 1;

// The printout line with the most characters up to its last visible one
// (the font is fixed-pitch; the fill after the last column is not seen).
QString WidestLine(const TextTable &table)
{
    QString widest;
    for (int r = 0; r <= table.rows(); ++r) {
        QString line = TablePrintoutLine(table, r);
        qsizetype end = line.size();
        while (end > 0 && line.at(end - 1).isSpace())
            --end;
        if (end > widest.size())
            widest = line.left(end);
    }
    return widest;
}

QFont PrinterFont(QPrinter &printer, const TextTable &table)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    const QString widest = WidestLine(table);
    const double room = printer.width() - PrintLeftEdge;
    double points = PrinterFontPoints;
    for (int step = 0; step < MaxFitSteps; ++step) {
        font.setPointSizeF(points);
        const double width = QFontMetricsF(font, &printer).horizontalAdvance(widest);
        if (width <= room || points <= MinPrinterFontPoints)
            break;
        // Widths follow the size, up to the rounding of the font's metrics.
        points = qMax(MinPrinterFontPoints, qMin(points * FitStep, points * room / width));
    }
    font.setPointSizeF(points);
    return font;
}

} // namespace

bool PrintTable(QPrinter &printer, const TextTable &table)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QFont font = PrinterFont(printer, table);
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = metrics.boundingRect(PrintLineHeightSample).height();
    const PrintPageLayout layout = PrintPageLayout::forPage(printer.height(), lineHeight);

    const int lines = table.rows() + 1;   // the title row and the data rows
    for (int r = 0; r < lines; ++r) {
        if (r > 0 && layout.pageOf(r) != layout.pageOf(r - 1) && !printer.newPage())
            return false;
        // The layout gives the top of the text; the painter wants its baseline.
        painter.drawText(PrintLeftEdge, layout.topOf(r) + metrics.ascent(), TablePrintoutLine(table, r));
    }
    return painter.end();
}

} // namespace kv

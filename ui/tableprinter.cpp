#include "ui/tableprinter.h"

#include "files/tableprint.h"
#include "files/texttable.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace kv {
namespace {

constexpr int PrinterFontPoints = 8;
// Left edge of every line, in printer pixels.
constexpr int PrintLeftEdge = 1;

} // namespace

bool PrintTable(QPrinter &printer, const TextTable &table)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(PrinterFontPoints);
    font.setStyleHint(QFont::TypeWriter);
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

#pragma once
// The printout of a table: one line of fixed-width text per row, the title
// row first.  Each cell is followed by two spaces for every character it
// falls short of its field (17 characters for the time column, 10 for every
// other); longer cells are taken whole.  UI-free: the painter only draws the
// lines this layout places.

#include <QString>
#include <QStringList>

namespace kv {

class TextTable;

constexpr int PrintFieldWidth = 10;
constexpr int PrintTimeFieldWidth = 17;
constexpr int PrintTimeColumn = 2;
// The text whose height in the printer font is the line height.
const QString PrintLineHeightSample = QStringLiteral("String Grid Printout");

QString PrintoutLine(const QStringList &cells);
// Line `row` of a table's printout: 0 the titles, then the data rows.
QString TablePrintoutLine(const TextTable &table, int row);

// Where each printout line goes.  Lines start one line height below the top
// edge, so a page of height H holds H / h - 1 whole lines: the last one ends
// inside the page.
struct PrintPageLayout {
    int lineHeight = 1;
    int linesPerPage = 1;

    static PrintPageLayout forPage(int pageHeight, int lineHeight);
    int pageOf(int line) const { return line / linesPerPage; }
    // Top of the line's text on its page.
    int topOf(int line) const { return (line % linesPerPage) * lineHeight + lineHeight; }
    int pages(int lines) const { return lines <= 0 ? 0 : (lines - 1) / linesPerPage + 1; }
};

} // namespace kv

#include "files/tableprint.h"

#include "files/texttable.h"

namespace kv {

QString PrintoutLine(const QStringList &cells)
{
    QString line;
    for (int c = 0; c < cells.size(); ++c) {
        const QString &text = cells.at(c);
        const int width = c == PrintTimeColumn ? PrintTimeFieldWidth : PrintFieldWidth;
        line += text;
        if (text.size() < width)
            line += QString(2 * (width - text.size()), QLatin1Char(' '));
    }
    return line;
}

QString TablePrintoutLine(const TextTable &table, int row)
{
    if (row == 0)
        return PrintoutLine(TableTitles());
    QStringList cells;
    for (int c = 0; c < TableColumnCount; ++c)
        cells << table.cellText(row - 1, c);
    return PrintoutLine(cells);
}

PrintPageLayout PrintPageLayout::forPage(int pageHeight, int lineHeight)
{
    PrintPageLayout layout;
    layout.lineHeight = qMax(lineHeight, 1);
    layout.linesPerPage = qMax(pageHeight / layout.lineHeight - 1, 1);
    return layout;
}

} // namespace kv

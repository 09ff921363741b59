#pragma once
// Opening a text file as a table window and saving a table window as text,
// with the range and progress dialogs.

#include "files/texttable.h"
#include "ui/savegraph.h"

#include <QString>

#include <functional>

class QWidget;

namespace kv {

class TableWindow;

const QString OpenProgressCaption = QStringLiteral("Open Progress");

// Makes the window a table is read into (the main window puts it into its
// document area).
using TableWindowFactory = std::function<TableWindow *(const QString &caption)>;

// Reads a .txt or .csv file (the separator by the name) into a new table
// window captioned with the file's full path, with a progress dialog that
// counts the lines and can cancel.  A file that cannot be opened makes no
// window and is reported.
TableWindow *ImportTextTable(QWidget *parent, const QString &fileName, const TableWindowFactory &makeWindow);

// Asks for a file name and a range of rows and writes them as text (comma-
// separated when the name ends in "csv", else TAB-separated).  A file that
// cannot be written is reported with its name and the system's reason; an
// existing file is replaced only by a complete export.  The rows are taken
// by value: the table window may be closed while they are written.  When
// saved, `savedName` (if given) receives the file's name.
SaveOutcome ExportTableText(QWidget *parent, TextTable table, const QString &initialFolder,
                            QString *savedName = nullptr);

} // namespace kv

#pragma once
// Saving a graph: the save dialog's texts, the choice of writer by the
// name's extension, and the text export with its range and progress dialogs.

#include "files/filefilters.h"
#include "files/textfile.h"
#include "logger/scoperange.h"

#include <QChar>
#include <QString>

#include <functional>

class QIODevice;
class QWidget;

namespace kv {

class Chart;

// How a save ended.
enum class SaveOutcome {
    Saved,
    Cancelled,        // a dialog was cancelled (nothing, or the lines so far, written)
    Failed,           // reported to the user
    NothingWritten,   // a name with an extension that no writer takes
};

// Asks for a file name and writes the chart as a graph file (.ghf), TAB-
// separated text (.txt) or comma-separated text (.csv), by the extension of
// the chosen name in any case.  Failures are reported to the user.  When
// saved, `savedName` (if given) receives the file's name.
SaveOutcome SaveGraphToFile(QWidget *parent, Chart &chart, const QString &initialFolder,
                            QString *savedName = nullptr);

// Asks for the range of points, then writes them as text lines with a
// progress dialog that can cancel.  An existing file is replaced only by a
// complete export; a cancelled export keeps the lines written so far only
// when it replaces no file.
SaveOutcome ExportGraphText(QWidget *parent, const Chart &chart, const QString &fileName, QChar separator);

// Writes the lines of a range of rows or points to a device, calling
// afterLine after each (false: stop).
using RangeWriter =
    std::function<TextWriteResult(QIODevice &out, const RowRange &range, const std::function<bool()> &afterLine)>;

// The export shared by graphs and tables: asks for the range of `count` rows
// or points ("Save File"), then writes them with the "Saving Progress" dialog
// and its Cancel.  Failures are reported with the file's name and the
// system's reason.
SaveOutcome ExportTextLines(QWidget *parent, const QString &fileName, int count, const RangeWriter &write);

} // namespace kv

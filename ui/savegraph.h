#pragma once
// Saving a graph: the save dialog's texts, the choice of writer by the
// name's extension, and the text export with its range and progress dialogs.

#include <QChar>
#include <QLocale>
#include <QString>

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

const QString GraphDefaultExtension = QStringLiteral("GHF");

// The filter for saving a graph and for opening a single file ("Desc|*.A|..."):
// without the comma-separated entry when the decimal separator is a comma.
QString GraphFileFilter(const QLocale &locale = QLocale());

// Asks for a file name and writes the chart as a graph file (.ghf), TAB-
// separated text (.txt) or comma-separated text (.csv), by the extension of
// the chosen name in any case.  Failures are reported to the user.
SaveOutcome SaveGraphToFile(QWidget *parent, Chart &chart, const QString &initialFolder);

// Asks for the range of points, then writes them as text lines with a
// progress dialog that can cancel.  An existing file is replaced only by a
// complete export; a cancelled export keeps the lines written so far only
// when it replaces no file.
SaveOutcome ExportGraphText(QWidget *parent, const Chart &chart, const QString &fileName, QChar separator);

} // namespace kv

#include "ui/tablefiles.h"

#include "app/prompt.h"
#include "files/filefilters.h"
#include "files/texttable.h"
#include "ui/rangedialog.h"
#include "ui/tablewindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

namespace kv {
namespace {

// While a long operation runs, input (the Cancel button) and the count are
// handled this often.
constexpr int ProgressEventsIntervalMs = 50;

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

QString CannotText(const char *what, const QString &fileName, const QString &reason)
{
    return QCoreApplication::translate("kv", what).arg(Native(fileName), reason);
}

} // namespace

TableWindow *ImportTextTable(QWidget *parent, const QString &fileName, const TableWindowFactory &makeWindow)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Prompts().error(parent, CannotText("Cannot open \"%1\": %2", fileName, file.errorString()));
        return nullptr;
    }
    const QString caption = Native(QFileInfo(fileName).absoluteFilePath());
    QPointer<TableWindow> window = makeWindow ? makeWindow(caption) : new TableWindow(caption);
    if (!window)
        return nullptr;

    RangeDialog progress(parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.showProgress(OpenProgressCaption, QStringLiteral("0"), 0, true);
    progress.setProgressBarVisible(false);

    TextTable table;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const TextImportResult result = ReadTextTable(file, ImportSeparator(fileName), table, [&](int rows) {
        if (rows == 1 || sinceEvents.elapsed() >= ProgressEventsIntervalMs) {
            progress.setProgressText(QString::number(rows));
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        // The window may have been closed meanwhile.
        return window && !progress.cancelRequested();
    });
    progress.hide();
    if (result.failed)
        Prompts().error(parent, CannotText("Cannot read \"%1\": %2", fileName, result.error));
    if (!window)
        return nullptr;
    window->model().setTable(std::move(table));
    return window;
}

SaveOutcome ExportTableText(QWidget *parent, TextTable table, const QString &initialFolder, QString *savedName)
{
    FileDialogRequest request;
    request.folder = initialFolder;
    const QString filter = TableFileFilter();
    request.filter = QtFileFilter(filter);
    request.defaultSuffix = TableDefaultExtension;
    request.confirmOverwrite = true;
    request.typeChanged = [filter](int index, const QString &name) { return NameForFilter(filter, index, name); };
    const QString fileName = Prompts().saveFileName(parent, request);
    if (fileName.isEmpty())
        return SaveOutcome::Cancelled;

    const QChar separator = TableExportSeparator(fileName);
    const SaveOutcome outcome =
        ExportTextLines(parent, fileName, table.rows(),
                        [&](QIODevice &out, const RowRange &range, const std::function<bool()> &afterLine) {
                            return WriteTableText(out, table, range.from, range.to, separator, afterLine);
                        });
    if (outcome == SaveOutcome::Saved && savedName)
        *savedName = fileName;
    return outcome;
}

} // namespace kv

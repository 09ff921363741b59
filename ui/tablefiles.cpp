#include "ui/tablefiles.h"

#include "app/prompt.h"
#include "files/filefilters.h"
#include "ui/tablewindow.h"
#include "files/texttable.h"
#include "ui/rangedialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>

namespace kv {
namespace {

const QString SaveFileCaption = QStringLiteral("Save File");
const QString SavingProgressCaption = QStringLiteral("Saving Progress");
const QString SavingText = QStringLiteral("saving.....");
const QString InvalidIntegerText = QStringLiteral("invalid integer");

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
    progress.ShowProgress(OpenProgressCaption, QStringLiteral("0"), 0, true);
    progress.Progress1->hide();

    TextTable table;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const TextImportResult result = ReadTextTable(file, ImportSeparator(fileName), table, [&](int rows) {
        if (rows == 1 || sinceEvents.elapsed() >= ProgressEventsIntervalMs) {
            progress.SText1->setText(QString::number(rows));
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        // The window may have been closed meanwhile.
        return window && !progress.CancelRequested();
    });
    progress.hide();
    if (result.failed)
        Prompts().error(parent, CannotText("Cannot read \"%1\": %2", fileName, result.error));
    if (!window)
        return nullptr;
    window->model().setTable(std::move(table));
    return window;
}

SaveOutcome ExportTableText(QWidget *parent, const TextTable &table, const QString &initialFolder)
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

    const int rows = table.rows();
    RowRange range;
    {
        RangeDialog dialog(parent);
        dialog.PrepareRangeSelection(SaveFileCaption, rows);
        if (Prompts().exec(dialog) != RangeDialog::ResultOk)
            return SaveOutcome::Cancelled;
        range = dialog.RangeRequest(rows);
        if (!range.valid) {
            Prompts().message(parent, InvalidIntegerText);
            return SaveOutcome::Cancelled;
        }
    }

    RangeDialog progress(parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.ShowProgress(SavingProgressCaption, SavingText, qMax(range.to - range.from + 1, 0), true);

    // The new text goes to a temporary file that replaces the old one only
    // when complete.
    const bool replacing = QFileInfo::exists(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        progress.hide();
        Prompts().error(parent, CannotText("Cannot create \"%1\": %2", fileName, file.errorString()));
        return SaveOutcome::Failed;
    }
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    bool first = true;
    const TableTextResult written =
        WriteTableText(file, table, range.from, range.to, TableExportSeparator(fileName), [&] {
            progress.StepProgress();
            if (first || sinceEvents.elapsed() >= ProgressEventsIntervalMs) {
                first = false;
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            return !progress.CancelRequested();
        });
    progress.hide();

    if (written.failed) {
        file.cancelWriting();
        Prompts().error(parent, CannotText("Cannot write \"%1\": %2", fileName, written.error));
        return SaveOutcome::Failed;
    }
    // A cancelled export keeps the lines written so far, unless they would
    // replace a complete file.
    if (written.cancelled && replacing) {
        file.cancelWriting();
        return SaveOutcome::Cancelled;
    }
    if (!file.commit()) {
        Prompts().error(parent, CannotText("Cannot write \"%1\": %2", fileName, file.errorString()));
        return SaveOutcome::Failed;
    }
    return written.cancelled ? SaveOutcome::Cancelled : SaveOutcome::Saved;
}

} // namespace kv

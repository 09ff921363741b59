#include "ui/savegraph.h"

#include "app/prompt.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "files/textfile.h"
#include "ui/rangedialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>

namespace kv {
namespace {

const QString SaveFileCaption = QStringLiteral("Save File");
const QString SavingProgressCaption = QStringLiteral("Saving Progress");
const QString SavingText = QStringLiteral("saving.....");
const QString InvalidIntegerText = QStringLiteral("invalid integer");

// While an export runs, input (the Cancel button) is handled this often.
constexpr int ProgressEventsIntervalMs = 50;

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

} // namespace

SaveOutcome SaveGraphToFile(QWidget *parent, Chart &chart, const QString &initialFolder, QString *savedName)
{
    FileDialogRequest request;
    request.folder = initialFolder;
    const QString filter = GraphFileFilter();
    request.filter = QtFileFilter(filter);
    request.defaultSuffix = GraphDefaultExtension;
    request.confirmOverwrite = true;
    request.typeChanged = [filter](int index, const QString &name) { return NameForFilter(filter, index, name); };
    const QString fileName = Prompts().saveFileName(parent, request);
    if (fileName.isEmpty())
        return SaveOutcome::Cancelled;

    const QString extension = QFileInfo(fileName).suffix().toLower();
    SaveOutcome outcome = SaveOutcome::NothingWritten;
    if (extension == QLatin1String("ghf")) {
        QString error;
        if (!WriteGraphFile(chart, fileName, &error)) {
            Prompts().error(parent, error);
            return SaveOutcome::Failed;
        }
        outcome = SaveOutcome::Saved;
    } else if (extension == QLatin1String("txt")) {
        outcome = ExportGraphText(parent, chart, fileName, QLatin1Char(TabSeparator));
    } else if (extension == QLatin1String("csv")) {
        outcome = ExportGraphText(parent, chart, fileName, QLatin1Char(CommaSeparator));
    }
    if (outcome == SaveOutcome::Saved && savedName)
        *savedName = fileName;
    return outcome;
}

SaveOutcome ExportGraphText(QWidget *parent, const Chart &chart, const QString &fileName, QChar separator)
{
    // The points to write.  The arrays are implicitly shared copies: a sample
    // recorded while the export runs does not reach them.
    const ChartState &state = chart.state();
    const int points = state.points;
    QVector<double> x;
    std::array<QVector<double>, GraphChannelCount> y;
    GraphTextColumns columns;
    columns.points = points;
    if (!state.subsets.empty()) {
        x = state.subsets[0].x;
        columns.x = x.constData();
    }
    for (size_t s = 0; s < y.size() && s < state.subsets.size(); ++s) {
        y[s] = state.subsets[s].y;
        columns.y[s] = y[s].constData();
    }

    const TextFileFormat format = TextFileFormat::fromLocale(separator);
    return ExportTextLines(parent, fileName, points,
                           [&](QIODevice &out, const RowRange &range, const std::function<bool()> &afterLine) {
                               return WriteGraphText(out, columns, range.from, range.to, format, afterLine);
                           });
}

SaveOutcome ExportTextLines(QWidget *parent, const QString &fileName, int count, const RangeWriter &write)
{
    RowRange range;
    {
        RangeDialog dialog(parent);
        dialog.prepareRangeSelection(SaveFileCaption, count);
        if (Prompts().exec(dialog) != RangeDialog::ResultOk)
            return SaveOutcome::Cancelled;
        range = dialog.rangeRequest(count);
        if (!range.valid) {
            Prompts().message(parent, InvalidIntegerText);
            return SaveOutcome::Cancelled;
        }
    }

    RangeDialog progress(parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.showProgress(SavingProgressCaption, SavingText, qMax(range.to - range.from + 1, 0), true);

    // The text goes to a temporary file that replaces an old one only when
    // complete.
    const bool replacing = QFileInfo::exists(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        progress.hide();
        Prompts().error(parent, QCoreApplication::translate("kv", "Cannot create \"%1\": %2")
                                    .arg(Native(fileName), file.errorString()));
        return SaveOutcome::Failed;
    }

    QElapsedTimer sinceEvents;
    sinceEvents.start();
    bool first = true;
    const TextWriteResult written = write(file, range, [&] {
        progress.stepProgress();
        // Let the Cancel button be pressed now and then.
        if (first || sinceEvents.elapsed() >= ProgressEventsIntervalMs) {
            first = false;
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        return !progress.cancelRequested();
    });
    progress.hide();

    if (written.failed) {
        file.cancelWriting();
        Prompts().error(parent, QCoreApplication::translate("kv", "Cannot write \"%1\": %2")
                                    .arg(Native(fileName), written.error));
        return SaveOutcome::Failed;
    }
    // A cancelled export keeps the lines written so far, unless they would
    // replace a complete file.
    if (written.cancelled && replacing) {
        file.cancelWriting();
        return SaveOutcome::Cancelled;
    }
    if (!file.commit()) {
        Prompts().error(parent, QCoreApplication::translate("kv", "Cannot write \"%1\": %2")
                                    .arg(Native(fileName), file.errorString()));
        return SaveOutcome::Failed;
    }
    return written.cancelled ? SaveOutcome::Cancelled : SaveOutcome::Saved;
}

} // namespace kv

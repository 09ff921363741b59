#include "ui/collectioncommands.h"

#include "app/prompt.h"
#include "files/filefilters.h"
#include "logger/loggerdata.h"
#include "ui/collectionchooser.h"
#include "ui/savegraph.h"

namespace kv {

bool SaveCollection(QWidget *parent, LoggerData &data, const QString &initialFolder)
{
    if (data.image().isEmpty())
        return false;
    FileDialogRequest request;
    request.filter = QtFileFilter(SaveCollectionFilter);
    request.defaultSuffix = CollectionExtension;
    request.folder = initialFolder;
    const QString fileName = Prompts().saveFileName(parent, request);
    if (fileName.isEmpty())
        return false;
    const SaveCollectionResult result = data.saveCollection(fileName);
    if (result.outcome == SaveCollectionResult::Failed)
        Prompts().error(parent, result.error);
    return result.outcome == SaveCollectionResult::Saved;
}

bool OpenCollection(QWidget *parent, LoggerData &data, const QString &initialFolder,
                    const std::function<void()> &ensureWindow)
{
    if (ensureWindow)
        ensureWindow();
    FileDialogRequest request;
    request.filter = QtFileFilter(OpenCollectionFilter);
    request.defaultSuffix = CollectionExtension;
    request.folder = initialFolder;
    const QString fileName = Prompts().openFileName(parent, request);
    if (fileName.isEmpty())
        return false;
    const LoggerLoad load = data.openCollection(fileName);
    if (!load.workingCopy.folderError.isEmpty())
        Prompts().error(parent, load.workingCopy.folderError);
    return load.shown();
}

bool SaveLoggerGraph(QWidget *parent, LoggerData &data, Chart &chart, const QString &initialFolder)
{
    CollectionChooser chooser(parent);
    chooser.setWindowTitle(SaveChooserCaption);
    switch (Prompts().exec(chooser)) {
    case CollectionChooser::Collection:
        return SaveCollection(parent, data, initialFolder);
    case CollectionChooser::SingleFile:
        return SaveGraphToFile(parent, chart, initialFolder) == SaveOutcome::Saved;
    default:
        return false;
    }
}

} // namespace kv

#include "ui/collectioncommands.h"

#include "app/prompt.h"
#include "files/filefilters.h"
#include "logger/loggerdata.h"
#include "ui/collectionchooser.h"
#include "ui/savegraph.h"

#include <QPushButton>

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

namespace {

const QString OpenChooserCaption = QStringLiteral("Open File");

} // namespace

LoggerCollectionHooks::LoggerCollectionHooks(LoggerData &data, std::function<QString()> initialFolder,
                                             std::function<void()> ensureWindow)
    : m_data(data), m_initialFolder(std::move(initialFolder)), m_ensureWindow(std::move(ensureWindow))
{
}

int LoggerCollectionHooks::chooseSave(QWidget *parent)
{
    CollectionChooser chooser(parent);
    chooser.setWindowTitle(SaveChooserCaption);
    return Prompts().exec(chooser);
}

int LoggerCollectionHooks::chooseOpen(QWidget *parent, const QString &singleFileText)
{
    CollectionChooser chooser(parent);
    chooser.setWindowTitle(OpenChooserCaption);
    chooser.collectionButton()->setText(OpenCollectionButtonText);
    chooser.singleFileButton()->setText(singleFileText);
    return Prompts().exec(chooser);
}

void LoggerCollectionHooks::saveCollection(QWidget *parent) { SaveCollection(parent, m_data, m_initialFolder()); }

void LoggerCollectionHooks::openCollection(QWidget *parent)
{
    OpenCollection(parent, m_data, m_initialFolder(), m_ensureWindow);
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

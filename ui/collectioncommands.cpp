#include "ui/collectioncommands.h"

#include "app/prompt.h"
#include "files/filefilters.h"
#include "logger/loggerdata.h"
#include "ui/collectionchooser.h"
#include "ui/savegraph.h"

#include <QPushButton>

namespace kv {

bool SaveCollection(QWidget *parent, LoggerData &data, const QString &initialFolder, QString *savedName)
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
    if (result.outcome != SaveCollectionResult::Saved)
        return false;
    if (savedName)
        *savedName = fileName;
    return true;
}

bool OpenCollection(QWidget *parent, LoggerData &data, const QString &initialFolder,
                    const std::function<void()> &ensureWindow, QString *openedName)
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
    if (load.shown() && openedName)
        *openedName = fileName;
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

QString LoggerCollectionHooks::saveCollection(QWidget *parent)
{
    QString fileName;
    SaveCollection(parent, m_data, m_initialFolder(), &fileName);
    return fileName;
}

QString LoggerCollectionHooks::openCollection(QWidget *parent)
{
    QString fileName;
    OpenCollection(parent, m_data, m_initialFolder(), m_ensureWindow, &fileName);
    return fileName;
}

bool SaveLoggerGraph(QWidget *parent, LoggerData &data, Chart &chart, const QString &initialFolder,
                     QString *savedName)
{
    CollectionChooser chooser(parent);
    chooser.setWindowTitle(SaveChooserCaption);
    switch (Prompts().exec(chooser)) {
    case CollectionChooser::Collection:
        return SaveCollection(parent, data, initialFolder, savedName);
    case CollectionChooser::SingleFile:
        return SaveGraphToFile(parent, chart, initialFolder, savedName) == SaveOutcome::Saved;
    default:
        return false;
    }
}

} // namespace kv

#pragma once
// The collection file commands of the "DataLogger" window: saving the data
// sets on show as a collection (.REC), opening one, and the save command's
// choice between the collection and the selected data set as a single file.
// Questions, messages and file dialogs go through the prompt service.

#include "ui/filecommands.h"

#include <QString>

#include <functional>

class QWidget;

namespace kv {

class Chart;
class LoggerData;

const QString SaveCollectionFilter = QStringLiteral("Data Set Collection file(*.REC,only for KV3917)|*.REC");
const QString OpenCollectionFilter = QStringLiteral("Data Sets Collection (*.REC)|*.REC");
const QString CollectionExtension = QStringLiteral("REC");
const QString SaveChooserCaption = QStringLiteral("Save File");

// Asks for a file name and saves the image of the data sets on show.  A
// failure is reported with the file name and the reason; the data stays
// unsaved then.  With no data on show there is nothing to save and no
// dialog.  True when the file was written; `savedName` (if given) then
// receives its name.
bool SaveCollection(QWidget *parent, LoggerData &data, const QString &initialFolder,
                    QString *savedName = nullptr);

// `ensureWindow` restores or creates the "DataLogger" window first (also
// when the dialog is then cancelled).  A file that cannot be read or is not
// a logger image changes nothing and shows nothing; a temp folder that can
// be neither found nor created is reported with its path.  True when the
// collection's data sets are now on show; `openedName` (if given) then
// receives the file's name.
bool OpenCollection(QWidget *parent, LoggerData &data, const QString &initialFolder,
                    const std::function<void()> &ensureWindow, QString *openedName = nullptr);

// The save command on the "DataLogger" window: the chooser captioned "Save
// File", then the collection or the chart (the selected data set) as a graph
// or text file.  True when something was saved; `savedName` (if given) then
// receives the file's name.
bool SaveLoggerGraph(QWidget *parent, LoggerData &data, Chart &chart, const QString &initialFolder,
                     QString *savedName = nullptr);

// The collection branch of the main window's save and open commands: the
// chooser, then the collection of the logger data on show.
class LoggerCollectionHooks : public CollectionHooks {
public:
    LoggerCollectionHooks(LoggerData &data, std::function<QString()> initialFolder,
                          std::function<void()> ensureWindow);
    int chooseSave(QWidget *parent) override;
    int chooseOpen(QWidget *parent, const QString &singleFileText) override;
    QString saveCollection(QWidget *parent) override;
    QString openCollection(QWidget *parent) override;

private:
    LoggerData &m_data;
    std::function<QString()> m_initialFolder;
    std::function<void()> m_ensureWindow;
};

} // namespace kv

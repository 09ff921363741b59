#pragma once
// The main window's file commands: save and open what the active child
// window shows, print it (with a preview), choose the printer's page, and
// draw a table window as a new graph.  The main window lends its document
// area through DocumentHost; the data set collection branch of the save
// and open choosers comes from the logger through CollectionHooks.

#include "ui/savegraph.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <memory>

class QPrinter;
class QWidget;
class GraphWindow;

namespace kv {

class TableWindow;
class TextTable;

// What the commands need of the main window.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;
    // The parent of dialogs and messages.
    virtual QWidget *dialogParent() = 0;
    // The active child window (a graph window, a table window, the panel),
    // or nullptr.
    virtual QWidget *activeDocument() const = 0;
    // The folder the file dialogs start in.
    virtual QString initialFolder() const = 0;
    // A new graph window in the document area, not shown yet.
    virtual GraphWindow *createGraphWindow(const QString &caption) = 0;
    // A new table window in the document area, shown.
    virtual TableWindow *createTableWindow(const QString &caption) = 0;
    // Shows a child window in its normal state.
    virtual void showDocument(QWidget *window) = 0;
    // Where a graph opened from a file goes, in the document area: top left,
    // as wide as the main window, as high as its client area less 40.
    virtual QRect openedGraphGeometry() const = 0;
};

// The collection branch of the save and open commands (the logger's).
class CollectionHooks {
public:
    enum Choice { Collection = 1, Cancelled = 2, SingleFile = 7 };
    virtual ~CollectionHooks() = default;
    // The chooser of the "DataLogger" window's save: a collection or the
    // shown data set as a single file.
    virtual int chooseSave(QWidget *parent) = 0;
    // The chooser of the open command; `singleFileText` is the single-file
    // button's text.
    virtual int chooseOpen(QWidget *parent, const QString &singleFileText) = 0;
    // Both return the collection file's name, or an empty name when nothing
    // was saved or opened.
    virtual QString saveCollection(QWidget *parent) = 0;
    virtual QString openCollection(QWidget *parent) = 0;
};

class FileCommands : public QObject {
    Q_OBJECT
public:
    explicit FileCommands(DocumentHost &host, QObject *parent = nullptr);
    ~FileCommands() override;

    // Not owned; nullptr: the "DataLogger" window saves as a single graph
    // and the open command goes straight to a single file.
    void setCollectionHooks(CollectionHooks *hooks) { m_collections = hooks; }

    // The printer the print commands use and the page setup changes.
    QPrinter &printer();

public slots:
    // File > Save: a table as text, a graph as a graph file or text, the
    // "DataLogger" graph also as a collection; nothing for other windows.
    void save();
    // File > Open: a collection or a single file.
    void open();
    // Asks for one file and opens it: a graph file as a graph window, a text
    // file as a table window.  Returns the new window or nullptr.
    QWidget *openSingleDataFile();
    // File > Print: a table as fixed-width text, a graph through the chart's
    // customisation and print dialogs; nothing for other windows.
    void print();
    // File > Print Preview: the same for a table or a graph, on screen.
    void printPreview();
    // File > Printer Setup: the page setup of the printer the commands use.
    void printerSetup();
    // "Output Tabular to graph": the active table window as a new graph.
    GraphWindow *outputTableToGraph();

public:
    // Opens a graph file as a new window, reading the whole file first: a
    // file that cannot be read or is no graph file makes no window and is
    // reported with its name and the reason.
    GraphWindow *openGraphFile(const QString &fileName);

signals:
    // The save command wrote this graph window's chart to a file.
    void graphSaved(GraphWindow *window);
    // The save or open command wrote or opened this file (a graph, text or
    // collection file).
    void fileUsed(const QString &fileName);

public:
    // Opens a text file as a new table window.
    TableWindow *openTextFile(const QString &fileName);

private:
    void printGraph(GraphWindow &window);
    bool printTableDialog(const TextTable &table);

    DocumentHost &m_host;
    CollectionHooks *m_collections = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    bool m_pageChosen = false;   // the page setup chose the orientation
};

// Texts of the commands.
const QString NoDataToGraphText = QStringLiteral("No data to graph !");
const QString GraphingProgressCaption = QStringLiteral("Graphing Progress");
const QString GraphingText = QStringLiteral("graphing.....");

} // namespace kv

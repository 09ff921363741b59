// The main window as a desktop program: keyboard shortcuts, accessible names,
// files opened from the command line, by dropping or from the recent-files
// list.
#include "ui/mainwindow.h"

#include "app/prompt.h"
#include "app/recentfiles.h"
#include "app/settings.h"
#include "live/displaytext.h"
#include "ui/accessibility.h"
#include "ui/filecommands.h"
#include "ui/graphwindow.h"
#include "ui/tablewindow.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

const QString RecentFilesText = QStringLiteral("&Recent Files");
const QString UnknownFileText = QStringLiteral(" cannot be opened: it is no graph (.ghf), text (.txt, .csv) "
                                               "or data logger (.rec) file.");
const QString NotCollectionText = QStringLiteral(" cannot be opened as a data logger collection.");
const QString NoOpenerText = QStringLiteral(" cannot be opened: this kind of file is not supported here.");

QStringList LocalFiles(const QMimeData *data)
{
    QStringList files;
    if (!data)
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

void MainWindow::setUpDesktop()
{
    m_openAction->setShortcut(QKeySequence::Open);
    m_saveAction->setShortcut(QKeySequence::Save);
    m_printAction->setShortcut(QKeySequence::Print);
    // Some platforms bind no key to Quit; Ctrl+Q is the common one there.
    m_exitAction->setShortcut(QKeySequence(QKeySequence::Quit).isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q)
                                                                  : QKeySequence(QKeySequence::Quit));
    m_runAction->setShortcut(QKeySequence(Qt::Key_F5));
    m_stopAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m_contentsAction->setShortcut(QKeySequence(Qt::Key_F1));

    kv::NameControls(this);
    m_portBox->setAccessibleName(QStringLiteral("Serial port"));
    m_statusPanels[1]->setAccessibleName(kv::ConnectionStateText(m_statusPanels[1]->text()));

    // File > Recent m_files, above the separator before Exit.
    m_recentFilesMenu = new QMenu(RecentFilesText, m_fileMenu);
    m_recentFilesMenu->setObjectName(QStringLiteral("RecentFiles1"));
    const QList<QAction *> fileActions = m_fileMenu->actions();
    const qsizetype exitAt = fileActions.indexOf(m_exitAction);
    m_fileMenu->insertMenu(exitAt > 0 ? fileActions.at(exitAt - 1) : m_exitAction, m_recentFilesMenu);
    m_recentSettings.reset(kv::OpenUserSettings());
    m_recentFiles = std::make_unique<kv::RecentFiles>(*m_recentSettings);
    fillRecentFilesMenu();

    // Graph and text files open as File > Open opens them, with its reports.
    if (m_files) {
        m_openers.graph = [this](const QString &file) { return m_files->openGraphFile(file) != nullptr; };
        m_openers.table = [this](const QString &file) { return m_files->openTextFile(file) != nullptr; };
    }
    // A collection opens in the "DataLogger" window as the open command's
    // collection branch does; a file it cannot show is reported here, since
    // a file named outside the program gives no other sign of its failure.
    m_openers.collection = [this](const QString &file) {
        ensureLoggerGraph();
        const kv::LoggerLoad load = m_loggerData.openCollection(file);
        if (!load.workingCopy.folderError.isEmpty())
            kv::Prompts().error(this, load.workingCopy.folderError);
        else if (!load.shown())
            kv::Prompts().error(this, QDir::toNativeSeparators(file) + NotCollectionText
                                          + (load.readError.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(load.readError)));
        return load.shown();
    };
    setAcceptDrops(true);
}

void MainWindow::fillRecentFilesMenu()
{
    m_recentFilesMenu->clear();
    const QStringList files = m_recentFiles->files();
    for (qsizetype i = 0; i < files.size(); ++i) {
        // "&1 name" ... "&8 name": the number is the mnemonic.
        QString shown = QDir::toNativeSeparators(files.at(i));
        shown.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *action = m_recentFilesMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        action->setData(files.at(i));
        connect(action, &QAction::triggered, this, [this, file = files.at(i)] { openFiles({file}); });
    }
    m_recentFilesMenu->setEnabled(!files.isEmpty());
}

void MainWindow::addRecentFile(const QString &fileName)
{
    m_recentFiles->add(fileName);
    fillRecentFilesMenu();
}

bool MainWindow::openDataFile(const QString &fileName)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    const std::function<bool(const QString &)> *opener = nullptr;
    switch (kv::DataFileKindOf(fileName)) {
    case kv::DataFileKind::Graph: opener = &m_openers.graph; break;
    case kv::DataFileKind::Table: opener = &m_openers.table; break;
    case kv::DataFileKind::Collection: opener = &m_openers.collection; break;
    case kv::DataFileKind::Unknown:
        kv::Prompts().error(this, shown + UnknownFileText);
        return false;
    }
    if (!*opener) {
        kv::Prompts().error(this, shown + NoOpenerText);
        return false;
    }
    if (!(*opener)(fileName))
        return false;
    addRecentFile(fileName);
    return true;
}

void MainWindow::openFiles(const QStringList &fileNames)
{
    for (const QString &fileName : fileNames)
        openDataFile(fileName);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened after the drop has ended: an error report must not hold the
    // drag source's drop waiting.
    QMetaObject::invokeMethod(this, [this, files] { openFiles(files); }, Qt::QueuedConnection);
}

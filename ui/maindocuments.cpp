#include "ui/maindocuments.h"

#include "ui/graphwindow.h"
#include "ui/mainwindow.h"
#include "ui/tablewindow.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolButton>

QWidget *MainWindowDocuments::dialogParent() { return &m_main; }

QWidget *MainWindowDocuments::activeDocument() const
{
    QMdiSubWindow *sub = m_main.m_mdiArea->activeSubWindow();
    return sub ? sub->widget() : nullptr;
}

QString MainWindowDocuments::initialFolder() const { return m_main.initialFolder(); }

GraphWindow *MainWindowDocuments::createGraphWindow(const QString &caption)
{
    auto *graph = new GraphWindow(caption, m_main.recorder(), m_main.annotationCursor(), m_main.settings());
    m_main.addGraphWindow(graph);
    return graph;
}

kv::TableWindow *MainWindowDocuments::createTableWindow(const QString &caption)
{
    auto *table = new kv::TableWindow(caption);
    QObject::connect(table, &kv::TableWindow::activated, m_main.m_tableToGraphButton,
                     [button = m_main.m_tableToGraphButton] { button->setEnabled(true); });
    QMdiSubWindow *sub = m_main.addChild(table);
    sub->show();
    return table;
}

void MainWindowDocuments::showDocument(QWidget *window)
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget())) {
        sub->showNormal();
        m_main.m_mdiArea->setActiveSubWindow(sub);
    }
    window->show();
}

QRect MainWindowDocuments::openedGraphGeometry() const { return QRect(QPoint(0, 0), m_main.m_mdiArea->size()); }

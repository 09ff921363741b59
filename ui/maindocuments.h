#pragma once
// The main window's document area as the file commands see it: the active
// child window, new graph and table windows, where opened graphs go.

#include "ui/filecommands.h"

class MainWindow;

class MainWindowDocuments : public kv::DocumentHost {
public:
    explicit MainWindowDocuments(MainWindow &main) : m_main(main) {}

    QWidget *dialogParent() override;
    QWidget *activeDocument() const override;
    QString initialFolder() const override;
    GraphWindow *createGraphWindow(const QString &caption) override;
    // Activating a table window enables "Output Tabular to graph".
    kv::TableWindow *createTableWindow(const QString &caption) override;
    void showDocument(QWidget *window) override;
    // The whole document area (the main window's client area without its
    // tool bar and status bar).
    QRect openedGraphGeometry() const override;

private:
    MainWindow &m_main;
};

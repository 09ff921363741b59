#pragma once
// The table window: rows of text (a text file opened as a table) in eight
// titled columns, the first numbering the rows.  Read-only; cells can be
// selected in ranges and columns resized; the row numbers stay in view at
// the left while the other columns scroll.  Activating it tells the main
// window that "Output Tabular to graph" applies.

#include "files/tablemodel.h"

#include <QWidget>

class QTableView;

namespace kv {

class TableWindow : public QWidget {
    Q_OBJECT
public:
    explicit TableWindow(const QString &caption, QWidget *parent = nullptr);

    TextTableModel &model() { return m_model; }
    const TextTable &table() const { return m_model.table(); }
    QTableView *grid() const { return m_grid; }

    // The client size the window opens with.
    static constexpr int DefaultWidth = 387;
    static constexpr int DefaultHeight = 413;
    static constexpr int RowHeight = 18;

signals:
    // The window became the active one.
    void activated();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void hideDataColumnsOfNumbers();

    TextTableModel m_model;
    QTableView *m_grid = nullptr;
    // The row numbers kept at the left over the grid's column 0.
    QTableView *m_numbers = nullptr;
    bool m_watchingArea = false;
};

} // namespace kv

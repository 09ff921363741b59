#pragma once
// The item model of a table window: a thin read-only model over a TextTable.
// Column 0 numbers the rows from 1; the titles are the horizontal header.

#include "files/texttable.h"

#include <QAbstractTableModel>

namespace kv {

class TextTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TextTableModel(QObject *parent = nullptr);

    const TextTable &table() const { return m_table; }
    // Replaces the rows.
    void setTable(TextTable table);
    // Rows as a string grid knows them: the title row 0 and the data rows.
    int gridRowCount() const { return m_table.rows() + 1; }
    // A table whose first date cell is empty holds no data.
    bool hasData() const { return !m_table.field(0, 1).isEmpty(); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    TextTable m_table;
    QStringList m_titles;
};

} // namespace kv

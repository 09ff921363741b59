#include "files/tablemodel.h"

namespace kv {

TextTableModel::TextTableModel(QObject *parent) : QAbstractTableModel(parent), m_titles(TableTitles()) {}

void TextTableModel::setTable(TextTable table)
{
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_table.rows(); }

int TextTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : TableColumnCount;
}

QVariant TextTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return m_table.cellText(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() == 0)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size())
        return m_titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TextTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The number column is fixed: it cannot be selected.
    if (index.column() == 0)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace kv

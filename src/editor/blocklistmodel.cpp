#include "blocklistmodel.h"

#include <algorithm>
#include <climits>

namespace vornex {

BlockListModel::BlockListModel(std::function<std::string_view()> text, QObject *parent)
    : QAbstractListModel(parent), m_text(std::move(text))
{}

void BlockListModel::rebuild()
{
    beginResetModel();
    ScanBlocks(m_text(), m_list);
    m_empty = false;
    endResetModel();
}

int BlockListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || m_empty)
        return 0;
    // Qt's views count rows in int; an outline that long shows its first INT_MAX entries.
    return static_cast<int>(std::min<std::size_t>(m_list.size(), INT_MAX));
}

QVariant BlockListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole))
        return {};
    const std::string entry = m_list.entry(static_cast<std::size_t>(index.row()), m_text());
    return QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
}

Qt::ItemFlags BlockListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

} // namespace vornex

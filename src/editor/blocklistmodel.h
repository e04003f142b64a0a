#pragma once

#include "outline/scanblocks.h"

#include <QAbstractListModel>

#include <string_view>

namespace vornex {

// The block list's entries, served straight from the scan's runs: a rebuild resets the model
// and makes no string per entry until an entry is drawn.
class BlockListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // Rescans text and replaces every entry.
    void rebuild(std::string_view text);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    BlockList m_list;
    bool m_empty = true;
};

} // namespace vornex

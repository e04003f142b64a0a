#pragma once

#include "outline/scanblocks.h"

#include <QAbstractListModel>

#include <functional>
#include <string_view>

namespace vornex {

// The block list's entries, served straight from the scan's runs over the editor text: a
// rebuild resets the model and makes no string until an entry is drawn. The list is rebuilt on
// every change of the text, so the runs always match the text that text() returns.
class BlockListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    BlockListModel(std::function<std::string_view()> text, QObject *parent);

    // Rescans the text and replaces every entry.
    void rebuild();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::function<std::string_view()> m_text;
    BlockList m_list;
    bool m_empty = true;
};

} // namespace vornex

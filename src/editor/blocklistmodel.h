#pragma once

#include "scanblocks.h"

#include <QAbstractListModel>

#include <functional>
#include <string_view>

class QComboBox;

namespace vornex {

// The block list's entries, served straight from the scan's runs over the editor text: a
// rebuild resets the model and makes no string until an entry is drawn. The list is rebuilt on
// every change of the text, so the runs always match the text that text() returns. An entry's
// display text is its full text; its tool tip and accessible text are cut to kLongestTip.
class BlockListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The most characters of an entry that its tool tip and accessible text carry.
    static constexpr qsizetype kLongestTip = 1000;

    BlockListModel(std::function<std::string_view()> text, QObject *parent);

    // Rescans the text and replaces every entry.
    void rebuild();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // As QAbstractItemModel::match; a search for entries that start with a text (what the list
    // does as the user types) reads no more of each entry than that text is long.
    QModelIndexList match(const QModelIndex &start, int role, const QVariant &value, int hits,
                          Qt::MatchFlags flags) const override;

private:
    // The first characters of entry row of text, at least length of them where it has them.
    QString entryStart(std::string_view text, int row, qsizetype length) const;

    std::function<std::string_view()> m_text;
    BlockList m_list;
    bool m_empty = true;
};

// Makes box show model: the popup opens at once whatever the entries hold (no entry is measured,
// every entry has the size of any other, the popup has the box's width) and entries are drawn
// elided, in the list and in the box.
void showBlockList(QComboBox *box, BlockListModel *model);

} // namespace vornex

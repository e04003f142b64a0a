#pragma once

#include "outline.h"

#include <QAbstractListModel>

#include <string>

class QComboBox;

namespace vornex {

// The block list's entries, served straight from the outline of the editor text: an entry becomes
// a string only when it is asked for, and then from no more of the text than it needs. The
// outline follows the changes of the text it is told of; a rebuild announces only the entries
// that changed, and nothing when none did. An entry's display text is its full text; its tool
// tip and accessible text are cut to kLongestTip.
class BlockListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The most characters of an entry that its tool tip and accessible text carry.
    static constexpr qsizetype kLongestTip = 1000;

    BlockListModel(Outline::Text text, QObject *parent);

    // Notes a change of the text: at position, removed bytes are giving way to inserted bytes.
    void noteChange(qsizetype position, qsizetype removed, qsizetype inserted);
    // Brings the entries up to the text after the changes noted.
    void rebuild();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // As QAbstractItemModel::match; a search for entries that start with a text (what the list
    // does as the user types) reads no more of each entry than that text is long.
    QModelIndexList match(const QModelIndex &start, int role, const QVariant &value, int hits,
                          Qt::MatchFlags flags) const override;

    // Entry row, or when it is longer than length characters its first and last characters
    // around "…", length in all; made from no more of the text than that.
    QString entryCut(int row, qsizetype length) const;

private:
    // The run of entry row in the text as it is now.
    BlockList::Run run(int row) const;
    // Appends to name the bytes of entry row from its start, at least limit of them where it
    // has them; true when that is all of them.
    bool readStart(int row, std::string &name, std::size_t limit) const;
    // A reset that leaves the box's choice alone, for a change of both entries and their count.
    void quietReset();

    Outline::Text m_text;
    Outline m_outline;
    // The entry count the views were told of.
    int m_rows = 0;
    bool m_built = false;
    bool m_resetting = false;
    // The last entry asked for whole, until the entries change.
    mutable int m_wholeRow = -1;
    mutable QString m_whole;
};

// Makes box show model: the popup opens at once whatever the entries hold (no entry is measured,
// every entry has the size of any other, the popup has the box's width) and entries are drawn
// elided from no more of their text than shows, in the list and in the box. A screen reader
// hears the chosen entry as the box's name, cut like the entries' accessible text.
void showBlockList(QComboBox *box, BlockListModel *model);

} // namespace vornex

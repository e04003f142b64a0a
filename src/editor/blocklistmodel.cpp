#include "blocklistmodel.h"

#include <QApplication>
#include <QComboBox>
#include <QListView>
#include <QProxyStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <climits>

namespace vornex {

namespace {

// text, or when it is longer than length characters its first and last characters around "…",
// length in all.
QString cutMiddle(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype head = qMax<qsizetype>(length - 1, 0) / 2;
    qsizetype tail = text.size() - (qMax<qsizetype>(length - 1, 0) - head);
    // A surrogate pair stays whole or goes whole.
    if (head > 0 && text.at(head - 1).isHighSurrogate())
        --head;
    if (tail < text.size() && text.at(tail).isLowSurrogate())
        ++tail;
    return text.left(head) + QChar(0x2026) + text.mid(tail);
}

// The characters of an entry drawn in width pixels: twice what fits of average characters, so
// that eliding the rest, not this cut, decides what shows.
qsizetype drawnLength(int width, const QFontMetrics &metrics)
{
    return 2 * (qMax(width, 0) / qMax(metrics.averageCharWidth(), 1)) + 2;
}

// The block list's box and popup on the application's style.
class BlockListStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *data) const override
    {
        // The menu-like popup widens itself to its widest entry, measuring the full text of every
        // entry on each opening, and nested entries overlap, so that text grows with the square
        // of the source. The plain list has the box's width.
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *box = qstyleoption_cast<const QStyleOptionComboBox *>(option);
        if (element != CE_ComboBoxLabel || !box) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The box draws the chosen entry unelided, laying out all of it.
        QStyleOptionComboBox shown(*box);
        const int width =
            subControlRect(CC_ComboBox, box, SC_ComboBoxEditField, widget).width() - 2;
        shown.currentText = box->fontMetrics.elidedText(
            cutMiddle(box->currentText, drawnLength(width, box->fontMetrics)), Qt::ElideMiddle,
            width);
        QProxyStyle::drawControl(element, &shown, painter, widget);
    }
};

// Draws an entry of any length at the cost of a short one: from no more of its text than the
// space it is drawn in can show, elided in the middle; every entry has the same size.
class BlockListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        // One line, whatever the entry holds; the list takes the width of the view.
        QStyleOptionViewItem line = option;
        line.features |= QStyleOptionViewItem::HasDisplay;
        line.text = QStringLiteral("X");
        const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        return {0, style->sizeFromContents(QStyle::CT_ItemViewItem, &line, QSize(), option.widget)
                       .height()};
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text =
            cutMiddle(option->text, drawnLength(option->rect.width(), option->fontMetrics));
    }
};

} // namespace

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
    const QString text = QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
    return role == Qt::DisplayRole ? text : cutMiddle(text, kLongestTip);
}

Qt::ItemFlags BlockListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

QString BlockListModel::entryStart(std::string_view text, int row, qsizetype length) const
{
    if (m_list.misaligned())
        return QString::fromUtf8(kMisalignedEntry.data(), qsizetype(kMisalignedEntry.size()));
    // Cut to the text as it is now: between a change and the rebuild the runs are the old text's.
    const BlockList::Run run = m_list.run(std::size_t(row));
    const std::size_t end = std::min(run.end, text.size());
    const std::size_t begin = std::min(run.begin, end);
    std::string bytes;
    // A character takes at most four bytes of UTF-8 and two UTF-16 units.
    appendBlockName(bytes, text.substr(begin, end - begin), 4 * std::size_t(length) + 4);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QModelIndexList BlockListModel::match(const QModelIndex &start, int role, const QVariant &value,
                                      int hits, Qt::MatchFlags flags) const
{
    // Nested entries overlap, so reading every entry whole would read the square of the text.
    if (role != Qt::DisplayRole || (flags & Qt::MatchTypeMask) != Qt::MatchStartsWith ||
        (flags & Qt::MatchRecursive))
        return QAbstractListModel::match(start, role, value, hits, flags);
    const QString typed = value.toString();
    const Qt::CaseSensitivity sensitivity =
        flags & Qt::MatchCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const std::string_view text = m_text();
    const int rows = rowCount();
    QModelIndexList found;
    for (int n = 0; n < rows && (hits < 0 || found.size() < hits); ++n) {
        int row = qMax(start.row(), 0) + n;
        if (row >= rows && !(flags & Qt::MatchWrap))
            break;
        row %= rows;
        if (entryStart(text, row, typed.size()).startsWith(typed, sensitivity))
            found << index(row);
    }
    return found;
}

void showBlockList(QComboBox *box, BlockListModel *model)
{
    // Before the popup exists: it asks the box's style how to look.
    auto *style = new BlockListStyle;
    style->setParent(box);
    box->setStyle(style);
    box->setModel(model);
    box->setItemDelegate(new BlockListDelegate(box));
    if (auto *list = qobject_cast<QListView *>(box->view()))
        list->setUniformItemSizes(true);
    box->view()->setTextElideMode(Qt::ElideMiddle);
    box->view()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

} // namespace vornex

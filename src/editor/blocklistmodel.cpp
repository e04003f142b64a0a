#include "blocklistmodel.h"

#include "appearance.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QListView>
#include <QProxyStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <climits>

namespace vornex {

namespace {

// The first characters of head and the last of tail around "…", length in all: text cut in the
// middle when both are text. A surrogate pair stays whole or goes whole.
QString joinCut(const QString &head, const QString &tail, qsizetype length)
{
    qsizetype headLength = qMax<qsizetype>(length - 1, 0) / 2;
    qsizetype tailStart = tail.size() - (qMax<qsizetype>(length - 1, 0) - headLength);
    if (headLength > 0 && head.at(headLength - 1).isHighSurrogate())
        --headLength;
    if (tailStart < tail.size() && tail.at(tailStart).isLowSurrogate())
        ++tailStart;
    return head.left(headLength) + QChar(0x2026) + tail.mid(tailStart);
}

// text, or when it is longer than length characters its first and last characters around "…",
// length in all.
QString cutMiddle(const QString &text, qsizetype length)
{
    return text.size() <= length ? text : joinCut(text, text, length);
}

// A character takes at most four bytes of UTF-8 and two UTF-16 units: so many bytes of a name
// hold more than length characters whenever the name has them.
std::size_t bytesFor(qsizetype length)
{
    return 4 * std::size_t(qMax<qsizetype>(length, 0)) + 4;
}

QString fromBytes(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// The text is read in pieces of this many bytes where an entry's start or end is enough.
constexpr std::size_t kPiece = 4096;

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
    // The entries hold nothing but their text; only what can show of it is made.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        const auto *model = qobject_cast<const BlockListModel *>(index.model());
        if (!model) {
            QStyledItemDelegate::initStyleOption(option, index);
            return;
        }
        option->index = index;
        option->features |= QStyleOptionViewItem::HasDisplay;
        option->text =
            model->entryCut(index.row(), drawnLength(option->rect.width(), option->fontMetrics));
        option->styleObject = nullptr;
    }
};

// The box as Qt's own combo box shows it to a screen reader, but that its name, the chosen entry,
// is that entry's accessible text: cut, where an entry may be millions of characters long.
class BlockListAccessible : public QAccessibleWidget
{
public:
    explicit BlockListAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        QString text;
        // On Linux the name of a combo box is its value, the chosen entry.
        if ((t == QAccessible::Name || t == QAccessible::Value) && box()->currentIndex() >= 0)
            text = box()
                       ->model()
                       ->index(box()->currentIndex(), 0)
                       .data(Qt::AccessibleTextRole)
                       .toString();
        else if (t == QAccessible::Accelerator)
            text = QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        return text.isEmpty() ? QAccessibleWidget::text(t) : text;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

QAccessibleInterface *blockListAccessible(const QString &key, QObject *object)
{
    auto *box = qobject_cast<QComboBox *>(object);
    if (key == u"QComboBox" && box && qobject_cast<BlockListModel *>(box->model()))
        return new BlockListAccessible(box);
    return nullptr;
}

} // namespace

BlockListModel::BlockListModel(Outline::Text text, QObject *parent)
    : QAbstractListModel(parent), m_text(std::move(text))
{}

void BlockListModel::noteChange(qsizetype position, qsizetype removed, qsizetype inserted)
{
    m_outline.change(std::size_t(position), std::size_t(removed), std::size_t(inserted));
}

void BlockListModel::rebuild()
{
    if (!m_built) {
        m_built = true;
        m_outline.reset(m_text.bytes(0, m_text.length()));
        quietReset();
        return;
    }
    const Outline::Change change = m_outline.update(m_text);
    // Qt's views count rows in int; an outline that long shows its first INT_MAX entries.
    const std::size_t limit = INT_MAX;
    if (change.removed == 0 && change.inserted == 0)
        return;
    m_wholeRow = -1;
    if (change.first + std::max(change.removed, change.inserted) > limit) {
        quietReset();
    } else if (change.removed == change.inserted) {
        emit dataChanged(index(int(change.first)), index(int(change.first + change.removed) - 1));
    } else if (change.removed == 0) {
        beginInsertRows({}, int(change.first), int(change.first + change.inserted) - 1);
        m_rows = int(std::min(m_outline.size(), limit));
        endInsertRows();
    } else if (change.inserted == 0) {
        beginRemoveRows({}, int(change.first), int(change.first + change.removed) - 1);
        m_rows = int(std::min(m_outline.size(), limit));
        endRemoveRows();
    } else {
        quietReset();
    }
}

void BlockListModel::quietReset()
{
    // A combo box chooses its first enabled entry after a reset of its model, and the list
    // chooses none: no entry is enabled while the model resets.
    m_resetting = true;
    beginResetModel();
    m_rows = int(std::min<std::size_t>(m_outline.size(), INT_MAX));
    endResetModel();
    m_resetting = false;
}

int BlockListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

BlockList::Run BlockListModel::run(int row) const
{
    // Cut to the text as it is now: between a change and the rebuild the runs are the old text's.
    const BlockList::Run run = m_outline.run(std::size_t(row));
    const std::size_t end = std::min(run.end, m_text.length());
    return {std::min(run.begin, end), end};
}

QVariant BlockListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole))
        return {};
    if (role != Qt::DisplayRole)
        return entryCut(index.row(), kLongestTip);
    if (m_outline.misaligned())
        return QString::fromLatin1(kMisalignedEntry);
    // The chosen entry is asked for whole on every paint of the box, and may be megabytes long:
    // it is kept until the entries change.
    if (index.row() != m_wholeRow) {
        const BlockList::Run whole = run(index.row());
        std::string name;
        appendBlockName(name, m_text.bytes(whole.begin, whole.end - whole.begin));
        m_whole = fromBytes(name);
        m_wholeRow = index.row();
    }
    return m_whole;
}

Qt::ItemFlags BlockListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return (m_resetting ? Qt::NoItemFlags : Qt::ItemIsEnabled) | Qt::ItemIsSelectable |
           Qt::ItemNeverHasChildren;
}

bool BlockListModel::readStart(int row, std::string &name, std::size_t limit) const
{
    if (m_outline.misaligned()) {
        name = kMisalignedEntry;
        return true;
    }
    const BlockList::Run from = run(row);
    for (std::size_t at = from.begin; at < from.end;) {
        if (name.size() >= limit)
            return false;
        at += appendBlockName(name, m_text.bytes(at, std::min(from.end - at, kPiece)), limit);
    }
    return true;
}

QString BlockListModel::entryCut(int row, qsizetype length) const
{
    std::string bytes;
    const bool whole = readStart(row, bytes, bytesFor(length));
    const QString head = fromBytes(bytes);
    if (whole)
        return cutMiddle(head, length);
    // Longer than length: its last bytes too, read back from its end. The first of them may
    // be the end of a character cut in two, which the last length characters do not reach.
    const BlockList::Run to = run(row);
    bytes.clear();
    for (std::size_t at = to.end; at > to.begin && bytes.size() < bytesFor(length);) {
        const std::size_t from = at - std::min(at - to.begin, kPiece);
        const std::string_view piece = m_text.bytes(from, at - from);
        for (auto c = piece.rbegin(); c != piece.rend() && bytes.size() < bytesFor(length); ++c) {
            if (*c != '\r' && *c != '\n')
                bytes.push_back(*c);
        }
        at = from;
    }
    std::reverse(bytes.begin(), bytes.end());
    return joinCut(head, fromBytes(bytes), length);
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
    const int rows = rowCount();
    QModelIndexList found;
    std::string bytes;
    for (int n = 0; n < rows && (hits < 0 || found.size() < hits); ++n) {
        int row = qMax(start.row(), 0) + n;
        if (row >= rows && !(flags & Qt::MatchWrap))
            break;
        row %= rows;
        bytes.clear();
        readStart(row, bytes, bytesFor(typed.size()));
        if (fromBytes(bytes).startsWith(typed, sensitivity))
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
    installAccessibleFactory(blockListAccessible);
    // An interface made for the box before it showed the list is made anew, by the factory.
    QAccessibleInterface *made = QAccessible::queryAccessibleInterface(box);
    if (made && !dynamic_cast<BlockListAccessible *>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    box->setItemDelegate(new BlockListDelegate(box));
    if (auto *list = qobject_cast<QListView *>(box->view()))
        list->setUniformItemSizes(true);
    box->view()->setTextElideMode(Qt::ElideMiddle);
    box->view()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

} // namespace vornex

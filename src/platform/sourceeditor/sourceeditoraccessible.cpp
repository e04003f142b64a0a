#include "sourceeditoraccessible.h"

#include "sourceeditor.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace vornex {

namespace {

using Sci = QsciScintillaBase;

class SourceEditorAccessible : public QAccessibleWidget,
                               public QAccessibleTextInterface,
                               public QAccessibleEditableTextInterface
{
public:
    explicit SourceEditorAccessible(SourceEditor *editor)
        : QAccessibleWidget(editor, QAccessible::EditableText)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = !editor()->isReadOnly();
        state.readOnly = editor()->isReadOnly();
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    // QAccessibleTextInterface
    void selection(int index, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        const long start = send(Sci::SCI_GETSELECTIONSTART);
        const long end = send(Sci::SCI_GETSELECTIONEND);
        if (index == 0 && start != end) {
            *startOffset = editor()->offsetFromPosition(start);
            *endOffset = editor()->offsetFromPosition(end);
        }
    }
    int selectionCount() const override
    {
        return send(Sci::SCI_GETSELECTIONSTART) != send(Sci::SCI_GETSELECTIONEND) ? 1 : 0;
    }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int index) override
    {
        if (index == 0)
            send(Sci::SCI_SETEMPTYSELECTION, send(Sci::SCI_GETCURRENTPOS));
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            send(Sci::SCI_SETSEL, position(startOffset), position(endOffset));
    }
    int cursorPosition() const override
    {
        return editor()->offsetFromPosition(send(Sci::SCI_GETCURRENTPOS));
    }
    void setCursorPosition(int offset) override { send(Sci::SCI_GOTOPOS, position(offset)); }
    QString text(int startOffset, int endOffset) const override
    {
        return range(position(startOffset), position(endOffset));
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        long start, end;
        if (!bounds(position(offset), type, &start, &end) || start == 0 ||
            !bounds(send(Sci::SCI_POSITIONBEFORE, start), type, &start, &end))
            return noText(startOffset, endOffset);
        return textIn(start, end, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        long start, end;
        if (!bounds(position(offset), type, &start, &end) || end >= send(Sci::SCI_GETLENGTH) ||
            !bounds(end, type, &start, &end))
            return noText(startOffset, endOffset);
        return textIn(start, end, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        long start, end;
        if (!bounds(position(offset), type, &start, &end))
            return noText(startOffset, endOffset);
        return textIn(start, end, startOffset, endOffset);
    }
    int characterCount() const override { return editor()->characterCount(); }
    QRect characterRect(int offset) const override
    {
        const long at = position(offset);
        const long next = send(Sci::SCI_POSITIONAFTER, at);
        const int x = send(Sci::SCI_POINTXFROMPOSITION, 0, at);
        const int y = send(Sci::SCI_POINTYFROMPOSITION, 0, at);
        const long line = send(Sci::SCI_LINEFROMPOSITION, at);
        const int nextX = send(Sci::SCI_POINTXFROMPOSITION, 0, next);
        const int width = next > at && send(Sci::SCI_LINEFROMPOSITION, next) == line && nextX > x
                              ? nextX - x
                              : send(Sci::SCI_TEXTWIDTH, 0, " ");
        const QRect rect(x, y, width, send(Sci::SCI_TEXTHEIGHT, line));
        return rect.translated(editor()->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = editor()->viewport()->mapFromGlobal(point);
        const long at = send(Sci::SCI_POSITIONFROMPOINTCLOSE, local.x(), local.y());
        return at < 0 ? -1 : editor()->offsetFromPosition(at);
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        send(Sci::SCI_SCROLLRANGE, position(endIndex), position(startIndex));
    }
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        // One look for the whole text: no lexer, no marks.
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override
    {
        const long start = position(startOffset);
        send(Sci::SCI_DELETERANGE, start, position(endOffset) - start);
    }
    void insertText(int offset, const QString &text) override
    {
        editor()->SendScintilla(Sci::SCI_INSERTTEXT, static_cast<uintptr_t>(position(offset)),
                                text.toUtf8().constData());
    }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        const QByteArray bytes = text.toUtf8();
        send(Sci::SCI_SETTARGETRANGE, position(startOffset), position(endOffset));
        editor()->SendScintilla(Sci::SCI_REPLACETARGET, static_cast<uintptr_t>(bytes.size()),
                                bytes.constData());
    }

private:
    SourceEditor *editor() const { return static_cast<SourceEditor *>(widget()); }
    long send(unsigned int message, long w = 0, long l = 0) const
    {
        return editor()->SendScintilla(message, static_cast<unsigned long>(w), l);
    }
    long send(unsigned int message, long w, const char *l) const
    {
        return editor()->SendScintilla(message, static_cast<uintptr_t>(w), l);
    }
    long position(int offset) const
    {
        // -1 stands for the end of the text.
        return offset < 0 ? send(Sci::SCI_GETLENGTH) : editor()->positionFromOffset(offset);
    }
    QString range(long start, long end) const
    {
        if (end <= start)
            return {};
        QByteArray bytes(end - start + 1, '\0');
        editor()->SendScintilla(Sci::SCI_GETTEXTRANGE, start, end, bytes.data());
        return QString::fromUtf8(bytes.constData(), end - start);
    }
    QString textIn(long start, long end, int *startOffset, int *endOffset) const
    {
        *startOffset = editor()->offsetFromPosition(start);
        *endOffset = editor()->offsetFromPosition(end);
        return range(start, end);
    }
    static QString noText(int *startOffset, int *endOffset)
    {
        *startOffset = *endOffset = -1;
        return {};
    }
    // The byte range of the character, word, line (also for sentence and paragraph) or whole
    // text at a byte position; false where there is none.
    bool bounds(long at, QAccessible::TextBoundaryType type, long *start, long *end) const
    {
        const long length = send(Sci::SCI_GETLENGTH);
        switch (type) {
        case QAccessible::CharBoundary:
            *start = at;
            *end = send(Sci::SCI_POSITIONAFTER, at);
            return *end > at;
        case QAccessible::WordBoundary:
            *start = send(Sci::SCI_WORDSTARTPOSITION, at, 1);
            *end = send(Sci::SCI_WORDENDPOSITION, at, 1);
            if (*start == *end) { // between words: the word and the blanks after it before at
                *end = send(Sci::SCI_WORDSTARTPOSITION, at, 0L);
                *start = send(Sci::SCI_WORDSTARTPOSITION, std::max(0L, *end - 1), 1);
                *end = at;
            }
            return *end > *start;
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary:
        case QAccessible::LineBoundary: {
            const long line = send(Sci::SCI_LINEFROMPOSITION, at);
            *start = send(Sci::SCI_POSITIONFROMLINE, line);
            *end = line + 1 < send(Sci::SCI_GETLINECOUNT)
                       ? send(Sci::SCI_POSITIONFROMLINE, line + 1)
                       : length;
            return *end > *start || length == 0;
        }
        case QAccessible::NoBoundary:
            *start = 0;
            *end = length;
            return true;
        }
        return false;
    }
};

} // namespace

QAccessibleInterface *sourceEditorAccessible(const QString &className, QObject *object)
{
    // The class name first: Qt also asks for objects that are being destroyed, which must not
    // be touched.
    if (className == QLatin1StringView(SourceEditor::staticMetaObject.className()) && object)
        return new SourceEditorAccessible(static_cast<SourceEditor *>(object));
    return nullptr;
}

} // namespace vornex

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
        return editor()->readableText(position(startOffset), position(endOffset));
    }
    // The unit of text that ends where the one at offset starts; none before the first.
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                             int *endOffset) const override
    {
        long start, end;
        if (!unitAt(offset, type, &start, &end))
            return noText(startOffset, endOffset);
        if (start > 0)
            bounds(send(Sci::SCI_POSITIONBEFORE, start), type, &start, &end);
        else
            end = start;
        return textIn(start, end, startOffset, endOffset);
    }
    // The unit of text that starts where the one at offset ends; none after the last.
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                            int *endOffset) const override
    {
        long start, end;
        if (!unitAt(offset, type, &start, &end))
            return noText(startOffset, endOffset);
        if (end < send(Sci::SCI_GETLENGTH))
            bounds(end, type, &start, &end);
        else
            start = end;
        return textIn(start, end, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset,
                         int *endOffset) const override
    {
        long start, end;
        if (!unitAt(offset, type, &start, &end))
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
    QString textIn(long start, long end, int *startOffset, int *endOffset) const
    {
        *startOffset = editor()->offsetFromPosition(start);
        *endOffset = start == end ? *startOffset : editor()->offsetFromPosition(end);
        return editor()->readableText(start, end);
    }
    static QString noText(int *startOffset, int *endOffset)
    {
        *startOffset = *endOffset = -1;
        return {};
    }
    // The unit at an offset of the text, its end included; false for an offset outside it.
    bool unitAt(int offset, QAccessible::TextBoundaryType type, long *start, long *end) const
    {
        if (offset < 0 || offset > characterCount())
            return false;
        bounds(position(offset), type, start, end);
        return true;
    }
    // Whether Scintilla skips the character at a byte position between words.
    bool blank(long at) const
    {
        const auto byte = static_cast<unsigned char>(send(Sci::SCI_GETCHARAT, at));
        if (byte < 0x80)
            return byte == ' ' || (byte < 0x20 && byte != '\r' && byte != '\n');
        const QList<uint> character =
            editor()->readableText(at, send(Sci::SCI_POSITIONAFTER, at)).toUcs4();
        switch (QChar::category(character.value(0))) {
        case QChar::Separator_Space:
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
            return true;
        default:
            return false;
        }
    }
    // The byte range of the unit of text that holds a byte position: its character; its word,
    // from where Ctrl+Right stops (the start of a run of letters and digits, of punctuation or
    // of line breaks) to where it stops next, so that blanks go with the word before them, as
    // in the words of AT-SPI and ATK; its line with the line break (also for sentence and
    // paragraph); or the whole text. At the end of the text, the last line or nothing.
    void bounds(long at, QAccessible::TextBoundaryType type, long *start, long *end) const
    {
        const long length = send(Sci::SCI_GETLENGTH);
        switch (type) {
        case QAccessible::CharBoundary:
            *start = at;
            *end = send(Sci::SCI_POSITIONAFTER, at);
            return;
        case QAccessible::WordBoundary:
            *start = *end = at;
            if (at == length)
                return;
            // The run that holds at, or the one before the blanks that hold it.
            *start = send(Sci::SCI_WORDSTARTPOSITION, send(Sci::SCI_POSITIONAFTER, at), 0L);
            if (*start > 0 && blank(at))
                *start = send(Sci::SCI_WORDSTARTPOSITION, *start, 0L);
            *end = send(Sci::SCI_WORDENDPOSITION, *start, 0L);
            if (*end < length && blank(*end))
                *end = send(Sci::SCI_WORDENDPOSITION, *end, 0L);
            return;
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary:
        case QAccessible::LineBoundary: {
            const long line = send(Sci::SCI_LINEFROMPOSITION, at);
            *start = send(Sci::SCI_POSITIONFROMLINE, line);
            *end = line + 1 < send(Sci::SCI_GETLINECOUNT)
                       ? send(Sci::SCI_POSITIONFROMLINE, line + 1)
                       : length;
            return;
        }
        case QAccessible::NoBoundary:
            *start = 0;
            *end = length;
            return;
        }
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

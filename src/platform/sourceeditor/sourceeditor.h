#pragma once

#include <Qsci/qsciscintilla.h>

#include <QKeySequence>

#include <string_view>

namespace vornex {

// The source editor: Scintilla holding the file's bytes exactly as they are on disk.
//
// Scintilla tells it of changes only before they happen (the modification event mask holds
// SC_MOD_BEFOREINSERT and SC_MOD_BEFOREDELETE alone), so QsciScintilla::textChanged is never
// emitted and QScintilla's own accessibility code, which counts characters from the start of the
// text on every insertion and deletion, never runs; the editor's accessible interface is the
// IDE's own (sourceeditoraccessible.h).
class SourceEditor : public QsciScintilla
{
    Q_OBJECT

public:
    explicit SourceEditor(QWidget *parent = nullptr);
    ~SourceEditor() override;

    // The whole text in place, without a copy; valid until the next change of the text or the
    // next return to the event loop.
    std::string_view bytesView() const;
    // Up to length bytes of the text from position on, in place, valid as bytesView() is; Scintilla
    // moves its gap only when the range spans it, so a read near the caret costs what it reads.
    std::string_view bytesView(std::size_t position, std::size_t length) const;
    // Replaces the whole text with bytes and makes Enter insert the line break they use.
    void setRawBytes(std::string_view bytes);
    // Removes key from the editor's own key bindings so that a menu shortcut gets it.
    void releaseKey(const QKeySequence &key);

    // Style 0 and the spare styles of long lines (below) together; so does a change of font.
    void setColor(const QColor &color) override;
    void setPaper(const QColor &color) override;

    // Character offsets (code points) and byte positions: the same in a text of ASCII only,
    // otherwise through Scintilla's line character index (allocated on first use) plus a count
    // within one line.
    int offsetFromPosition(qsizetype position);
    qsizetype positionFromOffset(int offset);
    int characterCount();
    // The text between two byte positions as a screen reader reads it: a NUL byte, which ends
    // any string on the accessibility bus, as U+2400, so that the rest of the text is not lost.
    QString readableText(qsizetype start, qsizetype end);

signals:
    // Once after one or more changes of the text: after the editor has painted them, and in any
    // case before a mouse button, wheel, key or input method event reaches another object; keys
    // for the editor itself that arrive before the paint add to the batch.
    void textBatchChanged();
    // Before every change of the text: at position, removed bytes are about to give way to
    // inserted bytes (one of the two is 0).
    void textChanging(qsizetype position, qsizetype removed, qsizetype inserted);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    class InputWatch;

    // Emits textBatchChanged now if a change of the text has not been announced yet.
    void announceTextChange();
    void beforeModification(int position, int type, int length);
    void afterModifications();
    void afterPaint();
    void restyleLongLines();
    void restyleLine(long line, qsizetype lo, qsizetype hi);
    void copyStyleToSpares();
    // The text, paper, selection and caret colours of the widget's palette.
    void followPalette();
    void flushAccessibleChange();
    void countInsertedBytes();
    void notifyAccessible();

    InputWatch *m_inputWatch;
    bool m_textChanged = false;
    bool m_afterChangePosted = false;
    bool m_afterPaintPosted = false;
    bool m_indexAllocated = false;
    // Bytes of the text outside ASCII; while there are none, offsets are byte positions.
    qsizetype m_nonAscii = 0;
    // The last insertion, whose bytes are counted once they are in the text.
    qsizetype m_uncountedPosition = 0;
    qsizetype m_uncountedLength = 0;
    // The byte range changed since the last restyling, in the current text; empty when lo > hi.
    qsizetype m_dirtyLo = 1;
    qsizetype m_dirtyHi = 0;
    // A change reported to accessibility once it is done: its kind, offset, and text.
    enum class Pending { None, Insert, Remove } m_pending = Pending::None;
    int m_pendingOffset = 0;
    qsizetype m_pendingPosition = 0;
    qsizetype m_pendingLength = 0;
    QString m_pendingText;
    // The caret and the anchor last told to accessibility, as byte positions and as offsets,
    // which a change of the text before them can alter alone.
    qsizetype m_caretPosition = -1;
    qsizetype m_anchorPosition = -1;
    bool m_offsetsMoved = false;
    int m_caretOffset = -1;
    int m_anchorOffset = -1;
};

} // namespace vornex

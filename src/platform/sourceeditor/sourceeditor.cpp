#include "sourceeditor.h"

#include "appearance.h"
#include "sourceeditoraccessible.h"
#include "textlines.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>
#include <QtMath>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vornex {

namespace {

// Lines longer than this many bytes are styled in short runs (restyleLongLines).
constexpr qsizetype kLongLine = 1000;
// Scintilla caches the width of a piece of a line only when it is shorter than 30 bytes.
constexpr qsizetype kRunLength = 24;
// The spare styles, with style 0's attributes; the editor has no lexer and uses no others.
constexpr int kSpareStyles[] = {1, 2};
// Pieces of long lines to keep measured: twelve times those of a 32,766-byte line, so that few
// are pushed out (Scintilla looks for a piece in two places of the cache only).
constexpr unsigned long kPositionCacheSize = 16384;

// The least contrast of the caret against the paper: what text needs to be read (WCAG AA).
constexpr double kLeastCaretContrast = 4.5;

const QEvent::Type kAfterChange = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kAfterPaint = static_cast<QEvent::Type>(QEvent::registerEventType());

// The line break Enter inserts: the first one the text holds, CR LF when it holds none.
int eolModeFor(std::string_view bytes)
{
    const LineBreak first = nextLineBreak(bytes, 0);
    if (first.length != 1)
        return QsciScintillaBase::SC_EOL_CRLF;
    return bytes[first.at] == '\n' ? QsciScintillaBase::SC_EOL_LF : QsciScintillaBase::SC_EOL_CR;
}

// The editor's frame on whole device pixels. At fractional scales (1.5) Qt rounds a widget's
// place and size to device pixels each on its own, so a style's frame loses its top line to the
// widget's own edge and its right and bottom lines to the text area. These lines lie on the device
// pixels the widget may paint, with paper inside them; at whole scales they look as Fusion's.
class FrameStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element != CE_ShapedFrame) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QTransform toDevice = painter->deviceTransform();
        const QRectF exact = toDevice.mapRect(QRectF(option->rect));
        const QRect inside(QPoint(qCeil(exact.left()), qCeil(exact.top())),
                           QPoint(qFloor(exact.right()) - 1, qFloor(exact.bottom()) - 1));
        const auto fill = [&](const QRect &pixels, QPalette::ColorRole role) {
            painter->fillRect(toDevice.inverted().mapRect(QRectF(pixels)),
                              option->palette.color(role));
        };
        fill(inside, QPalette::Mid);
        fill(inside.adjusted(1, 1, -1, -1), QPalette::Base);
    }
};

// Eight bytes at a time, as a load counts the whole text: a byte outside ASCII has its top bit set.
qsizetype outsideAscii(std::string_view bytes)
{
    qsizetype count = 0;
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        count += std::popcount(word & 0x8080808080808080u);
    }
    for (; at < bytes.size(); ++at)
        count += static_cast<unsigned char>(bytes[at]) >> 7;
    return count;
}

} // namespace

// While a change of the text is not yet announced, the first input event of the application
// announces it before it is delivered, unless it is one more key for the editor itself: keys
// typed faster than the editor paints them make one batch.
class SourceEditor::InputWatch : public QObject
{
public:
    explicit InputWatch(SourceEditor *editor) : QObject(editor), m_editor(editor) {}
    void arm()
    {
        if (!m_armed)
            qApp->installEventFilter(this);
        m_armed = true;
    }
    void disarm()
    {
        if (m_armed)
            qApp->removeEventFilter(this);
        m_armed = false;
    }

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::InputMethod:
            // A key reaches the window first, then the widget with the focus.
            if (receiver != m_editor &&
                (receiver->isWidgetType() || QApplication::focusWidget() != m_editor))
                m_editor->announceTextChange();
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            m_editor->announceTextChange();
            break;
        default:
            break;
        }
        return false;
    }

private:
    SourceEditor *m_editor;
    bool m_armed = false;
};

SourceEditor::SourceEditor(QWidget *parent)
    : QsciScintilla(parent), m_inputWatch(new InputWatch(this))
{
    installAccessibleFactory(sourceEditorAccessible);
    setUtf8(true);
    setEolMode(EolWindows);
    setWrapMode(WrapNone);
    // Nothing is marked beside the lines, so no margin takes room from them.
    for (int margin = 0; margin < SendScintilla(SCI_GETMARGINS); ++margin)
        setMarginWidth(margin, 0);
    // The horizontal scroll bar shows once a line wider than the editor has been drawn.
    SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1UL);
    followPalette();
    // Drawn on whole device pixels (FrameStyle), the frame keeps a ring of paper between itself
    // and the text area where the scale is fractional.
    auto *frameStyle = new FrameStyle;
    frameStyle->setParent(this);
    setStyle(frameStyle);
    const qreal scale = devicePixelRatioF();
    const int ring = scale == std::floor(scale) ? 0 : qCeil(2 / scale) - 1;
    setViewportMargins(ring, ring, ring, ring);
    // Insertions and deletions are announced before they happen, and only so: QScintilla's own
    // handling of SC_MOD_INSERTTEXT and SC_MOD_DELETETEXT costs time in proportion to the
    // position of the change in the text.
    SendScintilla(SCI_SETMODEVENTMASK,
                  static_cast<unsigned long>(SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE));
    SendScintilla(SCI_SETPOSITIONCACHE, kPositionCacheSize);
    copyStyleToSpares();
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int length, int, int, int, int, int, int) {
                beforeModification(position, type, length);
            });
    // Scintilla reports a moved caret only when it paints; moves that no input event of the
    // editor made (a load, a command) are told after that paint.
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int) {
        if (QAccessible::isActive() && !m_afterPaintPosted) {
            m_afterPaintPosted = true;
            QCoreApplication::postEvent(this, new QEvent(kAfterPaint), Qt::LowEventPriority - 1);
        }
    });
}

SourceEditor::~SourceEditor() = default;

std::string_view SourceEditor::bytesView() const
{
    auto *self = const_cast<SourceEditor *>(this);
    const auto length = static_cast<std::size_t>(self->SendScintilla(SCI_GETLENGTH));
    const auto *data = reinterpret_cast<const char *>(self->SendScintilla(SCI_GETCHARACTERPOINTER));
    return {data ? data : "", length};
}

std::string_view SourceEditor::bytesView(std::size_t position, std::size_t length) const
{
    auto *self = const_cast<SourceEditor *>(this);
    const auto size = static_cast<std::size_t>(self->SendScintilla(SCI_GETLENGTH));
    position = std::min(position, size);
    length = std::min(length, size - position);
    const auto *data = reinterpret_cast<const char *>(self->SendScintilla(
        SCI_GETRANGEPOINTER, static_cast<unsigned long>(position), static_cast<long>(length)));
    return {data && length ? data : "", data ? length : 0};
}

void SourceEditor::setRawBytes(std::string_view bytes)
{
    SendScintilla(SCI_SETEOLMODE, static_cast<unsigned long>(eolModeFor(bytes)));
    // Scintilla keeps the line character index up to date line by line through an insertion,
    // which costs more than building it anew; a text of ASCII only does not need it at all.
    if (m_indexAllocated) {
        SendScintilla(SCI_RELEASELINECHARACTERINDEX, SC_LINECHARACTERINDEX_UTF32);
        m_indexAllocated = false;
    }
    // A load cannot be undone, so the old and the new text are not copied into the undo history.
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()), bytes.data());
    countInsertedBytes();
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_GOTOPOS, 0L);
    // The lines of the old text no longer decide whether the scroll bar shows.
    SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
}

void SourceEditor::releaseKey(const QKeySequence &key)
{
    const int code = key[0].toCombined();
    while (QsciCommand *command = standardCommands()->boundTo(code)) {
        if (command->key() == code)
            command->setKey(0);
        else
            command->setAlternateKey(0);
    }
}

void SourceEditor::changeEvent(QEvent *event)
{
    QsciScintilla::changeEvent(event);
    // QsciScintilla::setFont, which cannot be overridden, gives style 0 the font and then the
    // widget, which reports it here.
    if (event->type() == QEvent::FontChange)
        copyStyleToSpares();
    // A theme chosen while the IDE runs.
    if (event->type() == QEvent::PaletteChange)
        followPalette();
}

void SourceEditor::followPalette()
{
    const QPalette &colours = palette();
    const QColor text = colours.color(QPalette::Text), paper = colours.color(QPalette::Base);
    setColor(text);
    setPaper(paper);
    setSelectionForegroundColor(colours.color(QPalette::HighlightedText));
    setSelectionBackgroundColor(colours.color(QPalette::Highlight));
    // Scintilla's caret is black whatever the paper; a theme whose text is too faint for a line
    // one pixel wide gets black or white, whichever stands out more.
    const QColor black(Qt::black), white(Qt::white);
    setCaretForegroundColor(contrastRatio(text, paper) >= kLeastCaretContrast           ? text
                            : contrastRatio(black, paper) > contrastRatio(white, paper) ? black
                                                                                        : white);
}

void SourceEditor::keyPressEvent(QKeyEvent *event)
{
    // A key with Alt or Meta is a command, never text: Alt+F pressed to open a menu must not change
    // the file. AltGr, the third level of many layouts, reaches here as neither, so it types.
    if (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier) && !event->text().isEmpty()) {
        QKeyEvent command(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                          event->nativeVirtualKey(), event->nativeModifiers(), QString(),
                          event->isAutoRepeat(), event->count(), event->device());
        QsciScintilla::keyPressEvent(&command);
        event->setAccepted(command.isAccepted());
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

void SourceEditor::setColor(const QColor &color)
{
    QsciScintilla::setColor(color);
    copyStyleToSpares();
}

void SourceEditor::setPaper(const QColor &color)
{
    QsciScintilla::setPaper(color);
    copyStyleToSpares();
}

void SourceEditor::copyStyleToSpares()
{
    char font[256] = {};
    if (SendScintilla(SCI_STYLEGETFONT, 0UL, static_cast<void *>(nullptr)) <
        static_cast<long>(sizeof font))
        SendScintilla(SCI_STYLEGETFONT, 0UL, static_cast<void *>(font));
    static constexpr std::pair<unsigned int, unsigned int> attributes[] = {
        {SCI_STYLEGETSIZEFRACTIONAL, SCI_STYLESETSIZEFRACTIONAL},
        {SCI_STYLEGETWEIGHT, SCI_STYLESETWEIGHT},
        {SCI_STYLEGETITALIC, SCI_STYLESETITALIC},
        {SCI_STYLEGETUNDERLINE, SCI_STYLESETUNDERLINE},
        {SCI_STYLEGETFORE, SCI_STYLESETFORE},
        {SCI_STYLEGETBACK, SCI_STYLESETBACK},
        {SCI_STYLEGETEOLFILLED, SCI_STYLESETEOLFILLED},
        {SCI_STYLEGETCHARACTERSET, SCI_STYLESETCHARACTERSET},
        {SCI_STYLEGETCASE, SCI_STYLESETCASE},
        {SCI_STYLEGETVISIBLE, SCI_STYLESETVISIBLE},
        {SCI_STYLEGETCHANGEABLE, SCI_STYLESETCHANGEABLE},
        {SCI_STYLEGETHOTSPOT, SCI_STYLESETHOTSPOT},
    };
    for (const int style : kSpareStyles) {
        SendScintilla(SCI_STYLESETFONT, static_cast<uintptr_t>(style),
                      static_cast<const char *>(font));
        for (const auto &[get, set] : attributes)
            SendScintilla(set, static_cast<unsigned long>(style), SendScintilla(get, 0UL));
    }
}

// Scintilla tells of an insertion only before it happens, and QScintilla passes its bytes only
// with the report after it, which costs time in proportion to the position: they are counted
// here, before the next change or question, in proportion to the insertion.
void SourceEditor::countInsertedBytes()
{
    if (m_uncountedLength == 0)
        return;
    const std::string_view inserted =
        bytesView(std::size_t(m_uncountedPosition), std::size_t(m_uncountedLength));
    m_uncountedLength = 0;
    m_nonAscii += outsideAscii(inserted);
}

int SourceEditor::offsetFromPosition(qsizetype position)
{
    countInsertedBytes();
    position = std::clamp<qsizetype>(position, 0, SendScintilla(SCI_GETLENGTH));
    if (m_nonAscii == 0 || position == 0)
        return static_cast<int>(position);
    if (!m_indexAllocated) {
        SendScintilla(SCI_ALLOCATELINECHARACTERINDEX, SC_LINECHARACTERINDEX_UTF32);
        m_indexAllocated = true;
    }
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    return static_cast<int>(SendScintilla(SCI_INDEXPOSITIONFROMLINE,
                                          static_cast<unsigned long>(line),
                                          static_cast<long>(SC_LINECHARACTERINDEX_UTF32)) +
                            SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start),
                                          static_cast<long>(position)));
}

qsizetype SourceEditor::positionFromOffset(int offset)
{
    const int count = characterCount();
    if (offset <= 0)
        return 0;
    if (offset >= count)
        return SendScintilla(SCI_GETLENGTH);
    countInsertedBytes();
    if (m_nonAscii == 0)
        return offset;
    const long line = SendScintilla(SCI_LINEFROMINDEXPOSITION, static_cast<unsigned long>(offset),
                                    static_cast<long>(SC_LINECHARACTERINDEX_UTF32));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long rest =
        offset - SendScintilla(SCI_INDEXPOSITIONFROMLINE, static_cast<unsigned long>(line),
                               static_cast<long>(SC_LINECHARACTERINDEX_UTF32));
    return rest > 0 ? SendScintilla(SCI_POSITIONRELATIVE, static_cast<unsigned long>(start), rest)
                    : start;
}

int SourceEditor::characterCount()
{
    return offsetFromPosition(SendScintilla(SCI_GETLENGTH));
}

void SourceEditor::beforeModification(int position, int type, int length)
{
    const bool insert = (type & SC_MOD_BEFOREINSERT) != 0;
    if (!insert && (type & SC_MOD_BEFOREDELETE) == 0)
        return;
    countInsertedBytes();
    emit textChanging(position, insert ? 0 : length, insert ? length : 0);
    if (QAccessible::isActive()) {
        // The change before this one is complete now.
        flushAccessibleChange();
        m_pending = insert ? Pending::Insert : Pending::Remove;
        m_pendingPosition = position;
        m_pendingLength = length;
        m_pendingOffset = offsetFromPosition(position);
        if (!insert)
            m_pendingText = readableText(position, position + length);
    }
    m_offsetsMoved = true;
    if (insert) {
        m_uncountedPosition = position;
        m_uncountedLength = length;
    } else {
        // The bytes that go, read where Scintilla moves its gap to delete them anyway.
        const std::string_view gone = bytesView(std::size_t(position), std::size_t(length));
        m_nonAscii -= outsideAscii(gone);
    }

    // The range to restyle, moved with the change and widened by it.
    const qsizetype end = insert ? position + length : position;
    if (m_dirtyLo > m_dirtyHi) {
        m_dirtyLo = position;
        m_dirtyHi = end;
    } else {
        const auto moved = [&](qsizetype at) {
            if (insert)
                return at >= position ? at + length : at;
            return at <= position ? at : std::max<qsizetype>(position, at - length);
        };
        m_dirtyLo = std::min<qsizetype>(moved(m_dirtyLo), position);
        m_dirtyHi = std::max(moved(m_dirtyHi), end);
    }

    m_textChanged = true;
    m_inputWatch->arm();
    if (!m_afterChangePosted) {
        m_afterChangePosted = true;
        QCoreApplication::postEvent(this, new QEvent(kAfterChange));
    }
    // After Qt's own update request, which is posted at low priority: after the paint.
    if (!m_afterPaintPosted) {
        m_afterPaintPosted = true;
        QCoreApplication::postEvent(this, new QEvent(kAfterPaint), Qt::LowEventPriority - 1);
    }
}

bool SourceEditor::event(QEvent *event)
{
    if (event->type() == kAfterChange) {
        m_afterChangePosted = false;
        restyleLongLines();
        return true;
    }
    if (event->type() == kAfterPaint) {
        m_afterPaintPosted = false;
        afterPaint();
        return true;
    }
    const bool handled = QsciScintilla::event(event);
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod)
        notifyAccessible();
    return handled;
}

bool SourceEditor::viewportEvent(QEvent *event)
{
    const bool handled = QsciScintilla::viewportEvent(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        notifyAccessible();
        break;
    default:
        break;
    }
    return handled;
}

void SourceEditor::afterPaint()
{
    notifyAccessible();
    if (!m_textChanged)
        return;
    announceTextChange();
    // Reading the text whole moved Scintilla's gap to the end of the text; it goes back to the
    // caret now, after the paint, instead of in the next key's insertion, before its paint. A
    // range that reaches past the end of the text moves the gap to its start.
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(caret),
                  SendScintilla(SCI_GETLENGTH) - caret + 1);
}

void SourceEditor::announceTextChange()
{
    if (!m_textChanged)
        return;
    m_textChanged = false;
    m_inputWatch->disarm();
    emit textBatchChanged();
}

QString SourceEditor::readableText(qsizetype start, qsizetype end)
{
    if (end <= start)
        return {};
    // A copy, which leaves Scintilla's gap where the next key needs it.
    QByteArray bytes(end - start + 1, '\0');
    SendScintilla(SCI_GETTEXTRANGE, static_cast<unsigned long>(start), static_cast<long>(end),
                  bytes.data());
    QString text = QString::fromUtf8(bytes.constData(), end - start);
    text.replace(QChar(u'\0'), QChar(u'\u2400'));
    return text;
}

void SourceEditor::flushAccessibleChange()
{
    const Pending pending = std::exchange(m_pending, Pending::None);
    if (pending == Pending::None || !QAccessible::isActive())
        return;
    if (pending == Pending::Insert) {
        QAccessibleTextInsertEvent event(
            this, m_pendingOffset,
            readableText(m_pendingPosition, m_pendingPosition + m_pendingLength));
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextRemoveEvent event(this, m_pendingOffset, std::exchange(m_pendingText, {}));
        QAccessible::updateAccessibility(&event);
    }
}

// With the change, before the paint: a screen reader reads a moved caret by the last key it has
// seen, and told later it may have seen Ctrl go up and read Ctrl+Left as a move by a character.
void SourceEditor::notifyAccessible()
{
    if (!QAccessible::isActive())
        return;
    flushAccessibleChange();
    const qsizetype caret = SendScintilla(SCI_GETCURRENTPOS);
    const qsizetype anchor = SendScintilla(SCI_GETANCHOR);
    if (caret == m_caretPosition && anchor == m_anchorPosition && !m_offsetsMoved)
        return;
    m_caretPosition = caret;
    m_anchorPosition = anchor;
    m_offsetsMoved = false;
    const int caretOffset = offsetFromPosition(caret);
    const int anchorOffset = anchor == caret ? caretOffset : offsetFromPosition(anchor);
    if (caretOffset != m_caretOffset) {
        QAccessibleTextCursorEvent moved(this, caretOffset);
        QAccessible::updateAccessibility(&moved);
    }
    if (anchorOffset != m_anchorOffset &&
        (anchorOffset != caretOffset || m_anchorOffset != m_caretOffset)) {
        QAccessibleTextSelectionEvent selected(this, std::min(anchorOffset, caretOffset),
                                               std::max(anchorOffset, caretOffset));
        QAccessible::updateAccessibility(&selected);
    }
    m_caretOffset = caretOffset;
    m_anchorOffset = anchorOffset;
}

// Scintilla measures a changed line again whole, in pieces of about 100 bytes where the style
// does not change, and caches the widths of pieces under 30 bytes only. Long lines therefore get
// alternating styles of identical look in runs shorter than that: after a change, only the
// pieces around it are measured anew. Only the runs around the changed bytes are cut again, so
// that the rest of the line keeps its pieces.
void SourceEditor::restyleLongLines()
{
    if (m_dirtyLo > m_dirtyHi)
        return;
    const qsizetype length = SendScintilla(SCI_GETLENGTH);
    const qsizetype lo = std::clamp<qsizetype>(m_dirtyLo, 0, length);
    const qsizetype hi = std::clamp<qsizetype>(m_dirtyHi, lo, length);
    m_dirtyLo = 1;
    m_dirtyHi = 0;
    const qsizetype first = SendScintilla(
        SCI_POSITIONFROMLINE, SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(lo)));
    const qsizetype last =
        SendScintilla(SCI_GETLINEENDPOSITION,
                      SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(hi)));
    const auto *bytes = reinterpret_cast<const char *>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(first), last - first));
    // A stretch between two LFs that is not longer than a long line holds none.
    for (qsizetype at = first; at < last;) {
        const void *lf =
            std::memchr(bytes + (at - first), '\n', static_cast<std::size_t>(last - at));
        const qsizetype end = lf ? first + (static_cast<const char *>(lf) - bytes) : last;
        if (end - at > kLongLine) {
            const long stop = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(end));
            for (long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(at));
                 line <= stop; ++line)
                restyleLine(line, lo, hi);
        }
        at = end + 1;
    }
}

// Cuts the runs of line again from the start of the run before [lo, hi) to the end of the run
// after it, when the line is long.
void SourceEditor::restyleLine(long line, qsizetype lo, qsizetype hi)
{
    const auto styleAt = [this](qsizetype at) {
        return static_cast<int>(SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(at)));
    };
    if (SendScintilla(SCI_LINELENGTH, static_cast<unsigned long>(line)) <= kLongLine)
        return;
    const qsizetype lineStart = SendScintilla(SCI_POSITIONFROMLINE, line);
    const qsizetype lineEnd = SendScintilla(SCI_GETLINEENDPOSITION, line);
    // From the start of the run before the change to the end of the run after it.
    qsizetype from = std::clamp(lo, lineStart, lineEnd);
    qsizetype to = std::clamp(hi, lineStart, lineEnd);
    if (from > lineStart) {
        const int style = styleAt(from - 1);
        for (--from; from > lineStart && styleAt(from - 1) == style;)
            --from;
    }
    if (to < lineEnd) {
        const int style = styleAt(to);
        for (++to; to < lineEnd && styleAt(to) == style;)
            ++to;
    }
    if (from == to)
        return;
    const int before = from > lineStart ? styleAt(from - 1) : -1;
    const int after = to < lineEnd ? styleAt(to) : -1;
    QByteArray styles(to - from, '\0');
    int previous = before;
    for (qsizetype run = from; run < to;) {
        qsizetype next = std::min(run + kRunLength, to);
        // A run ends at the start of a character, never inside one.
        while (next < to &&
               (SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(next)) & 0xc0) == 0x80)
            ++next;
        int style = 0;
        while (style == previous || (next == to && style == after))
            ++style;
        std::fill(styles.begin() + (run - from), styles.begin() + (next - from),
                  static_cast<char>(style));
        previous = style;
        run = next;
    }
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    SendScintilla(SCI_SETSTYLINGEX, static_cast<unsigned long>(styles.size()), styles.constData());
}

} // namespace vornex

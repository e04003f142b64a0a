#include "sourceeditor.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <algorithm>

namespace vornex {

namespace {

// The line break Enter inserts: the first one the text holds, CR LF when it holds none.
int eolModeFor(QByteArrayView bytes)
{
    const auto *first =
        std::find_if(bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; });
    if (first == bytes.end())
        return QsciScintillaBase::SC_EOL_CRLF;
    if (*first == '\n')
        return QsciScintillaBase::SC_EOL_LF;
    return first + 1 != bytes.end() && first[1] == '\n' ? QsciScintillaBase::SC_EOL_CRLF
                                                        : QsciScintillaBase::SC_EOL_CR;
}

} // namespace

SourceEditor::SourceEditor(QWidget *parent) : QsciScintilla(parent)
{
    setUtf8(true);
    setEolMode(EolWindows);
    setWrapMode(WrapNone);
}

std::string_view SourceEditor::bytesView() const
{
    auto *self = const_cast<SourceEditor *>(this);
    const auto length = static_cast<std::size_t>(self->SendScintilla(SCI_GETLENGTH));
    const auto *data = reinterpret_cast<const char *>(self->SendScintilla(SCI_GETCHARACTERPOINTER));
    return {data ? data : "", length};
}

void SourceEditor::setRawBytes(QByteArrayView bytes)
{
    SendScintilla(SCI_SETEOLMODE, static_cast<unsigned long>(eolModeFor(bytes)));
    // A load cannot be undone, so the old and the new text are not copied into the undo history.
    SendScintilla(SCI_SETUNDOCOLLECTION, 0UL);
    SendScintilla(SCI_CLEARALL);
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()), bytes.data());
    SendScintilla(SCI_SETUNDOCOLLECTION, 1UL);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_GOTOPOS, 0L);
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

} // namespace vornex

#pragma once

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QKeySequence>

#include <string_view>

namespace vornex {

// The source editor: Scintilla holding the file's bytes exactly as they are on disk.
class SourceEditor : public QsciScintilla
{
    Q_OBJECT

public:
    explicit SourceEditor(QWidget *parent = nullptr);

    // The whole text in place, without a copy; valid until the next change of the text.
    std::string_view bytesView() const;
    // Replaces the whole text with bytes and makes Enter insert the line break they use.
    void setRawBytes(QByteArrayView bytes);
    // Removes key from the editor's own key bindings so that a menu shortcut gets it.
    void releaseKey(const QKeySequence &key);
};

} // namespace vornex

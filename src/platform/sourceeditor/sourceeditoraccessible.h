#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace vornex {

// The factory of the source editor's accessible interface, the IDE's own in place of
// QScintilla's: text, character count, caret, selection, text at an offset and character
// rectangles, with offsets converted through Scintilla's line character index. Qt asks it first
// for the editor, the most derived class, so it answers in place of QScintilla's.
QAccessibleInterface *sourceEditorAccessible(const QString &className, QObject *object);

} // namespace vornex

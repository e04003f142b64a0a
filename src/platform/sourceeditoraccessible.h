#pragma once

namespace vornex {

// Installs the factory of the source editor's accessible interface, the IDE's own in place of
// QScintilla's: text, character count, caret, selection, text at an offset and character
// rectangles, with offsets converted through Scintilla's line character index. Installed when
// the program starts, before QScintilla installs its own; called again, it does nothing.
void installSourceEditorAccessibility();

} // namespace vornex

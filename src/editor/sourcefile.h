#pragma once

#include "readfile.h"

#include <QString>

#include <string>
#include <string_view>

namespace vornex {

// Reads the whole file at path as raw bytes, and sets *identity, when given, to the file read. Only
// regular files are read: a directory, FIFO or device is refused, and so is what the editor cannot
// show within about a second: a file over 16 MiB, or lines that hold more than 245,000 bytes
// within 150 lines (one screen). A path whose bytes Qt could not keep is refused: it reads a name
// that is not UTF-8 with U+FFFD in their place, which would lead to another file. On failure
// returns false and sets *error to the reason, which names the limit.
bool readSourceFile(const QString &path, std::string *bytes, QString *error,
                    FileIdentity *identity = nullptr);

// Replaces the file at path with bytes and keeps all the old file carries (saveFile, which also
// says what *identity means); refuses the paths readSourceFile refuses. On failure returns false
// and sets *error to the reason.
bool writeSourceFile(const QString &path, std::string_view bytes, QString *error,
                     FileIdentity *identity = nullptr);

} // namespace vornex

#pragma once

#include "readfile.h"

#include <QString>

#include <string>
#include <string_view>

namespace vornex {

// Reads the whole file at path as raw bytes, and sets *identity, when given, to the file read. Only
// regular files are read: a directory, FIFO or device is refused, and so is what the editor cannot
// show within about a second: a file over 16 MiB, or lines that hold more than 245,000 bytes
// within 150 lines (one screen). On failure returns false and sets *error to the reason, which
// names the limit.
bool readSourceFile(const QString &path, std::string *bytes, QString *error,
                    FileIdentity *identity = nullptr);

// Replaces the file at path with bytes and keeps all the old file carries (saveFile, which also
// says what *identity means). On failure returns false and sets *error to the reason.
bool writeSourceFile(const QString &path, std::string_view bytes, QString *error,
                     FileIdentity *identity = nullptr);

// Both refuse a path that cannot be passed on byte for byte: Qt reads a name that is not UTF-8
// with U+FFFD in place of its bytes, and that name would lead to another file.

} // namespace vornex

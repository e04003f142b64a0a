#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vornex {

// Reads the whole file at path as raw bytes. Only regular files are read: a directory, FIFO or
// device is refused, and so is what the editor cannot show within about a second: a file over
// 16 MiB, or lines that hold more than 245,000 bytes within 150 lines (one screen). On failure
// returns false and sets *error to the reason, which names the limit.
bool readSourceFile(const QString &path, QByteArray *bytes, QString *error);

// Replaces the file at path with bytes, atomically: a failure leaves the old file whole and no
// temporary file behind. A symlink stays a symlink (its target is written); the permission bits,
// owner and group of an existing file are kept where the process may set them. On failure
// returns false and sets *error to the reason.
bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error);

} // namespace vornex

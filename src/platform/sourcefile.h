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

// Replaces the file at path with bytes and keeps all the old file carries: in one rename where the
// new file can carry it, else written over in place after a synced copy. Links are followed under
// the kernel's protected_symlinks rule. On failure returns false and sets *error to the reason;
// the old file stays whole, or after a failed write in place the reason names the copy.
bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error);

} // namespace vornex

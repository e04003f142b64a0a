#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vornex {

// Reads the whole file at path as raw bytes. Only regular files are read: a directory, FIFO or
// device is refused, and so is a file over 1 GiB. On failure returns false and sets *error to
// the reason.
bool readSourceFile(const QString &path, QByteArray *bytes, QString *error);

// Replaces the file at path with bytes and keeps all the old file carries: in one rename where the
// new file can carry it, else written over in place after a synced copy. Links are followed under
// the kernel's protected_symlinks rule. On failure returns false and sets *error to the reason;
// the old file stays whole, or after a failed write in place the reason names the copy.
bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error);

} // namespace vornex

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vornex {

// Reads the whole file at path as raw bytes. Only regular files are read: a directory, FIFO or
// device is refused, and so is a file over 1 GiB. On failure returns false and sets *error to
// the reason.
bool readSourceFile(const QString &path, QByteArray *bytes, QString *error);

// Replaces the file at path with bytes. A replacement that carries everything the old file did
// (permission bits, owner and group, ACLs, extended attributes) takes its place in one rename, so
// that a failure leaves the old file whole; a file with several hard links, or one whose
// attributes cannot all be carried over, is written over in place after a synced copy, which a
// failure midway leaves behind. Links at the end of path are followed under the kernel's
// protected_symlinks rule. A crash leaves no temporary file where the file system allows. On
// failure returns false and sets *error to the reason.
bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error);

} // namespace vornex

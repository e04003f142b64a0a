#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// The recorder program and what it wrote: the arguments it was started with.
namespace recorder {

inline QString programPath()
{
    return QStringLiteral(VORNEX_TEST_BIN_DIR "/vornex-recorder");
}

// The arguments recorded in file, in order; empty when the file holds none.
inline QStringList readArguments(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QByteArray bytes = in.readAll();
    qsizetype start = 0;
    for (qsizetype end = bytes.indexOf('\0'); end >= 0; end = bytes.indexOf('\0', start)) {
        arguments.append(QString::fromUtf8(bytes.mid(start, end - start)));
        start = end + 1;
    }
    return arguments;
}

} // namespace recorder

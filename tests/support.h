#pragma once

// What every test program may need: files read and written whole, shell commands run in a
// folder, and a skip that fails under CI.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

// A test that cannot run here says why: a skip on a developer's machine, a failure where the build
// says nothing may pass by being left out (CI).
#ifdef VORNEX_NO_SKIPS
#define VORNEX_SKIP(reason) QFAIL("cannot run here: " reason)
#else
#define VORNEX_SKIP(reason) QSKIP(reason)
#endif

namespace vornex::test {

// The bytes of a file, or "<unreadable>".
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// What sh prints for commands run in folder, with "<failed>" added where they fail.
inline QString shell(const QString &folder, const QString &commands)
{
    QProcess sh;
    sh.setWorkingDirectory(folder);
    sh.setProcessChannelMode(QProcess::MergedChannels);
    sh.start(QStringLiteral("sh"), {QStringLiteral("-ec"), commands});
    const bool ok =
        sh.waitForFinished(-1) && sh.exitStatus() == QProcess::NormalExit && !sh.exitCode();
    return QString::fromLocal8Bit(sh.readAll()) + (ok ? QString() : QStringLiteral("<failed>"));
}

// What a file carries besides its text: mode, owner, group, link count, extended attributes.
inline QString carried(const QString &folder, const QString &name)
{
    return shell(folder,
                 QStringLiteral("stat -c '%f %u:%g %h' '%1'; getfattr -dm- -ehex '%1' | sed /^#/d "
                                "| sort")
                     .arg(name));
}

} // namespace vornex::test

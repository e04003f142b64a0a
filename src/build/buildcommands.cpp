#include "buildcommands.h"

#include "platform.h"

#include <QDir>
#include <QProcess>

namespace vornex {

namespace {

const QString kAssembler = QStringLiteral("cvornex.exe");
const QString kReport = QStringLiteral("debugasm.html");

} // namespace

LaunchCommand assembleCommand(const QString &appDir, const QString &sourcePath)
{
    return {appDirFile(appDir, kAssembler), {sourcePath}};
}

LaunchCommand executeCommand(const QString &path, const QString &parameters)
{
    return {path, QProcess::splitCommand(parameters)};
}

qsizetype lastSeparatorBeforeFirstDot(const QString &sourcePath)
{
    const qsizetype dot = sourcePath.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return 0;
    return sourcePath.lastIndexOf(QLatin1Char('/'), dot) + 1;
}

DebugWindowPlacement debugWindowPlacement(double ownWidth, double mainTop)
{
    // The window system keeps window positions in single precision.
    return {static_cast<float>(ownWidth) + static_cast<float>(mainTop) + 100.0f, 100.0f};
}

QUrl debugReportAddress(const QString &appDir)
{
    // A plain join would turn the root folder "/" into "//debugasm.html", which names a host.
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(appDir).absoluteFilePath(kReport)));
}

} // namespace vornex

#include "buildcommands.h"

#include "platform.h"
#include "twips.h"

#include <QDir>
#include <QProcess>

#include <algorithm>

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

QPoint debugWindowPosition(QSize outerSize, int mainTop, double dpi, const QList<QRect> &areas)
{
    const DebugWindowPlacement place =
        debugWindowPlacement(pixelsToTwips(outerSize.width(), dpi), pixelsToTwips(mainTop, dpi));
    const QPoint wanted(twipsToPixels(place.left, dpi), twipsToPixels(place.top, dpi));
    return keptInside(QRect(wanted, outerSize), areas);
}

QPoint keptInside(const QRect &window, const QList<QRect> &areas)
{
    const QPoint corner = window.topLeft();
    const auto distance = [&](const QRect &area) {
        const QPoint nearest(std::clamp(corner.x(), area.left(), area.right()),
                             std::clamp(corner.y(), area.top(), area.bottom()));
        return (nearest - corner).manhattanLength();
    };
    const auto area =
        std::min_element(areas.begin(), areas.end(),
                         [&](const QRect &a, const QRect &b) { return distance(a) < distance(b); });
    if (area == areas.end() || area->isEmpty())
        return corner;
    // Right and bottom edges first, so that a window larger than the area keeps its top left.
    const int x = std::max(std::min(corner.x(), area->right() + 1 - window.width()), area->left());
    const int y = std::max(std::min(corner.y(), area->bottom() + 1 - window.height()), area->top());
    return {x, y};
}

QUrl debugReportAddress(const QString &appDir)
{
    // A plain join would turn the root folder "/" into "//debugasm.html", which names a host.
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(appDir).absoluteFilePath(kReport)));
}

} // namespace vornex

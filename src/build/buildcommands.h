#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace vornex {

// A program to start: what is executed and its argument vector.
struct LaunchCommand
{
    QString program;
    QStringList arguments;

    friend bool operator==(const LaunchCommand &, const LaunchCommand &) = default;
};

// The assembler "cvornex.exe" in appDir, started on sourcePath as its one argument, unchanged.
LaunchCommand assembleCommand(const QString &appDir, const QString &sourcePath);

// The interpreter: path exactly as typed is the program; parameters are split into words, with
// double quotes grouping words.
LaunchCommand executeCommand(const QString &path, const QString &parameters);

// The 1-based position of the last "/" before the first "." of sourcePath (the first "."
// included), or 0 when there is none: View Debug Output shows the report only when this is
// not 0.
qsizetype lastSeparatorBeforeFirstDot(const QString &sourcePath);

// Where the debug output window goes, in twips.
struct DebugWindowPlacement
{
    float top;
    float left;

    friend bool operator==(const DebugWindowPlacement &, const DebugWindowPlacement &) = default;
};

// The debug output window's own outer width plus the main window's outer top plus 100 for its
// top; 100 for its left.
DebugWindowPlacement debugWindowPlacement(double ownWidth, double mainTop);

// Where the debug output window's outer top left corner goes, in pixels at dpi: its place above,
// moved just enough to lie wholly inside the available area of a screen (areas) where it would
// not, and exactly that place where it fits.
QPoint debugWindowPosition(QSize outerSize, int mainTop, double dpi, const QList<QRect> &areas);

// The top left corner that puts window wholly inside the area of areas nearest to its own top left
// corner, moved as little as can be; a window larger than the area keeps its top left inside.
QPoint keptInside(const QRect &window, const QList<QRect> &areas);

// The address of the assembler's report "debugasm.html" in appDir; any folder name works.
QUrl debugReportAddress(const QString &appDir);

} // namespace vornex

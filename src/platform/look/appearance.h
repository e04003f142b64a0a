#pragma once

#include <QAccessible>
#include <QFont>
#include <QIcon>

class QColor;
class QWidget;

namespace vornex {

// Fixedsys 9.75 pt where it is installed, otherwise the system's fixed-pitch font at that size.
QFont fixedsysFont();
// The icon that all windows share: the 32 x 32 picture and larger renditions of it.
QIcon applicationIcon();

// The contrast ratio of two colours as WCAG defines it: 1 (none) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);

// Shows window, out of the taskbar if it was minimized, in front of the others and active.
void bringToFront(QWidget *window);

// Makes window a fixed dialog of the given client size in twips: no taskbar entry, only a close
// box, discarded when closed, with the shared icon and font.
void makeFixedDialog(QWidget *window, const QString &caption, double widthTwips,
                     double heightTwips);

// Installs factory, which makes the accessible interfaces of some of the IDE's own widget
// classes; once, however often it is called.
void installAccessibleFactory(QAccessible::InterfaceFactory factory);
// Presents the windows of windowClass, a QWidget class, to screen readers as windows named by
// their caption, where Qt presents a plain top-level widget as a mere client area.
void presentAsWindow(const QMetaObject &windowClass);

} // namespace vornex

#pragma once

#include <QFont>
#include <QIcon>

namespace vornex {

// Fixedsys 9.75 pt where it is installed, otherwise the system's fixed-pitch font at that size.
QFont fixedsysFont();
// The 32 x 32 icon that all windows share.
QIcon applicationIcon();

} // namespace vornex

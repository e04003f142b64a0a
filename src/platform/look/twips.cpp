#include "twips.h"

#include <QScreen>
#include <QWidget>

#include <cmath>

namespace vornex {

int twipsToPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

double pixelsToTwips(int pixels, double dpi)
{
    return pixels * 1440.0 / dpi;
}

double logicalDpi(const QWidget *widget)
{
    const QScreen *screen = widget ? widget->screen() : nullptr;
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

int twipsToPixels(const QWidget *widget, double twips)
{
    return twipsToPixels(twips, logicalDpi(widget));
}

void setTwipsGeometry(QWidget *widget, double left, double top, double width, double height)
{
    const double dpi = logicalDpi(widget);
    widget->setGeometry(twipsToPixels(left, dpi), twipsToPixels(top, dpi),
                        twipsToPixels(width, dpi), twipsToPixels(height, dpi));
}

} // namespace vornex

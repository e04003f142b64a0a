#pragma once

class QWidget;

namespace vornex {

// Twips are 1/1440 inch; the screen's logical DPI turns them into pixels.
int twipsToPixels(double twips, double dpi);
double pixelsToTwips(int pixels, double dpi);
// The logical DPI of the screen widget is on (96 when it has none yet).
double logicalDpi(const QWidget *widget);
// Twips in pixels of the screen widget is on.
int twipsToPixels(const QWidget *widget, double twips);
// Places widget at left, top with the given size, all in twips.
void setTwipsGeometry(QWidget *widget, double left, double top, double width, double height);

} // namespace vornex

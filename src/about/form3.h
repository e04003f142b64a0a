#pragma once

#include <QWidget>

namespace vornex {

class HtmlViewer;
class HtmlViewerFactory;

// The About window: an HTML viewer that shows the maker's web page, and nothing else.
class Form3 : public QWidget
{
    Q_OBJECT

public:
    // Builds the window hidden, at its design size, with a viewer made by viewers.
    explicit Form3(HtmlViewerFactory &viewers);

    // The embedded HTML viewer, a child of the window; it stays where the design puts it.
    HtmlViewer *viewer() const { return WebBrowser1; }

private:
    HtmlViewer *WebBrowser1;
};

} // namespace vornex

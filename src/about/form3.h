#pragma once

#include <QWidget>

#include <memory>

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
    ~Form3() override;

    // The embedded HTML viewer; its widget stays where the window's design puts it.
    HtmlViewer *WebBrowser1;

private:
    std::unique_ptr<HtmlViewer> m_webBrowser1;
};

} // namespace vornex

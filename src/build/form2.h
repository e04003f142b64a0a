#pragma once

#include <QWidget>

class QMoveEvent;
class QUrl;

namespace vornex {

class HtmlViewer;
class HtmlViewerFactory;

// The debug output window: the assembler's report in an HTML viewer. The viewer is created when
// the first report is loaded, so that the browser engine starts only then.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    explicit Form2(HtmlViewerFactory &viewers);

    // Loads address into the viewer, creating it first if needed.
    void navigate(const QUrl &address);

signals:
    // The window's outer size has changed: its frame has arrived from the window manager, after
    // the window was first shown.
    void outerSizeChanged();

protected:
    void moveEvent(QMoveEvent *event) override;

private:
    HtmlViewer *viewer();

    // The viewer, a child of the window, or null before the first report was loaded.
    HtmlViewer *WebBrowser1 = nullptr;
    HtmlViewerFactory &m_viewers;
    QSize m_outerSize;
};

} // namespace vornex

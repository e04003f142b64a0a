#include "form2.h"

#include "appearance.h"
#include "htmlviewer.h"
#include "twips.h"

#include <QMoveEvent>
#include <QUrl>

namespace vornex {

Form2::Form2(HtmlViewerFactory &viewers) : QWidget(nullptr), m_viewers(viewers)
{
    presentAsWindow(staticMetaObject);
    makeFixedDialog(this, QStringLiteral("Debug Output"), 8145, 2010);
}

HtmlViewer *Form2::viewer()
{
    if (!WebBrowser1) {
        WebBrowser1 = m_viewers.create(this, ViewerKind::LocalReport);
        QWidget *widget = WebBrowser1->widget();
        setTwipsGeometry(widget, 120, 120, 7935, 1815);
        widget->show();
    }
    return WebBrowser1;
}

void Form2::navigate(const QUrl &address)
{
    viewer()->navigate(address);
}

void Form2::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // The frame arrives after the window was first shown, and only a move tells of it.
    if (frameGeometry().size() != m_outerSize) {
        m_outerSize = frameGeometry().size();
        emit outerSizeChanged();
    }
}

} // namespace vornex

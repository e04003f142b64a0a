#include "form2.h"

#include "platform/appearance.h"
#include "platform/htmlviewer.h"
#include "platform/twips.h"

#include <QUrl>

namespace vornex {

Form2::Form2(HtmlViewerFactory &viewers) : QWidget(nullptr), m_viewers(viewers)
{
    // A tool window has no taskbar entry; the frame offers only the close box.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Debug Output"));
    setWindowIcon(applicationIcon());
    setFont(fixedsysFont());
    setFixedSize(px(8145), px(2010));
}

int Form2::px(double twips) const
{
    return twipsToPixels(twips, logicalDpi(this));
}

HtmlViewer *Form2::viewer()
{
    if (!WebBrowser1) {
        WebBrowser1 = m_viewers.create(this, ViewerKind::LocalReport);
        QWidget *widget = WebBrowser1->widget();
        widget->setGeometry(px(120), px(120), px(7935), px(1815));
        widget->show();
    }
    return WebBrowser1;
}

void Form2::showEvent(QShowEvent *event)
{
    viewer();
    QWidget::showEvent(event);
}

void Form2::navigate(const QUrl &address)
{
    viewer()->navigate(address);
}

} // namespace vornex

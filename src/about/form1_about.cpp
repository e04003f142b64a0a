#include "editor/form1.h"

#include "form3.h"
#include "platform/htmlviewer.h"

#include <QUrl>

namespace vornex {

void Form1::abt_Click()
{
    if (!m_form3)
        m_form3 = new Form3(*m_platform.viewers);
    // An About window that is already open comes to the front, out of the taskbar if need be.
    m_form3->setWindowState(m_form3->windowState() & ~Qt::WindowMinimized);
    m_form3->show();
    m_form3->raise();
    m_form3->activateWindow();
    // The page loads in the background; whatever comes of it is the viewer's to show.
    m_form3->WebBrowser1->navigate(QUrl(QStringLiteral(VORNEX_ABOUT_URL)));
}

} // namespace vornex

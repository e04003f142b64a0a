#include "form1.h"

#include "appearance.h"
#include "form3.h"
#include "htmlviewer.h"

#include <QUrl>

namespace vornex {

void Form1::abt_Click()
{
    if (!m_form3)
        m_form3 = new Form3(*m_platform.viewers);
    // An About window that is already open comes to the front, out of the taskbar if need be.
    bringToFront(m_form3);
    // The page loads in the background; whatever comes of it is the viewer's to show.
    m_form3->viewer()->navigate(QUrl(QStringLiteral(VORNEX_ABOUT_URL)));
}

} // namespace vornex

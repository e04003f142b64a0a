#include "form3.h"

#include "platform/appearance.h"
#include "platform/htmlviewer.h"
#include "platform/twips.h"

namespace vornex {

namespace {

const QString kCaption = QStringLiteral("About");
// What a screen reader announces for the viewer; the page itself brings its own title.
const QString kViewerName = QStringLiteral("About page");

} // namespace

Form3::Form3(HtmlViewerFactory &viewers)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      WebBrowser1(viewers.create(this, ViewerKind::WebPage)), m_webBrowser1(WebBrowser1)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    setWindowIcon(applicationIcon());
    setFont(fixedsysFont());

    const double dpi = logicalDpi(this);
    const auto px = [dpi](double twips) {
        return twipsToPixels(twips, dpi);
    };
    resize(px(10200), px(7335));

    // No layout: the viewer keeps this place and size however the window is resized.
    QWidget *viewer = WebBrowser1->widget();
    viewer->setGeometry(px(120), px(120), px(9975), px(7095));
    viewer->setAccessibleName(kViewerName);
    viewer->setFocus();
}

// The viewer object goes before the widgets, which the window deletes as its children.
Form3::~Form3() = default;

} // namespace vornex

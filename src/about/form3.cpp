#include "form3.h"

#include "appearance.h"
#include "htmlviewer.h"
#include "twips.h"

namespace vornex {

namespace {

const QString kCaption = QStringLiteral("About");
// What a screen reader announces for the viewer; the page itself brings its own title.
const QString kViewerName = QStringLiteral("About page");

} // namespace

Form3::Form3(HtmlViewerFactory &viewers)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      WebBrowser1(viewers.create(this, ViewerKind::WebPage))
{
    presentAsWindow(staticMetaObject);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    setWindowIcon(applicationIcon());
    setFont(fixedsysFont());

    resize(twipsToPixels(this, 10200), twipsToPixels(this, 7335));

    // No layout: the viewer keeps this place and size however the window is resized.
    QWidget *viewer = WebBrowser1->widget();
    setTwipsGeometry(viewer, 120, 120, 9975, 7095);
    viewer->setAccessibleName(kViewerName);
    viewer->setFocus();
}

} // namespace vornex

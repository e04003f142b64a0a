#include "form3.h"

#include "appearance.h"
#include "htmlviewer.h"
#include "twips.h"

#include <QAccessibleWidget>

namespace vornex {

namespace {

const QString kCaption = QStringLiteral("About");
// What a screen reader announces for the viewer; the page itself brings its own title.
const QString kViewerName = QStringLiteral("About page");

// A plain top-level widget is announced as a mere client area; the About window is a window.
QAccessibleInterface *accessibleWindow(const QString &key, QObject *object)
{
    if (key == QLatin1String(Form3::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

Form3::Form3(HtmlViewerFactory &viewers)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      WebBrowser1(viewers.create(this, ViewerKind::WebPage))
{
    installAccessibleFactory(accessibleWindow);
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

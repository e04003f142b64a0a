#include "appearance.h"

#include "twips.h"

#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace vornex {

namespace {

std::vector<const char *> &windowClasses()
{
    static std::vector<const char *> names;
    return names;
}

QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    for (const char *name : windowClasses()) {
        if (object && className == QLatin1StringView(name))
            return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    }
    return nullptr;
}

} // namespace

QFont fixedsysFont()
{
    static const QFont font = [] {
        const QString family = QStringLiteral("Fixedsys");
        QFont f = QFontDatabase::hasFamily(family)
                      ? QFont(family)
                      : QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSizeF(9.75);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        f.setUnderline(false);
        f.setStrikeOut(false);
        return f;
    }();
    return font;
}

QIcon applicationIcon()
{
    static const QIcon icon(QStringLiteral(":/vornex/vornex-ide.png"));
    return icon;
}

void bringToFront(QWidget *window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void makeFixedDialog(QWidget *window, const QString &caption, double widthTwips, double heightTwips)
{
    // A tool window has no taskbar entry; the frame offers only the close box.
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(caption);
    window->setWindowIcon(applicationIcon());
    window->setFont(fixedsysFont());
    window->setFixedSize(twipsToPixels(window, widthTwips), twipsToPixels(window, heightTwips));
}

void installAccessibleFactory(QAccessible::InterfaceFactory factory)
{
    static std::vector<QAccessible::InterfaceFactory> installed;
    if (std::find(installed.begin(), installed.end(), factory) != installed.end())
        return;
    installed.push_back(factory);
    QAccessible::installFactory(factory);
}

void presentAsWindow(const QMetaObject &windowClass)
{
    std::vector<const char *> &names = windowClasses();
    if (std::find(names.begin(), names.end(), windowClass.className()) == names.end())
        names.push_back(windowClass.className());
    installAccessibleFactory(windowAccessible);
}

} // namespace vornex
